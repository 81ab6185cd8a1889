// SPDX-License-Identifier: MIT
#include "exif/model/date_text.h"

#include <cstdio>

namespace lf::exif {
namespace {

// C's atoi over a bounded field: leading white space, an optional sign, then digits up to the
// first other character. Wraps instead of overflowing, as the 16-bit fields it feeds do anyway.
int32_t DecimalOf(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

uint16_t FieldOf(std::string_view text, size_t at, size_t width) {
  return static_cast<uint16_t>(DecimalOf(text.substr(at, width)));
}

}  // namespace

int ParseExifDateTime(std::string_view dateText, std::string_view subSecText, ExifDateTime* out) {
  if (!out || dateText.size() != kExifDateTextLength) return 0;
  ExifDateTime t{};
  t.year = FieldOf(dateText, 0, 4);
  t.month = FieldOf(dateText, 5, 2);
  t.day = FieldOf(dateText, 8, 2);
  t.hour = FieldOf(dateText, 11, 2);
  t.minute = FieldOf(dateText, 14, 2);
  t.second = FieldOf(dateText, 17, 2);
  // Sub-second digits are a decimal fraction: "5" is 500 ms, "45" is 450 ms, "123456" is 123 ms.
  switch (subSecText.size()) {
    case 0: t.milliseconds = 0; break;
    case 1: t.milliseconds = static_cast<uint16_t>(DecimalOf(subSecText) * 100); break;
    case 2: t.milliseconds = static_cast<uint16_t>(DecimalOf(subSecText) * 10); break;
    default: t.milliseconds = FieldOf(subSecText, 0, 3); break;
  }
  *out = t;
  return 1;
}

int FormatExifDateTime(std::string* dateText, std::string* subSecText, const ExifDateTime& value) {
  if (!dateText || dateText->size() != kExifDateTextLength) return 0;
  const std::string& old = *dateText;
  // Wide enough for six fields of up to five digits each and the separators.
  char text[48];
  std::snprintf(text, sizeof text, "%04d%c%02d%c%02d%c%02d%c%02d%c%02d", value.year, old[4],
                value.month, old[7], value.day, old[10], value.hour, old[13], value.minute, old[16],
                value.second);
  if (subSecText && !subSecText->empty()) {
    // The sub-second text keeps its width: digits beyond the third are left as they were.
    char sub[32];
    const int ms = value.milliseconds;
    switch (subSecText->size()) {
      case 1:
        std::snprintf(sub, sizeof sub, "%01d", ms / 100);
        *subSecText = sub;
        break;
      case 2:
        std::snprintf(sub, sizeof sub, "%02d", ms / 10);
        *subSecText = sub;
        break;
      default:
        std::snprintf(sub, sizeof sub, "%03d", ms);
        subSecText->replace(0, 3, sub);
        break;
    }
  }
  *dateText = text;
  return 1;
}

}  // namespace lf::exif
