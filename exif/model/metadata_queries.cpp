// SPDX-License-Identifier: MIT
#include "exif/model/metadata_queries.h"

#include <cstring>
#include <vector>

namespace lf::exif {
namespace {

// A date value longer than this is not a date; it is not delivered at all rather than making the
// file decide how much memory a query takes.
constexpr uint32_t kDateValueLimit = 4096;
constexpr uint32_t kDateValueBytes = 20;  // 19 characters and the NUL

// "0220" as ExifVersion's four bytes in file order, taken as b0 + b1·2^8 + b2·2^16 + b3·2^24.
constexpr uint32_t kExifVersion22 = 0x30323230;

}  // namespace

uint16_t OrientationOf(ExifReader& reader, int image) {
  if (!reader.HasExifDirectory()) return 0;
  IfdEntry entry;
  entry.tag = kTagOrientation;
  if (reader.FindEntry(image == kMainImage ? kIfd0 : kIfd1, &entry) != kFound) return 0;
  if (entry.type != kTypeShort || entry.count != 1) return 0;
  return static_cast<uint16_t>(entry.value);
}

int ReadDateTimeString(ExifReader& reader, int image, int which, std::string* text) {
  if (!text) return 0;
  text->clear();
  IfdEntry entry;
  DirectoryId directory = 0;
  switch (which) {
    case kDateTime:
      entry.tag = kTagDateTime;
      directory = image == kMainImage ? kIfd0 : kIfd1;
      break;
    case kDateTimeOriginal:
    case kDateTimeDigitized:
      // The thumbnail has no Exif IFD, so it has no original or digitized date.
      if (image != kMainImage) return 0;
      entry.tag = which == kDateTimeOriginal ? kTagDateTimeOriginal : kTagDateTimeDigitized;
      directory = kExifIfd;
      break;
    default: return 0;
  }
  if (reader.FindEntry(directory, &entry) != kFound) return 0;
  const uint32_t n = EntryByteCount(entry);
  if (n == 0 || n > kDateValueLimit) return 0;
  std::vector<char> value(n + 1, '\0');  // one more byte, so the text always ends
  const uint32_t delivered = reader.ReadEntryValue(entry, value.data(), n);
  text->assign(value.data(), strnlen(value.data(), n));
  return delivered == kDateValueBytes ? 1 : 0;
}

bool IsExifVersion22(ExifReader& reader) {
  if (!reader.IsExif()) return false;
  IfdEntry entry;
  entry.tag = kTagExifVersion;
  if (reader.FindEntry(kExifIfd, &entry) != kFound) return false;
  // The four inline bytes are held in file order, byte i in bits 8i..8i+7.
  return entry.type == kTypeUndefined && entry.count == 4 && entry.value >= kExifVersion22;
}

HRESULT ReportDelivery(uint16_t type, uint32_t delivered, uint32_t* size, uint16_t* typeOut,
                       uint32_t* count) {
  *size = FieldTypeSize(type) * delivered;
  if (typeOut) *typeOut = type;
  if (count) *count = delivered;
  return *size > 0 ? S_OK : E_FAIL;
}

}  // namespace lf::exif
