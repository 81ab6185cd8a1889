#include "exif/edit/date_text.h"

#include <cstring>
#include <string>

#include "exif/model/date_text.h"

namespace lf::edit {

void FormatStampText(const ExifDateTime& value, char (&text)[kDateTextBytes]) {
  std::string stamp = "    :  :     :  :  ";
  exif::FormatExifDateTime(&stamp, nullptr, value);
  std::memset(text, 0, kDateTextBytes);
  std::memcpy(text, stamp.data(), stamp.size() < kDateTextLength ? stamp.size() : kDateTextLength);
}

}  // namespace lf::edit
