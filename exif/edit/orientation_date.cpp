// SPDX-License-Identifier: MIT
// SetOrientation and SetDateTimeOriginal: change one fact of a file's EXIF data with the cheapest
// safe edit. The entry is patched inside the loaded block, which then goes back over its old
// bytes; only an Orientation that cannot be patched in place makes the block be rebuilt.
#include "exif/edit/orientation_date.h"

#include <cstring>

#include "exif/edit/date_stamp.h"
#include "exif/model/date_text.h"
#include "exif/model/metadata_queries.h"
#include "platform/file.h"
#include "plugin/operations.h"

namespace lf::edit {

namespace {

constexpr uint16_t kMaxOrientation = 8;  // TIFF 6.0, Orientation: 1..8

uint16_t OutputOrientation(OutputLayout& out, DirectoryId id) {
  IfdEntry entry{exif::kTagOrientation};
  if (out.FindOutputEntry(id, &entry) != exif::kFound) return 0;
  return entry.type == exif::kTypeShort && entry.count == 1 ? static_cast<uint16_t>(entry.value)
                                                            : 0;
}

IfdEntry OrientationEntry(uint16_t orientation) {
  return {exif::kTagOrientation, exif::kTypeShort, 1, orientation};
}

// Sets the Orientation of one directory of the output block, adding the entry when it is missing.
[[nodiscard]] bool SetOutputOrientation(OutputLayout& out, DirectoryId id, uint16_t orientation) {
  const IfdEntry entry = OrientationEntry(orientation);
  if (out.UpdateOutputEntry(id, entry) == exif::kFound) return true;
  const IfdEntryList add{entry};
  return out.RewriteDirectory(id, nullptr, &add, nullptr) >= 1;
}

// Whether IFD1's JPEG thumbnail (JPEGInterchangeFormat and its length, both LONG) lies inside the
// block, where the rebuild carries it.
bool ThumbnailInBlock(ExifWriter& writer, ByteView block) {
  IfdEntryList pair{IfdEntry{exif::kTagJpegInterchangeFormat},
                    IfdEntry{exif::kTagJpegInterchangeFormatLength}};
  if (writer.CollectEntries(exif::kIfd1, &pair) != 2) return false;
  for (const IfdEntry& e : pair) {
    if (e.type != exif::kTypeLong || e.count != 1) return false;
  }
  return pair[0].value != 0 && block.Contains(pair[0].value, pair[1].value);
}

// Whether a rebuild can carry everything a TIFF file holds. A TIFF is rewritten from its EXIF
// block and its main-image strips only, so anything else it holds outside the block (a second
// page or thumbnail in IFD1, values stored behind the strips) would be lost. Such files are not
// rebuilt. (A JPEG's block is its whole APP1 segment, and the rest of the file is copied.)
bool RebuildKeepsEverything(ExifWriter& writer) {
  if (!writer.IsTiffSource()) return true;
  const ByteView block = writer.Block();
  for (DirectoryId id :
       {exif::kIfd0, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd, exif::kIfd1}) {
    IfdEntryList all;
    if (writer.CollectEntries(id, &all) < 0) return false;
    for (const IfdEntry& e : all) {
      if (id == exif::kIfd1) {
        // A JPEG thumbnail inside the block moves with it; other image data of IFD1 lies outside.
        const exif::TagRole role = exif::RoleOf(id, e.tag);
        if (role == exif::TagRole::kImageDataOffset && ThumbnailInBlock(writer, block)) continue;
        if (role == exif::TagRole::kStripOffsets || role == exif::TagRole::kTileOffsets ||
            role == exif::TagRole::kImageDataOffset) {
          return false;
        }
      }
      if (e.tag == exif::kTagStripOffsets || e.tag == exif::kTagStripByteCounts) continue;
      if (HasOutOfLineValue(e) && !block.Contains(e.value, ValueBytes(e.type, e.count)))
        return false;
    }
  }
  return true;
}

}  // namespace

bool SetOrientationInBlock(ExifWriter& writer, uint16_t orientation) {
  if (!writer.HasBlock() || orientation == 0 || orientation > kMaxOrientation) return false;
  const uint16_t main = exif::OrientationOf(writer, exif::kMainImage);
  const uint16_t thumb = exif::OrientationOf(writer, exif::kThumbnailImage);
  if (main < 1 || main > kMaxOrientation || thumb < 1 || thumb > kMaxOrientation) return false;
  if (main == orientation) return true;
  if (writer.PatchEntry(exif::kIfd0, OrientationEntry(orientation)) < 1) return false;
  return writer.PatchEntry(exif::kIfd1, OrientationEntry(orientation)) > 0;
}

bool SetOrientationInOutput(ExifWriter& writer, uint16_t orientation) {
  OutputLayout& out = writer.output();
  if (!out.IsBuilt() || orientation == 0 || orientation > kMaxOrientation) return false;
  const uint16_t main = OutputOrientation(out, exif::kIfd0);
  const uint16_t thumb = OutputOrientation(out, exif::kIfd1);
  if (main > kMaxOrientation || thumb > kMaxOrientation) return false;
  if (main != 0 && main == orientation) return false;
  bool ok = SetOutputOrientation(out, exif::kIfd0, orientation);
  if (ok && out.HasOutputThumbnail()) ok = SetOutputOrientation(out, exif::kIfd1, orientation);
  if (ok && out.isTiff() && !out.imageInBlock()) {
    // Where the strips cannot be measured now, the size measured when the block was copied holds.
    static_cast<void>(out.MeasureMainImage());
    if (out.mainImageSize() != 0) {
      uint32_t at = out.outLength() + out.thumbnailImageSize();
      ok = out.RelocateImageData(exif::kIfd0, &at);
    }
  }
  return ok;
}

bool WriteDateTimeString(ExifWriter& writer, uint32_t image, uint32_t which, const char* dateText,
                         const char* subSecText) {
  if (!dateText || !*dateText) return false;
  uint16_t dateTag = 0, subSecTag = 0;
  DirectoryId id = 0;
  if (which == 0 && (image == 0 || image == 1)) {
    dateTag = kTagDateTime;
    id = image == 0 ? exif::kIfd0 : exif::kIfd1;
  } else if ((which == 16 || which == 17) && image == 0) {
    dateTag = which == 16 ? kTagDateTimeOriginal : kTagDateTimeDigitized;
    subSecTag = which == 16 ? kTagSubSecTimeOriginal : kTagSubSecTimeDigitized;
    id = exif::kExifIfd;
  } else {
    return false;
  }
  const uint32_t dateBytes = static_cast<uint32_t>(std::strlen(dateText)) + 1;
  if (subSecTag != 0 && subSecText && *subSecText) {
    IfdEntryList entries{IfdEntry{dateTag}, IfdEntry{subSecTag}};
    if (writer.CollectEntries(id, &entries) <= 0) return false;
    bool ok = true;
    for (const IfdEntry& e : entries) {
      if (e.tag == dateTag) {
        ok = ok &&
             writer.PatchEntryValue(id, e, dateText, dateBytes) == static_cast<int>(kDateTextBytes);
      } else {
        const uint32_t n = static_cast<uint32_t>(std::strlen(subSecText)) + 1;
        ok = ok && writer.PatchEntryValue(id, e, subSecText, n) > 0;
      }
    }
    return ok;
  }
  IfdEntry entry{dateTag};
  if (writer.FindEntry(id, &entry) != exif::kFound) return false;
  return writer.PatchEntryValue(id, entry, dateText, dateBytes) == static_cast<int>(kDateTextBytes);
}

bool ReplaceDateTimeOriginal(ExifWriter& writer, const ExifDateTime& value) {
  if (!writer.HasExifDirectory() || !writer.HasBlock()) return false;
  // Only a DateTimeOriginal of exactly 20 bytes is replaced; the tag is never added.
  std::string text;
  if (exif::ReadDateTimeString(writer, exif::kMainImage, exif::kDateTimeOriginal, &text) != 1)
    return false;
  if (exif::FormatExifDateTime(&text, nullptr, value) != 1) return false;
  return WriteDateTimeString(writer, 0, 16, text.c_str(), "");
}

HRESULT SetOrientation(const std::string& destPath, const std::string& srcPath, int32_t orientation,
                       int32_t allowRebuild) {
  const HRESULT writable = CheckDestinationWritable(destPath);
  if (writable != S_OK) return writable;
  ExifWriter writer(srcPath.c_str(), true);
  if (!writer.IsExif()) return E_NO_EXIF;
  const uint16_t value = static_cast<uint16_t>(orientation & 0xFFFF);
  if (SetOrientationInBlock(writer, value)) {
    // The directory was proved writable above: each call probes it once.
    return platform::IsSameFile(destPath, srcPath)
               ? PatchInPlace(writer, writer.MutableBlock(), Probe::kAlreadyDone)
               : CopyAndPatch(writer, writer.MutableBlock(), destPath);
  }
  if (allowRebuild == 0 || !RebuildKeepsEverything(writer)) return E_FAIL;
  if (writer.CopyBlockForEdit(true, false) != 1 || !SetOrientationInOutput(writer, value))
    return E_FAIL;
  writer.output().StampDateTime();
  return WriteToFile(writer, destPath, Probe::kAlreadyDone);
}

HRESULT SetDateTimeOriginal(const std::string& path, const ExifDateTime& value) {
  ExifWriter writer(path.c_str(), true);
  if (!writer.IsExif()) return E_NO_EXIF;
  if (!platform::IsValidCalendarDateTime(value)) return E_INVALIDARG;
  if (!ReplaceDateTimeOriginal(writer, value)) return E_FAIL;
  return PatchInPlace(writer, writer.MutableBlock(), Probe::kDestination);
}

}  // namespace lf::edit

namespace lf::ops {

HRESULT SetOrientation(const char* destination, const char* source, int32_t orientation,
                       int32_t allowRebuild) {
  if (!destination || !source) return E_INVALIDARG;
  return edit::SetOrientation(destination, source, orientation, allowRebuild);
}

HRESULT SetDateTimeOriginal(const char* path, const LfExifDateTime& value) {
  if (!path) return E_INVALIDARG;
  return edit::SetDateTimeOriginal(path, value);
}

}  // namespace lf::ops
