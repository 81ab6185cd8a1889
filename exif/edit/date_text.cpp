#include "exif/edit/date_text.h"

#include <cstdio>
#include <cstring>

namespace lf::edit {

bool FormatDateOnto(char* text, const ExifDateTime& v) {
  if (std::strlen(text) != kDateTextLength) return false;
  char formatted[64];
  std::snprintf(formatted, sizeof formatted, "%04d%c%02d%c%02d%c%02d%c%02d%c%02d", v.year % 10000,
                text[4], v.month % 100, text[7], v.day % 100, text[10], v.hour % 100, text[13],
                v.minute % 100, text[16], v.second % 100);
  std::memcpy(text, formatted, kDateTextLength);
  text[kDateTextLength] = '\0';
  return true;
}

void FormatStampText(const ExifDateTime& value, char (&text)[kDateTextBytes]) {
  std::memcpy(text, "    :  :     :  :  ", kDateTextBytes);
  FormatDateOnto(text, value);
}

}  // namespace lf::edit
