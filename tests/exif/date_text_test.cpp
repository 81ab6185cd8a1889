// SPDX-License-Identifier: MIT
#include "exif/model/date_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lf::exif {
namespace {

TEST(ExifDateText, Parse) {
  const struct {
    const char* date;
    const char* subSec;
    int result;
    ExifDateTime expected;
    // clang-format off
  } rows[] = {
      {"2004/05/06-07.08.09", "", 1, {2004, 5, 0, 6, 7, 8, 9, 0}},  // fields by position
      // Each field reads like atoi: a digit followed by a blank stops, "-1" wraps in 16 bits.
      {" 199:1 : 2 03:x4:-1", "", 1, {199, 1, 0, 2, 3, 0, 0xFFFF, 0}},
      // Sub-second digits are a decimal fraction.
      {"2004:05:06 07:08:09", "5", 1, {2004, 5, 0, 6, 7, 8, 9, 500}},
      {"2004:05:06 07:08:09", "07", 1, {2004, 5, 0, 6, 7, 8, 9, 70}},
      {"2004:05:06 07:08:09", "123987", 1, {2004, 5, 0, 6, 7, 8, 9, 123}},
      // Not nineteen characters: refused, the record untouched.
      {"2004:05:06 07:08:0", "", 0, {77, 0, 0, 0, 0, 0, 0, 0}},
      {"2004:05:06 07:08:09 ", "", 0, {77, 0, 0, 0, 0, 0, 0, 0}},
      {"", "", 0, {77, 0, 0, 0, 0, 0, 0, 0}},
  };
  // clang-format on
  for (const auto& row : rows) {
    ExifDateTime t{};
    t.year = 77;
    EXPECT_EQ(ParseExifDateTime(row.date, row.subSec, &t), row.result) << row.date;
    EXPECT_EQ(std::memcmp(&t, &row.expected, sizeof t), 0) << row.date << " " << row.subSec;
  }
}

}  // namespace
}  // namespace lf::exif
