// SPDX-License-Identifier: MIT
// GetExif's three summaries: every field, requests, absent values left as the host gave them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/maker_note_fixtures.h"

namespace lf::test {
namespace {

std::vector<uint16_t> Tags(const LfU16List& list) {
  return std::vector<uint16_t>(list.data, list.data + list.size);
}
void Ask(LfU16List* list, std::initializer_list<uint16_t> tags) {
  for (uint16_t t : tags) ASSERT_TRUE(LfU16ListAppend(list, t));
}
std::string Text(const LfString& s) { return s.text ? s.text : ""; }

// The three records, owned as a host owns them.
struct Summaries {
  LfExifSummary exif{};
  LfGpsSummary gps{};
  LfMakerNoteSummary note{};
  ~Summaries() {
    LfExifSummaryClear(&exif);
    LfGpsSummaryClear(&gps);
    LfMakerNoteSummaryClear(&note);
  }
};

class GetExifTest : public ::testing::TestWithParam<Order> {
 protected:
  TempDir dir_;
  std::string Write(MakerNoteRecipe recipe, const std::string& name = "a.jpg") {
    recipe.order = GetParam();
    return dir_.Put(name, MakeMakerNoteFile(recipe).file);
  }
  std::string WriteFull() {
    MakerNoteRecipe r;
    r.note = FullKestrelonNote();
    return Write(r);
  }
};

TEST_P(GetExifTest, DefaultRequestsDeliverEveryFieldInDirectoryOrder) {
  const std::string f = WriteFull();
  Summaries s;
  ASSERT_EQ(GetExif(f.c_str(), &s.exif, &s.gps, &s.note), LF_S_OK);

  EXPECT_EQ(Tags(s.exif.tags),
            (std::vector<uint16_t>{0x010F, 0x0110, 0x0112, 0xC6D2, 0x829A, 0x829D, 0x8827,
                                   0x9000, 0x9003, 0x9201, 0x9202, 0x9204, 0x9207, 0x9209,
                                   0x920A, 0xA402, 0xA403, 0xA404, 0xA405, 0xA406, 0xA40C}));
  EXPECT_EQ(s.exif.orientation, 6);
  EXPECT_EQ(Text(s.exif.make), "Kestrelon");
  EXPECT_EQ(Text(s.exif.model), "KX-100 Test");
  EXPECT_EQ(Text(s.exif.titleText), "Harbour at dawn");
  EXPECT_EQ(std::memcmp(s.exif.exifVersion, "0221", 4), 0);
  EXPECT_EQ(s.exif.dateTimeOriginal.year, 2021);
  EXPECT_EQ(s.exif.exposureTime[1], 250u);
  EXPECT_EQ(s.exif.fNumber[0], 28u);  // never reduced
  EXPECT_EQ(s.exif.fNumber[1], 10u);
  EXPECT_EQ(s.exif.isoSpeedRatings, 400);  // the first of two values
  EXPECT_EQ(s.exif.exposureBiasValue[1], 3);
  EXPECT_EQ(s.exif.flash, 0x19);
  EXPECT_EQ(s.exif.focalLengthIn35mmFilm, 70);
  EXPECT_EQ(s.exif.digitalZoomRatio[1], 2u);
  EXPECT_EQ(s.exif.subjectDistanceRange, 3);

  EXPECT_EQ(Tags(s.gps.tags),
            (std::vector<uint16_t>{0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
                                   0x0012, 0x001B, 0x001C, 0x001D}));
  EXPECT_EQ(std::string(s.gps.latitudeRef, 1), "N");
  EXPECT_EQ(s.gps.latitude[4], 2400u);
  EXPECT_EQ(s.gps.longitude[2], 21u);
  EXPECT_EQ(s.gps.altitudeRef, 1);
  EXPECT_EQ(s.gps.timeStamp[2], 26u);
  EXPECT_EQ(Text(s.gps.mapDatum), "WGS-84");
  ASSERT_EQ(s.gps.processingMethod.size, 20);
  EXPECT_EQ(std::memcmp(s.gps.processingMethod.data + 8, "GPS-FIX-12!!", 12), 0);
  EXPECT_EQ(Text(s.gps.dateStamp), "2021:07:14");

  EXPECT_EQ(Text(s.note.header), "Kestrelon");
  EXPECT_EQ(Tags(s.note.tags),
            (std::vector<uint16_t>{0x0001, 0x0002, 0x0003, 0x0007, 0x000F, 0x001A, 0x001F,
                                   0x0020, 0x0021, 0x0026, 0x002A, 0x002B, 0x0033, 0x0036,
                                   0x003D, 0x0043, 0x004D, 0x0051, 0x0053, 0x0061, 0x0E00}));
  uint32_t unaligned = 0;
  std::memcpy(&unaligned, s.note.tag0002, 4);
  EXPECT_EQ(unaligned, 0x00C0FFEEu);
  std::memcpy(&unaligned, s.note.tag0026, 4);
  EXPECT_EQ(unaligned, 0x12345678u);
  EXPECT_EQ(s.note.tag002B, 70000u);
  EXPECT_EQ(s.note.has0021, 1u);
  EXPECT_EQ(s.note.dateTime0033.minute, 26);
  EXPECT_EQ(s.note.tag0036, 11);
  EXPECT_EQ(Text(s.note.text0051), "Lens 18-55");
  EXPECT_EQ(s.note.tag004D[15], 0xCF);
  EXPECT_EQ(s.note.tag0061[147], static_cast<uint8_t>(147 * 7));
}

TEST_P(GetExifTest, RequestsSelectTagsAndEachDirectoryFallsBackToAll) {
  const std::string f = WriteFull();
  Summaries s;
  // Only an Exif tag (asked twice): IFD0's part of the request is empty, so IFD0 gives all.
  Ask(&s.exif.tags, {0x829A, 0x829A});
  Ask(&s.gps.tags, {0x0006, 0x0002, 0x0008});
  Ask(&s.note.tags, {0x0021, 0x0001});
  ASSERT_EQ(GetExif(f.c_str(), &s.exif, &s.gps, &s.note), LF_S_OK);
  EXPECT_EQ(Tags(s.exif.tags), (std::vector<uint16_t>{0x010F, 0x0110, 0x0112, 0xC6D2, 0x829A}));
  EXPECT_EQ(Tags(s.gps.tags), (std::vector<uint16_t>{0x0002, 0x0006}));
  EXPECT_EQ(Tags(s.note.tags), (std::vector<uint16_t>{0x0001, 0x0021}));

  // A tag of no field at all: both directories give every field they hold.
  LfExifSummary other{};
  Ask(&other.tags, {0xA000});
  ASSERT_EQ(GetExif(f.c_str(), &other, nullptr, nullptr), LF_S_OK);
  EXPECT_EQ(other.tags.size, 21);
  LfExifSummaryClear(&other);
}

TEST_P(GetExifTest, AbsentValuesKeepTheHostsFieldsAndPresetsAreSet) {
  MakerNoteRecipe r;
  r.fullExif = false;
  r.withGps = false;
  r.header = "kestrelon";  // another dialect by byte-wise comparison
  r.note = FullKestrelonNote();
  r.dateTimeOriginal = "2005:02:30 10:00:00";
  // Values that cannot be delivered: outside the block, of a type of no size.
  r.extraExif.RawEntry(0x829D, kRational, 1, 0xFFFFFF00u).RawEntry(0x9209, 0x0020, 1, 5);
  const std::string f = Write(r);
  Summaries s;
  s.exif.fNumber[0] = 0x6666;
  s.exif.flash = 0x7777;
  s.gps.altitudeRef = 9;
  s.note.tag0001 = 0x5555;
  s.note.tag003D = 0x4444;
  s.note.has4950 = 3;
  ASSERT_TRUE(LfStringSet(&s.note.header, "left over"));
  ASSERT_TRUE(LfByteArrayResize(&s.gps.processingMethod, 5));
  ASSERT_EQ(GetExif(f.c_str(), &s.exif, &s.gps, &s.note), LF_S_OK);
  EXPECT_EQ(Tags(s.exif.tags), (std::vector<uint16_t>{0x010F, 0x0110, 0x9000, 0x9003}));
  const LfExifDateTime zero{};
  EXPECT_EQ(std::memcmp(&s.exif.dateTimeOriginal, &zero, sizeof zero), 0);  // no calendar date
  EXPECT_EQ(s.exif.fNumber[0], 0x6666u);
  EXPECT_EQ(s.exif.flash, 0x7777);
  EXPECT_EQ(s.gps.tags.size, 0);
  EXPECT_EQ(s.gps.altitudeRef, 9);
  EXPECT_EQ(s.gps.processingMethod.size, 0);
  EXPECT_EQ(s.note.tags.size, 0);
  EXPECT_EQ(Text(s.note.header), "");
  EXPECT_EQ(s.note.tag0001, 0x5555);
  EXPECT_EQ(s.note.tag0036, 0xFFFF);
  EXPECT_EQ(s.note.tag003D, 0);
  EXPECT_EQ(s.note.has0021, 0u);
  EXPECT_EQ(s.note.has4950, 3u);

  // Nothing delivered to any record given: E_FAIL.
  EXPECT_EQ(GetExif(f.c_str(), nullptr, &s.gps, &s.note), LF_E_FAIL);
  EXPECT_EQ(GetExif(f.c_str(), nullptr, nullptr, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(GetExif(nullptr, &s.exif, nullptr, nullptr), LF_E_INVALIDARG);
  r.withJfif = true;
  EXPECT_EQ(GetExif(Write(r, "jfif.jpg").c_str(), &s.exif, nullptr, nullptr), LF_E_NO_EXIF);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, GetExifTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "II" : "MM";
                         });

}  // namespace
}  // namespace lf::test
