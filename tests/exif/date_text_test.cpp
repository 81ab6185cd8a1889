// SPDX-License-Identifier: MIT
#include "exif/model/date_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lf::exif {
namespace {

ExifDateTime Parsed(std::string_view date, std::string_view subSec = "") {
  ExifDateTime t{};
  EXPECT_EQ(ParseExifDateTime(date, subSec, &t), 1) << date;
  return t;
}

TEST(ExifDateText, ParseReadsFieldsByPositionWhateverTheSeparators) {
  const ExifDateTime expected{2004, 5, 0, 6, 7, 8, 9, 0};
  for (const char* text : {"2004:05:06 07:08:09", "2004/05/06-07.08.09"}) {
    const ExifDateTime t = Parsed(text);
    EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0) << text;
  }
}

TEST(ExifDateText, ParseReadsEachFieldLikeAtoi) {
  // Blank fields (cameras without a clock write them) read as 0; a digit followed by a blank stops.
  const ExifDateTime blank = Parsed("    :  :     :  :  ");
  EXPECT_EQ(blank.year + blank.month + blank.day + blank.hour + blank.minute + blank.second, 0);
  const ExifDateTime partial = Parsed(" 199:1 : 2 03:x4:-1");
  EXPECT_EQ(partial.year, 199);
  EXPECT_EQ(partial.month, 1);
  EXPECT_EQ(partial.day, 2);
  EXPECT_EQ(partial.hour, 3);
  EXPECT_EQ(partial.minute, 0);
  EXPECT_EQ(partial.second, 0xFFFF);  // "-1" wraps in the 16-bit field
}

TEST(ExifDateText, ParseRejectsTextsThatAreNotNineteenCharacters) {
  ExifDateTime t{};
  t.year = 77;
  EXPECT_EQ(ParseExifDateTime("2004:05:06 07:08:0", "", &t), 0);
  EXPECT_EQ(ParseExifDateTime("2004:05:06 07:08:09 ", "", &t), 0);
  EXPECT_EQ(ParseExifDateTime("", "", &t), 0);
  EXPECT_EQ(t.year, 77);  // untouched
}

TEST(ExifDateText, SubSecondDigitsAreADecimalFraction) {
  EXPECT_EQ(Parsed("2004:05:06 07:08:09", "5").milliseconds, 500);
  EXPECT_EQ(Parsed("2004:05:06 07:08:09", "45").milliseconds, 450);
  EXPECT_EQ(Parsed("2004:05:06 07:08:09", "123").milliseconds, 123);
  EXPECT_EQ(Parsed("2004:05:06 07:08:09", "123987").milliseconds, 123);
  EXPECT_EQ(Parsed("2004:05:06 07:08:09", "07").milliseconds, 70);
}

TEST(ExifDateText, FormatKeepsTheOldSeparatorsAndSubSecondWidth) {
  ExifDateTime t{};
  t.year = 2006; t.month = 1; t.day = 2; t.hour = 3; t.minute = 4; t.second = 5;
  t.milliseconds = 678;

  // Each case: old date text, old sub-second text, expected date and sub-second texts.
  const struct {
    const char* date;
    const char* subSec;
    const char* newDate;
    const char* newSubSec;
  } cases[] = {
      {"1999:12:31 23:59:59", "12", "2006:01:02 03:04:05", "67"},
      {"1999-12-31T23.59.59", "9", "2006-01-02T03.04.05", "6"},
      {"1999:12:31 23:59:59", "0004", "2006:01:02 03:04:05", "6784"},
      {"1999:12:31 23:59:59", "", "2006:01:02 03:04:05", ""},
  };
  for (const auto& c : cases) {
    std::string date(c.date);
    std::string sub(c.subSec);
    ASSERT_EQ(FormatExifDateTime(&date, &sub, t), 1);
    EXPECT_EQ(date, c.newDate);
    EXPECT_EQ(sub, c.newSubSec);
  }
  std::string date("1999:12:31 23:59:59");
  ASSERT_EQ(FormatExifDateTime(&date, nullptr, t), 1);
  EXPECT_EQ(date, "2006:01:02 03:04:05");
}

TEST(ExifDateText, FormatRefusesAnOldTextOfAnotherLength) {
  ExifDateTime t{};
  t.year = 2006;
  std::string date = "1999:12:31 23:59";
  std::string sub = "12";
  EXPECT_EQ(FormatExifDateTime(&date, &sub, t), 0);
  EXPECT_EQ(date, "1999:12:31 23:59");
  EXPECT_EQ(sub, "12");
}

TEST(ExifDateText, FormatThenParseRoundTrips) {
  ExifDateTime t{};
  t.year = 2024; t.month = 2; t.day = 29; t.hour = 23; t.minute = 59; t.second = 58;
  t.milliseconds = 40;
  std::string date = "0000:00:00 00:00:00";
  std::string sub = "000";
  ASSERT_EQ(FormatExifDateTime(&date, &sub, t), 1);
  EXPECT_EQ(sub, "040");
  ExifDateTime back{};
  ASSERT_EQ(ParseExifDateTime(date, sub, &back), 1);
  EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);
}

}  // namespace
}  // namespace lf::exif
