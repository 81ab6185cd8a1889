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
      {"2004:05:06 07:08:09", "", 1, {2004, 5, 0, 6, 7, 8, 9, 0}},
      {"2004/05/06-07.08.09", "", 1, {2004, 5, 0, 6, 7, 8, 9, 0}},  // fields by position
      {"    :  :     :  :  ", "", 1, {}},                             // a camera without a clock
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

// A new date keeps the old text's separators and the old sub-second text's width, and parses
// back to itself.
TEST(ExifDateText, FormatKeepsTheOldShapeAndRoundTrips) {
  const ExifDateTime t{2006, 1, 0, 2, 3, 4, 5, 678};
  const struct {
    const char* date;
    const char* subSec;
    int result;
    const char* newDate;
    const char* newSubSec;
    // clang-format off
  } rows[] = {
      {"1999:12:31 23:59:59", "12", 1, "2006:01:02 03:04:05", "67"},
      {"1999-12-31T23.59.59", "9", 1, "2006-01-02T03.04.05", "6"},
      {"1999:12:31 23:59:59", "0004", 1, "2006:01:02 03:04:05", "6784"},
      {"1999:12:31 23:59:59", "", 1, "2006:01:02 03:04:05", ""},
      {"1999:12:31 23:59", "12", 0, "1999:12:31 23:59", "12"},  // another length: untouched
  };
  // clang-format on
  for (const auto& row : rows) {
    std::string date(row.date), sub(row.subSec);
    ASSERT_EQ(FormatExifDateTime(&date, &sub, t), row.result) << row.date;
    EXPECT_EQ(date, row.newDate);
    EXPECT_EQ(sub, row.newSubSec);
  }
  std::string date = "0000:00:00 00:00:00", sub = "000";
  const ExifDateTime leap{2024, 2, 0, 29, 23, 59, 58, 40};
  ASSERT_EQ(FormatExifDateTime(&date, &sub, leap), 1);
  EXPECT_EQ(sub, "040");
  ExifDateTime back{};
  ASSERT_EQ(ParseExifDateTime(date, sub, &back), 1);
  EXPECT_EQ(std::memcmp(&back, &leap, sizeof back), 0);
  ASSERT_EQ(FormatExifDateTime(&date, nullptr, t), 1);
  EXPECT_EQ(date, "2006:01:02 03:04:05");
}

}  // namespace
}  // namespace lf::exif
