// SPDX-License-Identifier: MIT
#include "exif/edit/layout_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "exif/makernote/maker_note_layout.h"

namespace lf::edit {

namespace {

using exif::kTypeLong;

// The directory of a standard id in a located block.
const RawDirectory& DirOf(const exif::BlockStructure& s, DirectoryId id) { return s.Of(id).dir; }

// One raw entry: the decoded fields and the value field as stored (also for types the module
// does not interpret).
struct Raw {
  uint16_t tag = 0, type = 0;
  uint32_t count = 0, field = 0;
  uint64_t pos = 0;
};

Raw RawAt(ByteView b, uint64_t pos) {
  const ByteView raw = b.Sub(pos, exif::kEntrySize);
  return {raw.ReadU16(0), raw.ReadU16(2), raw.ReadU32(4), raw.ReadU32(8), pos};
}

[[nodiscard]] bool FindRaw(ByteView b, const RawDirectory& dir, uint16_t tag, Raw* out) {
  for (uint32_t i = 0; i < dir.count; ++i) {
    if (b.ReadU16(dir.EntryPos(i)) != tag) continue;
    *out = RawAt(b, dir.EntryPos(i));
    return true;
  }
  return false;
}

bool SameBytes(ByteView a, uint64_t aOff, ByteView b, uint64_t bOff, uint64_t n) {
  const uint8_t* pa = a.Pointer(aOff, n);
  const uint8_t* pb = b.Pointer(bOff, n);
  return pa && pb && (n == 0 || std::memcmp(pa, pb, n) == 0);
}

std::string Where(DirectoryId id, uint16_t tag, const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "directory %u tag 0x%04X: %s", id, tag, what);
  return text;
}

// Element k of a SHORT or LONG array, inline or out of line.
uint32_t Element(ByteView b, const IfdEntry& e, uint32_t k) {
  const uint32_t size = exif::FieldTypeSize(e.type);
  if (ValueBytes(e.type, e.count) <= 4) {
    if (e.type == exif::kTypeShort && e.count == 2)
      return k == 0 ? e.value >> 16 : e.value & 0xFFFF;
    return k == 0 ? e.value : 0;
  }
  const uint64_t at = e.value + uint64_t{k} * size;
  return size == 2 ? b.ReadU16(at) : b.ReadU32(at);
}

class Checker {
 public:
  Checker(const exif::BlockStructure& source, const exif::BlockStructure& written,
          const OutputLayout& out)
      : s_(source.tiff),
        o_(written.tiff),
        out_(out),
        edits_(out.edits()),
        sd_(source),
        od_(written) {}

  std::string Run() {
    for (DirectoryId id :
         {exif::kIfd0, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd, exif::kIfd1}) {
      if (id == exif::kIfd1 && edits_.thumbnailAttached)
        continue;  // a new IFD1, laid behind the block
      if (id == exif::kIfd1 && edits_.thumbnailDropped && !edits_.thumbnailRestored) {
        if (od_.ifd1.dir.count != 0) return "IFD1 survived its removal";
        continue;
      }
      if (std::string why = Compare(id, s_, DirOf(sd_, id), DirOf(od_, id)); !why.empty())
        return why;
    }
    if (std::string why = CompareMakerNote(); !why.empty()) return why;
    if (out_.pinned()) {
      if (std::string why = CompareUnclaimedBytes(); !why.empty()) return why;
    }
    return CompareMainImagePlace();
  }

 private:
  // Entries of one directory, first occurrence of each tag.
  std::string Compare(DirectoryId id, ByteView s, const RawDirectory& sd, const RawDirectory& od) {
    for (uint32_t i = 0; i < sd.count; ++i) {
      const uint16_t tag = s.ReadU16(sd.EntryPos(i));
      Raw a, b;
      // The tag was read from this directory, so its first occurrence is always found.
      (void)FindRaw(s, sd, tag, &a);
      if (a.pos != sd.EntryPos(i) || edits_.Touches(id, tag)) continue;
      if (!FindRaw(o_, od, tag, &b)) return Where(id, tag, "entry lost");
      if (a.type != b.type || a.count != b.count) return Where(id, tag, "type or count changed");
      if (std::string why = CompareValue(id, a, b); !why.empty()) return why;
    }
    for (uint32_t i = 0; i < od.count; ++i) {
      const uint16_t tag = o_.ReadU16(od.EntryPos(i));
      Raw a;
      if (!FindRaw(s, sd, tag, &a) && !edits_.Touches(id, tag))
        return Where(id, tag, "entry appeared");
    }
    return {};
  }

  std::string CompareValue(DirectoryId id, const Raw& a, const Raw& b) {
    const bool pointer = (id == exif::kIfd0 && (a.tag == exif::kTagExifIfdPointer ||
                                                a.tag == exif::kTagGpsIfdPointer)) ||
                         (id == exif::kExifIfd && a.tag == exif::kTagInteropIfdPointer);
    if (pointer) return {};  // the directories it names are compared themselves
    if (id == exif::kExifIfd && a.tag == exif::kTagMakerNote) return {};  // CompareMakerNote
    if (id == exif::kIfd1 && a.tag == exif::kTagJpegInterchangeFormat) return CompareThumbnail();
    if (a.tag == exif::kTagStripOffsets && (id == exif::kIfd1 || id == exif::kIfd0)) {
      if (out_.isTiff()) return {};  // strips outside the block are copied from the file
      return CompareStrips(id);
    }
    const uint32_t n = exif::StoredByteCount(a.type, a.count);
    if (n <= 4 || !s_.Contains(a.field, n)) {
      return a.field == b.field ? std::string{} : Where(id, a.tag, "value changed");
    }
    if (!SameBytes(s_, a.field, o_, b.field, n)) return Where(id, a.tag, "value bytes changed");
    // TIFF 6.0, Section 2: values start on word boundaries; a copy must not break that.
    if (a.field % 2 == 0 && b.field % 2 != 0)
      return Where(id, a.tag, "value moved to an odd offset");
    return {};
  }

  std::string CompareThumbnail() {
    IfdEntry sa, sl, oa, ol;
    if (!FindRawEntry(s_, sd_.ifd1.dir, exif::kTagJpegInterchangeFormat, &sa) ||
        !FindRawEntry(s_, sd_.ifd1.dir, exif::kTagJpegInterchangeFormatLength, &sl) ||
        sa.value >= s_.size()) {
      return {};  // no thumbnail the source could deliver
    }
    if (!FindRawEntry(o_, od_.ifd1.dir, exif::kTagJpegInterchangeFormat, &oa) ||
        !FindRawEntry(o_, od_.ifd1.dir, exif::kTagJpegInterchangeFormatLength, &ol)) {
      return Where(exif::kIfd1, exif::kTagJpegInterchangeFormat, "thumbnail pointers lost");
    }
    const uint64_t n = std::min<uint64_t>(sl.value, s_.size() - sa.value);
    const OutputBuffer& apart = out_.thumbnailData();
    if (!apart.empty()) {
      const ByteView held(apart.data(), apart.length());
      return SameBytes(s_, sa.value, held, 0, n) ? std::string{} : "thumbnail bytes changed";
    }
    return SameBytes(s_, sa.value, o_, oa.value, n) ? std::string{} : "thumbnail bytes changed";
  }

  std::string CompareStrips(DirectoryId id) {
    const RawDirectory& sd = DirOf(sd_, id);
    const RawDirectory& od = DirOf(od_, id);
    IfdEntry so, sc, oo, oc;
    if (!FindRawEntry(s_, sd, exif::kTagStripOffsets, &so) ||
        !FindRawEntry(s_, sd, exif::kTagStripByteCounts, &sc)) {
      return {};
    }
    if (!FindRawEntry(o_, od, exif::kTagStripOffsets, &oo) ||
        !FindRawEntry(o_, od, exif::kTagStripByteCounts, &oc)) {
      return Where(id, exif::kTagStripOffsets, "strip entries lost");
    }
    const uint32_t n = std::min(so.count, sc.count);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t from = Element(s_, so, k), length = Element(s_, sc, k);
      if (!s_.Contains(from, length)) continue;  // not data the block holds
      if (!SameBytes(s_, from, o_, Element(o_, oo, k), length))
        return Where(id, exif::kTagStripOffsets, "strip bytes changed");
    }
    return {};
  }

  std::string CompareMakerNote() {
    Raw a, b;
    if (sd_.exif.dir.count == 0 || !FindRaw(s_, sd_.exif.dir, exif::kTagMakerNote, &a) ||
        edits_.Touches(exif::kExifIfd, exif::kTagMakerNote)) {
      return {};
    }
    if (!FindRaw(o_, od_.exif.dir, exif::kTagMakerNote, &b)) return "maker note lost";
    const uint32_t n = exif::StoredByteCount(a.type, a.count);
    if (n <= 4 || !s_.Contains(a.field, n))
      return a.field == b.field ? std::string{} : "maker note moved";
    const ByteView sNote = s_.Sub(a.field, n), oNote = o_.Sub(b.field, n);
    if (oNote.empty()) return "maker note outside the block";
    if (a.field == b.field && SameBytes(s_, a.field, o_, b.field, n)) return {};
    // Only a maker note whose offsets count from the TIFF header may move or have entries edited;
    // its directory then must name the same values.
    const exif::MakerNoteLayout layout = exif::MeasureMakerNote(sNote);
    if (!layout.IsKestrelon()) {
      return a.field == b.field ? "maker note bytes changed"
                                : "maker note of another dialect moved";
    }
    RawDirectory sd, od;
    if (!SameBytes(sNote, 0, oNote, 0, layout.directoryStart) ||
        !LocateRawDirectory(s_, a.field + layout.directoryStart, &sd) ||
        !LocateRawDirectory(o_, b.field + layout.directoryStart, &od)) {
      return "maker note header changed";
    }
    return Compare(exif::kMakerNoteIfd, s_, sd, od);
  }

  // In a pinned block every byte outside the directories and the values the edits replaced
  // keeps its offset: whatever refers to it by offset still finds it.
  std::string CompareUnclaimedBytes() {
    std::vector<std::pair<uint64_t, uint64_t>> claimed;  // [from, to)
    auto claim = [&](uint64_t from, uint64_t n) { claimed.emplace_back(from, from + n); };
    claim(0, 8);  // the TIFF header: its IFD0 offset is a pointer, compared through the walk
    for (DirectoryId id :
         {exif::kIfd0, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd, exif::kIfd1}) {
      const RawDirectory& d = DirOf(sd_, id);
      if (d.count == 0) continue;
      claim(d.offset, d.Size());
      const bool dropped = id == exif::kIfd1 && edits_.thumbnailDropped;
      for (uint32_t i = 0; i < d.count; ++i) {
        const Raw r = RawAt(s_, d.EntryPos(i));
        if (!dropped && !edits_.Touches(id, r.tag)) continue;
        const uint32_t n = exif::StoredByteCount(r.type, r.count);
        if (n > 4) claim(r.field, n);
      }
      if (dropped) {
        IfdEntry at, length;
        if (FindRawEntry(s_, d, exif::kTagJpegInterchangeFormat, &at) &&
            FindRawEntry(s_, d, exif::kTagJpegInterchangeFormatLength, &length)) {
          claim(at.value, length.value);
        }
        IfdEntry so, sc;
        if (FindRawEntry(s_, d, exif::kTagStripOffsets, &so) &&
            FindRawEntry(s_, d, exif::kTagStripByteCounts, &sc)) {
          for (uint32_t k = 0; k < std::min(so.count, sc.count); ++k)
            claim(Element(s_, so, k), Element(s_, sc, k));
        }
      }
    }
    std::sort(claimed.begin(), claimed.end());
    uint64_t at = 0;
    const uint64_t end = s_.size();
    if (o_.size() < end) return "pinned block shrank";
    for (size_t i = 0; i <= claimed.size(); ++i) {
      const uint64_t next = i < claimed.size() ? std::min(claimed[i].first, end) : end;
      if (next > at && !SameBytes(s_, at, o_, at, next - at)) {
        char text[64];
        std::snprintf(text, sizeof text, "bytes at %llu moved or changed",
                      static_cast<unsigned long long>(at));
        return text;
      }
      if (i < claimed.size()) at = std::max(at, claimed[i].second);
    }
    return {};
  }

  // A TIFF's strips are written behind the block (and the thumbnail held apart).
  std::string CompareMainImagePlace() {
    if (!out_.isTiff() || out_.imageInBlock() || out_.mainImageSize() == 0) return {};
    IfdEntry strips;
    if (!FindRawEntry(o_, od_.ifd0.dir, exif::kTagStripOffsets, &strips))
      return "main image strips lost";
    const uint32_t first = Element(o_, strips, 0);
    if (first != out_.outIfd0().firstStripOffset ||
        first < uint64_t{o_.size()} + out_.thumbnailData().length()) {
      return "main image placed inside the block";
    }
    return {};
  }

  ByteView s_, o_;
  const OutputLayout& out_;
  const EditRecord& edits_;
  const exif::BlockStructure& sd_;
  const exif::BlockStructure& od_;
};

// A byte range [from, to) of the file a layout makes.
struct Span {
  uint64_t from = 0, to = 0;
  bool Holds(uint64_t at, uint64_t n) const { return at >= from && at <= to && n <= to - at; }
  bool Overlaps(const Span& o) const { return from < o.to && o.from < to; }
};

// Every out-of-line value of a directory lies inside the block.
std::string ValuesInside(ByteView b, DirectoryId id, const RawDirectory& dir) {
  for (uint32_t i = 0; i < dir.count; ++i) {
    const Raw r = RawAt(b, dir.EntryPos(i));
    const uint32_t n = exif::StoredByteCount(r.type, r.count);
    if (n > 4 && !b.Contains(r.field, n)) return Where(id, r.tag, "value outside the block");
  }
  return {};
}

// Each (offset, length) pair of two parallel arrays lies inside `where`.
std::string PiecesInside(ByteView b, DirectoryId id, const RawDirectory& dir, uint16_t offsetTag,
                         uint16_t lengthTag, const Span& where) {
  IfdEntry offsets, lengths;
  if (dir.count == 0 || !FindRawEntry(b, dir, offsetTag, &offsets) ||
      !FindRawEntry(b, dir, lengthTag, &lengths)) {
    return {};
  }
  for (uint32_t k = 0; k < std::min(offsets.count, lengths.count); ++k) {
    const uint32_t length = Element(b, lengths, k);
    if (length != 0 && !where.Holds(Element(b, offsets, k), length)) {
      return Where(id, offsetTag, "image data outside its range");
    }
  }
  return {};
}

}  // namespace

std::string CheckWrittenLayout(const OutputLayout& out, const exif::BlockStructure& located) {
  if (!out.IsBuilt()) return "nothing laid out";
  const ByteView b = located.tiff;
  const exif::BlockStructure& d = located;
  if (d.ifd0.dir.count == 0) return "IFD0 outside the block";
  // Each pointer to a directory names one inside the block.
  for (DirectoryId id : {exif::kIfd1, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd}) {
    if (d.Of(id).named != 0 && !d.Of(id).located)
      return Where(id, 0, "directory outside the block");
  }
  for (DirectoryId id :
       {exif::kIfd0, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd, exif::kIfd1}) {
    if (std::string why = ValuesInside(b, id, DirOf(d, id)); !why.empty()) return why;
  }
  const IfdEntry& note = d.makerNote.entry.entry;
  if (d.makerNote.entry.found && HasOutOfLineValue(note)) {
    // A maker note whose offsets count from the TIFF header is checked like the main directories.
    const exif::MakerNoteLayout layout = exif::MeasureMakerNote(b.Sub(note.value, note.count));
    RawDirectory dir;
    if (layout.IsKestrelon() && layout.located &&
        LocateRawDirectory(b, note.value + layout.directoryStart, &dir)) {
      if (std::string why = ValuesInside(b, exif::kMakerNoteIfd, dir); !why.empty()) return why;
    }
  }

  // The ranges written: the block, the thumbnail held apart (a JPEG's right behind the block, a
  // TIFF's where IFD1 names it) and a TIFF's strips taken from a file.
  const Span block{0, out.outLength()};
  const uint64_t thumbnailBytes = out.thumbnailData().length();
  Span thumbnail = block, mainImage = block;
  std::vector<Span> written{block};
  if (thumbnailBytes != 0) {
    const uint64_t at = out.isTiff() ? out.outIfd1().firstStripOffset : block.to;
    if (at == 0 || (out.isTiff() && out.thumbnailImageSize() == 0)) return "thumbnail not placed";
    thumbnail = {at, at + thumbnailBytes};
    written.push_back(thumbnail);
  }
  if (out.isTiff() && !out.imageInBlock()) {
    const uint64_t at = out.outIfd0().firstStripOffset;
    if (at == 0 || out.mainImageSize() == 0) return "main image not placed";
    mainImage = {at, at + out.mainImageSize()};
    written.push_back(mainImage);
  }
  for (size_t i = 0; i < written.size(); ++i) {
    for (size_t j = i + 1; j < written.size(); ++j) {
      if (written[i].Overlaps(written[j])) return "block, thumbnail and main image overlap";
    }
  }
  if (std::string why = PiecesInside(b, exif::kIfd1, d.ifd1.dir, exif::kTagJpegInterchangeFormat,
                                     exif::kTagJpegInterchangeFormatLength, thumbnail);
      !why.empty()) {
    return why;
  }
  if (std::string why = PiecesInside(b, exif::kIfd1, d.ifd1.dir, exif::kTagStripOffsets,
                                     exif::kTagStripByteCounts, out.isTiff() ? thumbnail : block);
      !why.empty()) {
    return why;
  }
  if (!out.isTiff()) return {};
  return PiecesInside(b, exif::kIfd0, d.ifd0.dir, exif::kTagStripOffsets, exif::kTagStripByteCounts,
                      mainImage);
}

std::string CheckEditedBlock(const exif::BlockStructure& source,
                             const exif::BlockStructure& written, const OutputLayout& out) {
  if (!out.IsBuilt()) return "nothing laid out";
  return Checker(source, written, out).Run();
}

}  // namespace lf::edit
