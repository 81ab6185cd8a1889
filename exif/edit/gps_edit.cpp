// SPDX-License-Identifier: MIT
#include "exif/edit/gps_edit.h"

#include <algorithm>
#include <vector>

#include "exif/edit/entry_list.h"
#include "plugin/operations.h"

namespace lf::edit {

namespace {

using exif::kTypeLong;

constexpr uint32_t kExifVersion0210 = 0x30323130;  // "0210" read big-endian

// The Exif version of the output block read big-endian; 0 when it has none.
uint32_t OutputExifVersion(OutputLayout& out) {
  IfdEntry version{exif::kTagExifVersion};
  if (out.FindOutputEntry(exif::kExifIfd, &version) != exif::kFound) return 0;
  return InlineFourBytesBigEndian(version);
}

bool OutputHasGpsPointer(OutputLayout& out) {
  IfdEntry pointer{exif::kTagGpsIfdPointer};
  return out.FindOutputEntry(exif::kIfd0, &pointer) == exif::kFound;
}

// Moves a TIFF's main image behind the grown block and the thumbnail held apart.
[[nodiscard]] bool RelocateMainImage(OutputLayout& out) {
  if (!out.isTiff() || out.imageInBlock() || out.mainImageSize() == 0) return true;
  uint32_t at = out.outLength() + out.thumbnailData().length();
  return out.RelocateImageData(exif::kIfd0, &at);
}

// Delivers the out-of-line values of the source's IFD1, byte for byte (source and output share
// their byte order).
class SourceValues : public ValueProvider {
 public:
  explicit SourceValues(ByteView block) : block_(block) {}
  uint32_t ValueSize(const IfdEntry& requested) override {
    return ValueBytes(requested.type, requested.count);
  }
  uint32_t DeliverValue(const IfdEntry& requested, MutableByteView dest) override {
    const uint32_t n = ValueBytes(requested.type, requested.count);
    const uint8_t* from = block_.Pointer(requested.value, n);
    if (!from || n == 0 || n > dest.size() || !dest.WriteBytes(0, from, n)) return 0;
    return requested.count;
  }

 private:
  ByteView block_;
};

}  // namespace

int BuildGpsDirectory(ExifWriter& writer, GpsRecordView& record) {
  OutputLayout& out = writer.output();
  if (!record.valid() || !out.IsBuilt() || !OutputHasGpsPointer(out)) return 0;
  const uint32_t exifVersion = OutputExifVersion(out);
  if (exifVersion == 0) return 0;
  // Before Exif 2.1 there is no GPS directory to speak of: the source's entries are copied alone.
  const bool useRecord = exifVersion >= kExifVersion0210;
  if (useRecord) {
    if (const uint32_t gpsVersion = GpsVersionForExifVersion(exifVersion))
      record.SetVersionId(gpsVersion);
  }
  IfdEntryList list;
  if (writer.CollectEntries(exif::kGpsIfd, &list) < 0) list.clear();
  // Entries of types whose values cannot be represented are not carried into a new directory.
  list.erase(std::remove_if(list.begin(), list.end(),
                            [](const IfdEntry& e) { return ValueBytes(e.type, e.count) == 0; }),
             list.end());
  SortEntries(&list);
  if (useRecord && MergeGpsRecord(&list, &record) != 1) return 0;
  if (list.empty()) return 0;  // an IFD needs at least one entry

  GpsValueWriter values(record, &writer);
  const uint32_t at = out.LayDirectory(exif::kGpsIfd, list, &values);
  if (at == 0) return 0;
  for (const IfdEntry& e : list) out.RecordEdit(exif::kGpsIfd, e.tag);
  return out.UpdateOutputEntry(exif::kIfd0, {exif::kTagGpsIfdPointer, kTypeLong, 1, at}) ==
                 exif::kFound
             ? 1
             : 0;
}

int ExifWriter::BuildGpsDirectory(GpsRecord* gps) {
  if (!gps) return 0;
  GpsRecordView record(gps);
  return edit::BuildGpsDirectory(*this, record);
}

int ReplaceGpsInOutput(ExifWriter& writer, GpsRecordView& record) {
  OutputLayout& out = writer.output();
  if (!record.valid() || !out.IsBuilt()) return 0;
  bool failed = true;

  if (OutputHasGpsPointer(out)) {
    if (record.RemovesGps()) {
      IfdEntryList entries;
      const int count = out.CollectOutputEntries(exif::kGpsIfd, &entries);
      int removed = 0;
      if (count > 0) {
        std::vector<uint16_t> tags;
        for (const IfdEntry& e : entries) tags.push_back(e.tag);
        removed = out.RewriteDirectory(exif::kGpsIfd, &tags, nullptr, nullptr, &failed);
        if (failed) return 0;
      }
      if (count > 0 && removed >= 0) return 0;
      const std::vector<uint16_t> pointer{exif::kTagGpsIfdPointer};
      const int last = out.RewriteDirectory(exif::kIfd0, &pointer, nullptr, nullptr, &failed);
      return !failed && last < 0 ? 1 : 0;
    }
    const uint32_t exifVersion = OutputExifVersion(out);
    if (exifVersion < kExifVersion0210) return 0;
    if (const uint32_t gpsVersion = GpsVersionForExifVersion(exifVersion))
      record.SetVersionId(gpsVersion);
    IfdEntryList current;
    if (out.CollectOutputEntries(exif::kGpsIfd, &current) < 0) return 0;
    SortEntries(&current);
    IfdEntryList merged = current;
    if (MergeGpsRecord(&merged, &record) != 1) return 0;
    // Only what the merge changed is handed to the rewrite: the file's other entries keep their
    // values where they are.
    IfdEntryList changed;
    for (const IfdEntry& e : merged) {
      const int at = IndexOfTag(current, e.tag);
      if (at < 0 || !(current[static_cast<size_t>(at)] == e)) changed.push_back(e);
    }
    std::vector<uint16_t> gone;
    for (const IfdEntry& e : current) {
      if (IndexOfTag(merged, e.tag) < 0) gone.push_back(e.tag);
    }
    if (changed.empty() && gone.empty()) return 1;
    GpsValueWriter values(record);
    out.RewriteDirectory(exif::kGpsIfd, &gone, &changed, &values, &failed);
    if (failed) return 0;
    // Every value the record gave must have been laid.
    for (const IfdEntry& e : changed) {
      IfdEntry laid{e.tag};
      if (out.FindOutputEntry(exif::kGpsIfd, &laid) != exif::kFound || laid.type != e.type ||
          laid.count != e.count) {
        return 0;
      }
    }
    return 1;
  }

  if (record.RemovesGps()) return 0;
  const IfdEntryList pointer{{exif::kTagGpsIfdPointer, kTypeLong, 1, 0}};
  if (out.RewriteDirectory(exif::kIfd0, nullptr, &pointer, nullptr, &failed) <= 0 || failed)
    return 0;
  if (BuildGpsDirectory(writer, record) != 1) return 0;
  return RelocateMainImage(out) ? 1 : 0;
}

ThumbnailRestore RestoreSourceThumbnail(ExifWriter& writer) {
  OutputLayout& out = writer.output();
  if (!out.IsBuilt() || out.HasOutputThumbnail()) return ThumbnailRestore::kNone;
  const exif::BlockStructure& source = writer.SourceStructure();
  const ByteView block = source.tiff;
  if (!source.ifd0.located || !source.ifd0.hasLink || source.ifd0.next == 0)
    return ThumbnailRestore::kNone;
  // A TIFF's IFD1 behind its main image lies outside the block: it cannot be carried.
  if (!source.ifd1.located)
    return out.isTiff() ? ThumbnailRestore::kCannotCarry : ThumbnailRestore::kNone;
  const RawDirectory& ifd1 = source.ifd1.dir;
  if (ifd1.count == 0) return ThumbnailRestore::kNone;

  IfdEntryList entries;
  IfdEntry jpegAt, jpegLength, strips, stripCounts;
  bool hasJpeg = false, hasJpegLength = false, hasStrips = false, hasStripCounts = false;
  for (uint32_t i = 0; i < ifd1.count; ++i) {
    IfdEntry e;
    if (!ReadEntry(block, ifd1.EntryPos(i), &e)) return ThumbnailRestore::kCannotCarry;
    // Entries the layout cannot carry whole: values of types the editor does not interpret, and
    // pointers to further directories.
    if (ValueBytes(e.type, e.count) == 0) return ThumbnailRestore::kCannotCarry;
    if (e.tag == exif::kTagExifIfdPointer || e.tag == exif::kTagGpsIfdPointer ||
        e.tag == exif::kTagInteropIfdPointer || e.tag == exif::kTagSubIfds) {
      return ThumbnailRestore::kCannotCarry;
    }
    if (HasOutOfLineValue(e) && !block.Contains(e.value, ValueBytes(e.type, e.count)))
      return ThumbnailRestore::kCannotCarry;
    if (e.tag == exif::kTagJpegInterchangeFormat) {
      jpegAt = e;
      hasJpeg = true;
    }
    if (e.tag == exif::kTagJpegInterchangeFormatLength) {
      jpegLength = e;
      hasJpegLength = true;
    }
    if (e.tag == exif::kTagStripOffsets) {
      strips = e;
      hasStrips = true;
    }
    if (e.tag == exif::kTagStripByteCounts) {
      stripCounts = e;
      hasStripCounts = true;
    }
    entries.push_back(e);
  }
  SortEntries(&entries);
  if (entries.size() != ifd1.count) return ThumbnailRestore::kCannotCarry;  // a tag held twice

  // The thumbnail's bytes, which must all lie inside the source block.
  uint32_t from = 0, size = 0;
  if (hasJpeg) {
    if (hasStrips || !hasJpegLength || jpegAt.type != kTypeLong || jpegAt.count != 1 ||
        jpegLength.count != 1 || jpegLength.value == 0 ||
        !block.Contains(jpegAt.value, jpegLength.value)) {
      return ThumbnailRestore::kCannotCarry;
    }
    from = jpegAt.value;
    size = jpegLength.value;
  } else if (hasStrips) {
    // An uncompressed thumbnail of a JPEG would have to lie inside the block itself.
    if (!out.isTiff() || !hasStripCounts) return ThumbnailRestore::kCannotCarry;
    uint32_t first = 0, last = 0, firstCount = 0, lastCount = 0;
    if (!FirstAndLastValue(block, strips, strips.count, &first, &last) ||
        !FirstAndLastValue(block, stripCounts, stripCounts.count, &firstCount, &lastCount)) {
      return ThumbnailRestore::kCannotCarry;
    }
    const uint64_t end = uint64_t{last} + lastCount;
    if (end <= first || !block.Contains(first, end - first)) return ThumbnailRestore::kCannotCarry;
    from = first;
    size = static_cast<uint32_t>(end - first);
  }

  SourceValues values(block);
  const uint32_t at = out.LayDirectory(exif::kIfd1, entries, &values);
  if (at == 0 || !out.SetDirectoryPointer(exif::kIfd1, at)) return ThumbnailRestore::kCannotCarry;
  if (out.pinned()) {
    // Nothing of a pinned block moved: a further directory the source's IFD1 named is still there.
    const uint32_t next = source.ifd1.next;
    if (!out.block()
             .View(out.order())
             .WriteU32(uint64_t{at} + 2 + uint64_t{ifd1.count} * exif::kEntrySize, next)) {
      return ThumbnailRestore::kCannotCarry;
    }
  }
  if (size != 0) {
    OutputBuffer thumbnail;
    if (!thumbnail.Append(block.data() + from, size) || !out.PadToEven())
      return ThumbnailRestore::kCannotCarry;
    out.HoldThumbnail(&thumbnail);
    out.PlaceHeldThumbnail(size);
    uint32_t thumbnailAt = out.outLength();
    if (!out.RelocateImageData(exif::kIfd1, &thumbnailAt)) return ThumbnailRestore::kCannotCarry;
  }
  out.RecordThumbnailEdit(ThumbnailEdit::kRestored);
  return RelocateMainImage(out) ? ThumbnailRestore::kRestored : ThumbnailRestore::kCannotCarry;
}

bool TiffRewriteKeepsEverything(ExifWriter& writer) {
  if (!writer.IsTiffSource()) return true;
  const exif::BlockStructure& source = writer.SourceStructure();
  const ByteView block = source.tiff;
  if (!source.ifd0.located) return false;
  // Every out-of-line value of the directories rewritten from the block must lie inside it; the
  // thumbnail's directory is checked where it is laid again.
  std::vector<RawDirectory> dirs;
  for (const exif::LocatedDirectory* d :
       {&source.ifd0, &source.exif, &source.interop, &source.gps}) {
    if (d->located) dirs.push_back(d->dir);
  }
  for (const RawDirectory& dir : dirs) {
    for (uint32_t i = 0; i < dir.count; ++i) {
      const uint64_t pos = dir.EntryPos(i);
      const uint32_t bytes = exif::StoredByteCount(block.ReadU16(pos + 2), block.ReadU32(pos + 4));
      if (bytes > exif::kInlineValueBytes && !block.Contains(block.ReadU32(pos + 8), bytes))
        return false;
    }
  }
  return true;
}

HRESULT ReplaceExifGps(const std::string& destPath, const std::string& srcPath, int32_t quality,
                       GpsRecord* gps) {
  // The record is checked before any file is touched.
  GpsRecordView record(gps);
  if (!record.valid()) return E_INVALIDARG;
  const HRESULT writable = CheckDestinationWritable(destPath);
  if (writable != S_OK) return writable;
  ExifWriter writer(srcPath.c_str(), false);
  if (!writer.IsExif()) return E_NO_EXIF;
  if (writer.IsExifJpeg() && (quality < 1 || quality > 100)) return E_INVALIDARG;
  if (writer.CopyBlockForEdit(false, false) != 1) return E_FAIL;
  // Nothing of a pinned block moves, so its thumbnail keeps its place: laid again behind the block
  // it would leave its old bytes blanked inside, and every edit would grow the block by a
  // thumbnail until it no longer fits its segment.
  if (writer.output().pinned() && writer.CopyBlockForEdit(true, false) != 1) return E_FAIL;
  if (!TiffRewriteKeepsEverything(writer) || ReplaceGpsInOutput(writer, record) != 1) return E_FAIL;
  // A thumbnail that cannot be laid again would be lost: such a file is not rewritten.
  if (RestoreSourceThumbnail(writer) == ThumbnailRestore::kCannotCarry || !writer.IsBuilt())
    return E_FAIL;
  writer.output().StampDateTime();
  return WriteToFile(writer, destPath, Probe::kAlreadyDone);
}

}  // namespace lf::edit

namespace lf::ops {

HRESULT ReplaceExifGps(const char* destination, const char* source, int32_t quality,
                       LfGpsRecord* gps) {
  if (!destination || !source || !*destination || !*source || !gps) return E_INVALIDARG;
  return edit::ReplaceExifGps(destination, source, quality, gps);
}

}  // namespace lf::ops
