// SPDX-License-Identifier: MIT
// Building a complete EXIF block for a new file: the TIFF header, IFD0, the Exif IFD, the GPS IFD,
// the Interop IFD, IFD1 and the thumbnail behind them. Entries come from the source file where it
// has them; the writer completes the required ones and generates the values only it knows (the
// caller's strings, date stamps, the resolution). The same IFD1 step attaches a new thumbnail to
// a block copied without one.
//
// Every out-of-line value is fetched before its directory is laid: an entry whose value cannot be
// delivered is left out, so no directory of a new block holds an entry without its value. Entries
// that name other bytes of the source by offset (sub-directories, tiles, free space, an embedded
// JPEG stream, the maker note with its private offsets) cannot follow into a new block and are
// left out too; the pointers to the standard directories and the image data are laid anew.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exif/edit/block_values.h"
#include "exif/edit/entry_list.h"
#include "exif/edit/exif_writer.h"
#include "exif/model/date_text.h"
#include "exif/model/jpeg_segments.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace lf::edit {

namespace {

using exif::ExifReader;
using exif::kTypeAscii;
using exif::kTypeLong;
using exif::kTypeRational;
using exif::kTypeShort;
using exif::kTypeUndefined;
using exif::TagNumber;
using exif::TagRole;

constexpr uint32_t kExifVersion0210 = LF_EXIF_VERSION_0210;

constexpr uint16_t kTagBitsPerSample = TagNumber("BitsPerSample");
constexpr uint16_t kTagCompression = TagNumber("Compression");
constexpr uint16_t kTagPhotometric = TagNumber("PhotometricInterpretation");
constexpr uint16_t kTagImageDescription = TagNumber("ImageDescription");
constexpr uint16_t kTagMake = TagNumber("Make");
constexpr uint16_t kTagModel = TagNumber("Model");
constexpr uint16_t kTagXResolution = TagNumber("XResolution");
constexpr uint16_t kTagYResolution = TagNumber("YResolution");
constexpr uint16_t kTagResolutionUnit = TagNumber("ResolutionUnit");
constexpr uint16_t kTagSoftware = TagNumber("Software");
constexpr uint16_t kTagYCbCrPositioning = TagNumber("YCbCrPositioning");
constexpr uint16_t kTagComponentsConfiguration = TagNumber("ComponentsConfiguration");
constexpr uint16_t kTagFlashpixVersion = TagNumber("FlashpixVersion");
constexpr uint16_t kTagColorSpace = TagNumber("ColorSpace");
constexpr uint16_t kTagPixelXDimension = TagNumber("PixelXDimension");
constexpr uint16_t kTagPixelYDimension = TagNumber("PixelYDimension");
constexpr uint16_t kTagInteropIndex = TagNumber("InteroperabilityIndex");
constexpr uint16_t kTagInteropVersion = TagNumber("InteroperabilityVersion");
using exif::kTagExifIfdPointer;
using exif::kTagGpsIfdPointer;
using exif::kTagImageLength;
using exif::kTagImageWidth;
using exif::kTagInteropIfdPointer;
using exif::kTagJpegInterchangeFormat;
using exif::kTagJpegInterchangeFormatLength;
using exif::kTagOrientation;
using exif::kTagRowsPerStrip;
using exif::kTagSamplesPerPixel;
using exif::kTagStripByteCounts;
using exif::kTagStripOffsets;

std::string Text(const LfString& s) { return s.text ? s.text : ""; }

// The directory builders over one writer. `thumbnailPath` is the file whose image becomes IFD1.
class BlockBuilder {
 public:
  BlockBuilder(ExifWriter& writer, const ExifWriteParams& params, std::string thumbnailPath)
      : w_(writer),
        out_(writer.output()),
        params_(params),
        thumbnailPath_(std::move(thumbnailPath)),
        tiff_(writer.IsTiffSource()),
        jpeg_(!tiff_ && writer.IsJpegImage()),
        generated_(writer, params, jpeg_) {}

  bool sourceUsable() const { return tiff_ || jpeg_; }

  // IFD0 (1) or IFD1 (257) with its entries, values and the pointer to it. 1 or 0.
  [[nodiscard]] int BuildImageDirectory(DirectoryId id, bool withGps) {
    if ((id != exif::kIfd0 && id != exif::kIfd1) || params_.exifVersion < kExifVersion0210 ||
        out_.outLength() < 8) {
      return 0;
    }
    ExifReader* origin = &w_;
    std::unique_ptr<ExifReader> thumb;
    if (id == exif::kIfd1) {
      if (thumbnailPath_.empty() || out_.outIfd0().location.offset == 0) return 0;
      thumb = std::make_unique<ExifReader>(thumbnailPath_.c_str(), true);
      // The thumbnail is stored as the main image is: JPEG data behind a JPEG, strips behind a
      // TIFF.
      const bool thumbTiff = thumb->app1Length() == 0 && thumb->IsTiffImage();
      const bool thumbJpeg = !thumbTiff && thumb->IsJpegImage();
      OutputBuffer data;
      if ((tiff_ ? !thumbTiff : !thumbJpeg) || !LoadThumbnailData(*thumb, tiff_, &data)) {
        out_.ClearThumbnail();
        return 0;
      }
      out_.HoldThumbnail(&data);
      origin = thumb.get();
    }
    IfdDescriptor summary;
    // An IFD0 that cannot be parsed leaves the summary empty, as the copy expects.
    (void)origin->GetDirectoryDescriptor(exif::kIfd0, &summary);
    IfdEntryList list = SourceEntries(*origin, exif::kIfd0, id, tiff_);
    DropPagingTags(&list);
    if (!CompleteRequiredEntries(id, &list, withGps)) return 0;

    IfdEntry mainOrientation{kTagOrientation};
    if (id == exif::kIfd1 && IndexOfTag(list, kTagOrientation) >= 0 &&
        out_.FindOutputEntry(exif::kIfd0, &mainOrientation) == exif::kFound) {
      SetEntry(&list, mainOrientation, true);
    }
    for (IfdEntry& e : list) {
      if (e.tag != kTagStripOffsets && e.tag != kTagStripByteCounts) continue;
      const uint32_t count = StripValueCount(summary, e.count);
      // Fewer values than the rule counts, or a changed inline pair, cannot describe the strips.
      if (count > e.count || (count != e.count && !HasOutOfLineValue(e))) return 0;
      e.count = count;
    }
    for (IfdEntry& e : list) {
      // Always generated, so always one RATIONAL.
      if (e.tag == kTagXResolution || e.tag == kTagYResolution) e = {e.tag, kTypeRational, 1, 0};
    }

    PlannedValues values;
    if (!PlanValues(id, *origin, &list, &values)) return 0;
    const uint32_t at = out_.LayDirectory(id, list, &values);
    if (at == 0 || !out_.SetDirectoryPointer(id, at)) {
      if (at != 0) out_.ForgetDirectory(id);
      return 0;
    }
    out_.SetImageSummary(id, summary);
    return 1;
  }

  [[nodiscard]] int CompleteRequiredEntries(DirectoryId id, IfdEntryList* list, bool withGps) {
    auto has = [&](uint16_t tag) { return IndexOfTag(*list, tag) >= 0; };
    auto add = [&](const IfdEntry& e) { SetEntry(list, e, true); };
    auto addMissing = [&](const IfdEntry& e) {
      if (!has(e.tag)) add(e);
    };
    if (tiff_) {
      for (uint16_t tag :
           {kTagImageWidth, kTagImageLength, kTagBitsPerSample, kTagCompression, kTagPhotometric}) {
        if (!has(tag)) return 0;
      }
    } else if (id == exif::kIfd1) {
      add({kTagCompression, kTypeShort, 1, 6});  // JPEG compression
    }
    if (id == exif::kIfd0) {
      const std::string description = Text(params_.imageDescription);
      if (!description.empty()) addMissing(AsciiEntry(kTagImageDescription, description));
      addMissing(AsciiEntry(kTagMake, Text(params_.make)));
      addMissing(AsciiEntry(kTagModel, Text(params_.model)));
    }
    if (tiff_ && !has(kTagStripOffsets)) return 0;
    addMissing({kTagOrientation, kTypeShort, 1, 1});
    if (tiff_) {
      for (uint16_t tag : {kTagSamplesPerPixel, kTagRowsPerStrip, kTagStripByteCounts}) {
        if (!has(tag)) return 0;
      }
      // A TIFF written without a resolution (as the toolkit writes its pictures) gets the
      // generated one, as a JPEG does; the image itself is complete without it.
      addMissing({kTagXResolution, kTypeRational, 1, 0});
      addMissing({kTagYResolution, kTypeRational, 1, 0});
      addMissing({kTagResolutionUnit, kTypeShort, 1, 2});
    } else if (!has(kTagXResolution) || !has(kTagYResolution) || !has(kTagResolutionUnit)) {
      add({kTagXResolution, kTypeRational, 1, 0});
      add({kTagYResolution, kTypeRational, 1, 0});
      add({kTagResolutionUnit, kTypeShort, 1, w_.jfifUnits() == 2 ? 3u : 2u});
    }
    if (id == exif::kIfd0) {
      const std::string software = Text(params_.software);
      if (!software.empty()) addMissing(AsciiEntry(kTagSoftware, software));
      if (params_.dateTimeOriginal.year != 0) addMissing({kTagDateTime, kTypeAscii, 20, 0});
    }
    if (jpeg_ && id == exif::kIfd1) {
      // Set when the thumbnail is placed behind the block.
      add({kTagJpegInterchangeFormat, kTypeLong, 1, 0});
      add({kTagJpegInterchangeFormatLength, kTypeLong, 1, 0});
    }
    if (!tiff_) addMissing({kTagYCbCrPositioning, kTypeShort, 1, 2});
    if (id == exif::kIfd1) return 1;
    // Set when the sub-directory is laid.
    addMissing({kTagExifIfdPointer, kTypeLong, 1, 0});
    if (withGps) addMissing({kTagGpsIfdPointer, kTypeLong, 1, 0});
    return 1;
  }

  [[nodiscard]] int BuildExifDirectory() {
    IfdEntry pointer{kTagExifIfdPointer};
    if (params_.exifVersion < kExifVersion0210 ||
        out_.FindOutputEntry(exif::kIfd0, &pointer) != exif::kFound) {
      return 0;
    }
    IfdEntryList list = SourceEntries(w_, exif::kExifIfd, exif::kExifIfd, false);
    auto has = [&](uint16_t tag) { return IndexOfTag(list, tag) >= 0; };
    auto add = [&](const IfdEntry& e) { SetEntry(&list, e, true); };
    auto addMissing = [&](const IfdEntry& e) {
      if (!has(e.tag)) add(e);
    };
    const IfdEntry version{exif::kTagExifVersion, kTypeUndefined, 4,
                           InlineVersion(params_.exifVersion)};
    const int at = IndexOfTag(list, exif::kTagExifVersion);
    if (at < 0) {
      add(version);
    } else {
      const IfdEntry& old = list[static_cast<size_t>(at)];
      // Its four characters read as a big-endian number; anything but four bytes is no version.
      const uint32_t v = InlineVersion(old.value);
      if (ValueBytes(old.type, old.count) != 4 || old.type == kTypeAscii || v < kExifVersion0210) {
        add({exif::kTagExifVersion, kTypeUndefined, 4, InlineChars("0210")});
      }
    }
    addMissing({exif::kTagDateTimeOriginal, kTypeAscii, 20, 0});
    addMissing({exif::kTagDateTimeDigitized, kTypeAscii, 20, 0});
    if (jpeg_) addMissing({kTagComponentsConfiguration, kTypeUndefined, 4, 0x00030201u});
    addMissing({kTagFlashpixVersion, kTypeUndefined, 4, InlineChars("0100")});
    addMissing({kTagColorSpace, kTypeShort, 1, 1});
    if (jpeg_) {
      add({kTagPixelXDimension, kTypeLong, 1, w_.sofWidth()});
      add({kTagPixelYDimension, kTypeLong, 1, w_.sofHeight()});
      if (!thumbnailPath_.empty()) add({kTagInteropIfdPointer, kTypeLong, 1, 0});
    }
    PlannedValues values;
    if (!PlanValues(exif::kExifIfd, w_, &list, &values)) return 0;
    const uint32_t laid = out_.LayDirectory(exif::kExifIfd, list, &values);
    if (laid == 0 || !out_.SetDirectoryPointer(exif::kExifIfd, laid)) {
      if (laid != 0) out_.ForgetDirectory(exif::kExifIfd);
      return 0;
    }
    return 1;
  }

  [[nodiscard]] int BuildInteropDirectory() {
    IfdEntry pointer{kTagInteropIfdPointer};
    if (!jpeg_ || out_.FindOutputEntry(exif::kExifIfd, &pointer) != exif::kFound) return 0;
    IfdEntryList list = SourceEntries(w_, exif::kInteropIfd, exif::kInteropIfd, false);
    if (IndexOfTag(list, kTagInteropIndex) < 0)
      SetEntry(&list, AsciiEntry(kTagInteropIndex, "R98"), true);
    if (IndexOfTag(list, kTagInteropVersion) < 0) {
      SetEntry(&list, {kTagInteropVersion, kTypeUndefined, 4, InlineChars("0100")}, true);
    }
    PlannedValues values;
    if (!PlanValues(exif::kInteropIfd, w_, &list, &values)) return 0;
    const uint32_t laid = out_.LayDirectory(exif::kInteropIfd, list, &values);
    if (laid == 0 || !out_.SetDirectoryPointer(exif::kInteropIfd, laid)) {
      if (laid != 0) out_.ForgetDirectory(exif::kInteropIfd);
      return 0;
    }
    return 1;
  }

  // Lays IFD1 for the thumbnail and places its data directly behind the block. Anything that
  // does not come out whole is taken back: no IFD1 then, and no thumbnail. 1 or 0.
  [[nodiscard]] int PlaceThumbnail() {
    const uint32_t before = out_.outLength();
    if (!BuildImageDirectory(exif::kIfd1, false)) {
      out_.ClearThumbnail();
      // Taking back cannot fail short of a block smaller than it was; if it did, no block is left.
      if (out_.outLength() > before && !out_.TruncateTo(before)) out_.Reset();
      return 0;
    }
    uint32_t span = 0;
    const uint32_t stored = out_.thumbnailData().length();
    bool placed = out_.MeasureImageData(exif::kIfd1, &span) && span != 0 && stored != 0 &&
                  span <= stored && out_.PadToEven();
    if (placed) {
      uint32_t at = out_.outLength();
      placed = out_.RelocateImageData(exif::kIfd1, &at) && at == out_.outLength();
    }
    if (!placed) {
      const bool unlinked = out_.SetDirectoryPointer(exif::kIfd1, 0);
      out_.ForgetDirectory(exif::kIfd1);
      if (!unlinked || !out_.TruncateTo(before)) out_.Reset();
      out_.ClearThumbnail();
      return 0;
    }
    out_.PlaceHeldThumbnail(span);
    return 1;
  }

 private:
  // Fetches every out-of-line value of `list` (from the generators of directory `id`, else from
  // `origin`) and leaves out the entries whose values cannot be had. False when memory is short.
  [[nodiscard]] bool PlanValues(DirectoryId id, ExifReader& origin, IfdEntryList* list,
                                PlannedValues* values) {
    IfdEntryList kept;
    for (const IfdEntry& e : *list) {
      if (!HasOutOfLineValue(e)) {
        kept.push_back(e);
        continue;
      }
      std::vector<uint8_t> bytes;
      uint32_t count = 0;
      if (generated_.Generate(id, e, out_.order(), &bytes)) {
        count = e.type == kTypeRational ? 1 : static_cast<uint32_t>(bytes.size());
      } else if (e.value != 0) {
        const uint32_t n = ValueBytes(e.type, e.count);
        std::vector<uint8_t> native(n);
        count = origin.ReadEntryValue(e, native.data(), n);
        if (count != e.count) continue;  // the value does not lie inside its file
        bytes.resize(n);
        exif::EncodeValueArray(bytes, e.type, out_.order(), native);
      } else {
        continue;
      }
      if (bytes.empty()) continue;
      values->Add(e.tag, count, std::move(bytes));
      kept.push_back({e.tag, e.type, count, 0});
    }
    list->swap(kept);
    return true;
  }

  // The values only the writer knows. True with *bytes set (in the block's byte order).
  ExifWriter& w_;
  OutputLayout& out_;
  const ExifWriteParams& params_;
  std::string thumbnailPath_;
  bool tiff_;
  bool jpeg_;
  GeneratedValues generated_;
};

}  // namespace

int ExifWriter::BuildExifBlock(const std::string& thumbnailPath, const ExifWriteParams& params,
                               GpsRecord* gps) {
  if (params.exifVersion != kExifVersion0210) return 0;
  BlockBuilder builder(*this, params, thumbnailPath);
  if (!builder.sourceUsable()) return 0;
  copiedFromSource_ = false;
  const bool tiff = IsTiffSource();
  if (!out_.StartBlock(byteOrder(), tiff, !tiff)) {
    out_.Reset();
    return 0;
  }
  // Without IFD0 and the Exif IFD the block would describe no image: nothing is built.
  if (!builder.BuildImageDirectory(exif::kIfd0, gps != nullptr) || !builder.BuildExifDirectory()) {
    out_.Reset();
    return 0;
  }
  // A GPS directory that could not be laid takes its pointer with it.
  if (BuildGpsDirectory(gps) != 1 && out_.outGps().offset == 0) {
    out_.RemoveOutputEntries(exif::kIfd0, exif::kTagGpsIfdPointer);
  }

  if (!thumbnailPath.empty()) {
    const bool interop = builder.BuildInteropDirectory() == 1;
    if (!builder.PlaceThumbnail() && interop) {
      // The Interop IFD goes with the thumbnail; its bytes stay, unreferenced.
      out_.RemoveOutputEntries(exif::kExifIfd, exif::kTagInteropIfdPointer);
      out_.ForgetDirectory(exif::kInteropIfd);
    }
  }
  // A pointer whose directory could not be laid would name the TIFF header.
  if (out_.outInterop().offset == 0)
    out_.RemoveOutputEntries(exif::kExifIfd, exif::kTagInteropIfdPointer);

  if (tiff) {
    // The main image's strips go behind the thumbnail; a TIFF without them is no image.
    uint32_t at = out_.outLength() + out_.thumbnailData().length();
    if (!out_.MeasureMainImage() || out_.mainImageSize() == 0 ||
        !out_.RelocateImageData(exif::kIfd0, &at)) {
      out_.Reset();
      return 0;
    }
  }
  return 1;
}

int ExifWriter::AttachThumbnail(const std::string& thumbnailPath, const ExifWriteParams& params) {
  const bool tiff = IsTiffSource();
  if ((!tiff && !IsJpegImage()) || !IsBuilt() || HasOutputThumbnail()) return 0;
  out_.ClearThumbnail();
  if (params.exifVersion != kExifVersion0210) return 0;

  IfdEntry pointer{exif::kTagInteropIfdPointer};
  bool interop =
      out_.FindOutputEntry(exif::kExifIfd, &pointer) == exif::kFound && pointer.value > 0;
  if (thumbnailPath.empty()) return 1;
  BlockBuilder builder(*this, params, thumbnailPath);
  bool builtInterop = false;
  if (!interop) interop = builtInterop = builder.BuildInteropDirectory() == 1;
  if (!builder.PlaceThumbnail()) {
    if (builtInterop) {
      out_.RemoveOutputEntries(exif::kExifIfd, exif::kTagInteropIfdPointer);
      out_.ForgetDirectory(exif::kInteropIfd);
    }
    return 0;
  }
  out_.RecordThumbnailEdit(ThumbnailEdit::kAttached);
  if (tiff && !out_.imageInBlock()) {
    if (out_.MeasureMainImage() && out_.mainImageSize() != 0) {
      uint32_t at = out_.outLength() + out_.thumbnailData().length();
      if (!out_.RelocateImageData(exif::kIfd0, &at)) return 0;
    }
  }
  return 1;
}

}  // namespace lf::edit
