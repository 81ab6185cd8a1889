// SPDX-License-Identifier: MIT
#include "exif/edit/date_stamp.h"

#include <string>

#include "exif/model/date_text.h"
#include "exif/model/directory.h"

namespace lf::edit {

bool StampDateTime(exif::MutableByteView block, uint32_t ifd0Offset, const ExifDateTime& now) {
  exif::RawDirectory ifd0;
  exif::IfdEntry entry;
  if (!exif::LocateRawDirectory(block, ifd0Offset, &ifd0) ||
      !exif::FindRawEntry(block, ifd0, exif::kTagDateTime, &entry)) {
    return false;
  }
  if (entry.count != kDateTextBytes || entry.value == 0 ||
      !block.Contains(entry.value, kDateTextBytes)) {
    return false;
  }
  // The blank template keeps the standard separators.
  std::string text = "    :  :     :  :  ";
  // The template always has the 19 characters the formatter needs.
  (void)exif::FormatExifDateTime(&text, nullptr, now);
  text.resize(kDateTextBytes, '\0');
  return block.WriteBytes(entry.value, text.data(), kDateTextBytes);
}

bool StampLocalTime(exif::MutableByteView block, uint32_t ifd0Offset) {
  ExifDateTime now{};
  return platform::LocalTime(&now) && StampDateTime(block, ifd0Offset, now);
}

}  // namespace lf::edit
