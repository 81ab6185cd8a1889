// SPDX-License-Identifier: MIT
// GetMakerNoteValue, GetExifMakerValue and SetMakerNote on Kestrelon maker notes built byte by
// byte in both byte orders. Edited files are compared byte for byte with the original and read
// back by ExifTool, so that our reader cannot hide a writer's mistake.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fault_steps.h"
#include "tests/support/maker_note_fixtures.h"

namespace lf::test {
namespace {

class MakerNoteValuesTest : public ::testing::TestWithParam<Order> {
 protected:
  TempDir dir_;
  MakerNoteFile made_;

  std::string Write(const std::string& name, const std::string& header = "Kestrelon") {
    MakerNoteRecipe r;
    r.order = GetParam();
    r.header = header;
    r.note = FullKestrelonNote();
    made_ = MakeMakerNoteFile(r);
    return dir_.Put(name, made_.file);
  }
  // The four bytes of a value field as the file's byte order stores `value` of `type`.
  Bytes Field(uint16_t type, uint32_t value) const {
    ByteWriter w(GetParam());
    if (type == kShort) w.U16(static_cast<uint16_t>(value)).U16(0);
    else w.U32(value);
    return w.Take();
  }
};

struct Value {
  LF_RESULT result;
  uint32_t size = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> bytes;
};
Value MakerValue(const std::string& f, const char* header, uint16_t tag, uint32_t bufferSize = 256) {
  Value v;
  v.bytes.assign(bufferSize, 0xEE);
  v.size = bufferSize;
  v.result = GetExifMakerValue(f.c_str(), header, tag, v.bytes.data(), &v.size, &v.type, &v.count);
  return v;
}

TEST_P(MakerNoteValuesTest, GetMakerNoteValueListsTagsAndValueFields) {
  const std::string f = Write("a.jpg");
  LfString header{};
  LfU16List tags{};
  LfU32List values{};
  ASSERT_TRUE(LfU32ListAppend(&values, 99));  // emptied on entry
  ASSERT_EQ(GetMakerNoteValue(f.c_str(), &header, &tags, &values), LF_S_OK);
  EXPECT_STREQ(header.text, "Kestrelon");
  ASSERT_EQ(tags.size, 22);
  ASSERT_EQ(values.size, 22);
  EXPECT_EQ(tags.data[1], 0x0002);
  EXPECT_EQ(values.data[0], 2u);            // inline SHORT
  EXPECT_EQ(values.data[1], 0x00C0FFEEu);   // inline LONG
  EXPECT_GT(values.data[16], made_.noteOffset);  // 0x004D: the offset of its 16 bytes

  // A request; a tag the note lacks is left out.
  tags.size = 0;
  ASSERT_TRUE(LfU16ListAppend(&tags, 0x0099));
  ASSERT_TRUE(LfU16ListAppend(&tags, 0x0003));
  ASSERT_EQ(GetMakerNoteValue(f.c_str(), &header, &tags, &values), LF_S_OK);
  ASSERT_EQ(tags.size, 1);
  EXPECT_EQ(tags.data[0], 0x0003);
  EXPECT_EQ(values.data[0], 1u);

  // Another dialect: E_ABORT, the file's header handed back, both lists empty.
  const std::string other = Write("b.jpg", "Otherbrand");
  ASSERT_TRUE(LfStringSet(&header, "Kestrelon"));
  EXPECT_EQ(GetMakerNoteValue(other.c_str(), &header, &tags, &values), LF_E_ABORT);
  EXPECT_STREQ(header.text, "Otherbrand");
  EXPECT_EQ(tags.size, 0);
  EXPECT_EQ(values.size, 0);
  EXPECT_EQ(GetMakerNoteValue(dir_.File("a.png").c_str(), &header, &tags, &values), LF_E_FAIL);
  LfStringFree(&header);
  LfU16ListFree(&tags);
  LfU32ListFree(&values);
}

TEST_P(MakerNoteValuesTest, GetExifMakerValueDeliversEachType) {
  const std::string f = Write("a.jpg");
  struct Case {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t size;
  };
  for (const Case& c : {Case{0x0001, kShort, 1, 2}, Case{0x0002, kLong, 1, 4},
                        Case{0x0051, kAscii, 11, 11}, Case{0x004D, kUndefined, 16, 16},
                        Case{0x0062, kRational, 2, 16}}) {
    SCOPED_TRACE(c.tag);
    const Value v = MakerValue(f, "Kestrelon", c.tag);
    ASSERT_EQ(v.result, LF_S_OK);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.count, c.count);
    EXPECT_EQ(v.size, c.size);
  }
  EXPECT_EQ(MakerValue(f, "Kestrelon", 0x0062, 8).count, 1u);  // as many values as fit

  const Value wrongHeader = MakerValue(f, "kestrelon", 0x0001);
  EXPECT_EQ(wrongHeader.result, LF_E_FAIL);
  EXPECT_EQ(wrongHeader.size, 0u);
  EXPECT_EQ(MakerValue(f, nullptr, 0x0099).result, LF_E_FAIL);
}

TEST_P(MakerNoteValuesTest, SetMakerNoteChangesOnlyTheEntryAndTheStamp) {
  const std::string f = Write("a.jpg");
  const std::string copy = dir_.File("copy.jpg");
  const ExifToolDump before = RunExifTool({f});
  const auto issuesBefore = ValidationIssues(f);

  // A header in other letter case names the same dialect; a new destination gets the edit.
  ASSERT_EQ(SetMakerNote(copy.c_str(), f.c_str(), "KESTRELON", 0x0001, kShort, 1, 9), LF_S_OK);
  EXPECT_EQ(ReadFile(f), made_.file);
  ASSERT_EQ(SetMakerNote(f.c_str(), f.c_str(), "kestrelon", 0x0002, kLong, 1, 0xABCD0123), LF_S_OK);

  for (const auto& [path, tag, type, value] :
       {std::tuple{copy, 0x0001, kShort, 9u}, std::tuple{f, 0x0002, kLong, 0xABCD0123u}}) {
    SCOPED_TRACE(path);
    const Value v = MakerValue(path, "Kestrelon", static_cast<uint16_t>(tag));
    ASSERT_EQ(v.result, LF_S_OK);
    uint32_t read = 0;
    std::memcpy(&read, v.bytes.data(), v.size);
    EXPECT_EQ(read, value);
    // Only the entry's value field and IFD0 DateTime's stamp differ from the original.
    const Bytes after = ReadFile(path);
    const size_t field = made_.tiffBase + made_.entryOffsets.at(static_cast<uint16_t>(tag)) + 8;
    const size_t stamp = made_.tiffBase + made_.dateTimeOffset;
    for (const auto& [begin, end] : DifferingRanges(made_.file, after)) {
      EXPECT_TRUE((begin >= field && end <= field + 4) || (begin >= stamp && end <= stamp + 19))
          << begin << ".." << end;
    }
    EXPECT_EQ(Slice(after, field, 4), Field(type, value));
    EXPECT_TRUE(NewIssues(issuesBefore, ValidationIssues(path)).empty());
  }

  // ExifTool reads an unknown maker note as a directory too: the edited entry shows the new
  // value, every other tag (the note's other entries included) what it held before.
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  const ExifToolDump after = RunExifTool({f, copy});
  for (const auto& [path, key, value] : {std::tuple{f, "MakerUnknown:Unknown_0x0002", "2882339107"},
                                         std::tuple{copy, "MakerUnknown:Unknown_0x0001", "9"}}) {
    ASSERT_TRUE(after.count(path));
    ExifToolTags expected = before.at(f), now = after.at(path);
    ASSERT_TRUE(expected.count(key)) << key;
    expected[key] = value;
    for (ExifToolTags* tags : {&expected, &now}) {
      std::erase_if(*tags, [](const auto& kv) {
        return kv.first.rfind("System:", 0) == 0 || kv.first == "SourceFile" ||
               kv.first == "ExifIFD:MakerNoteUnknown" || kv.first == "IFD0:ModifyDate";
      });
    }
    EXPECT_EQ(expected, now) << path;
  }
}

TEST_P(MakerNoteValuesTest, SetMakerNoteRefusesOrSkipsWithoutWriting) {
  // A maker note whose directory does not read as one (an entry of a type of no size).
  MakerNoteRecipe broken;
  broken.order = GetParam();
  broken.note = FullKestrelonNote();
  broken.note.RawEntry(0x0070, 0x0020, 1, 0);
  const Bytes brokenFile = MakeMakerNoteFile(broken).file;
  const std::string b = dir_.Put("b.jpg", brokenFile);
  const std::string f = Write("a.jpg");
  const std::string copy = dir_.File("copy.jpg");
  struct Row {
    std::string source;
    const char* header;
    uint16_t tag, type;
    uint32_t count, value;
    LF_RESULT result;
  };
  for (const Row& row :
       {Row{f, "Kestrelon", 0x0099, kShort, 1, 1, LF_S_OK},  // no such entry
        Row{f, "Otherbrand", 0x0001, kShort, 1, 1, LF_E_ABORT},
        Row{b, "Kestrelon", 0x0001, kShort, 1, 1, LF_E_FAIL},
        Row{f, "Kestrelon", 0x0062, kRational, 2, 0xFFFFFF00u, LF_E_FAIL},  // value outside
        Row{f, "Kestrelon", 0x0001, 0x0020, 1, 1, LF_E_FAIL}}) {            // type of no size
    SCOPED_TRACE(row.tag);
    EXPECT_EQ(SetMakerNote(copy.c_str(), row.source.c_str(), row.header, row.tag, row.type,
                           row.count, row.value),
              row.result);
    EXPECT_EQ(SetMakerNote(row.source.c_str(), row.source.c_str(), row.header, row.tag, row.type,
                           row.count, row.value),
              row.result);
    EXPECT_EQ(ReadFile(row.source), row.source == f ? made_.file : brokenFile);
  }
  EXPECT_FALSE(platform::FileExists(copy));
  EXPECT_EQ(SetMakerNote(f.c_str(), dir_.File("a.png").c_str(), "Kestrelon", 1, kShort, 1, 1),
            LF_E_FAIL);
  EXPECT_EQ(ReadFile(f), made_.file);

  // A read-only file is edited in place and stays read-only.
  ASSERT_TRUE(platform::SetFileReadOnly(f));
  ASSERT_EQ(SetMakerNote(f.c_str(), f.c_str(), "Kestrelon", 0x0001, kShort, 1, 5), LF_S_OK);
  platform::FileAttributes a;
  ASSERT_TRUE(platform::GetFileAttributes(f, &a));
  EXPECT_TRUE(a.flags & platform::kAttributeReadOnly);
  EXPECT_EQ(MakerValue(f, nullptr, 0x0001).bytes[0], 5);
}

TEST_P(MakerNoteValuesTest, EveryFailedStepLeavesTheFilesAsTheyWere) {
  const std::string f = Write("a.jpg");
  for (const bool inPlace : {true, false}) {
    SCOPED_TRACE(inPlace ? "in place" : "into a copy");
    const std::string dest = inPlace ? f : dir_.File("copy.jpg");
    ForEachFailedStep<LF_RESULT>(
        [&] {
          WriteFile(f, made_.file);
          (void)platform::DeleteFile(dir_.File("copy.jpg"));  // absent before the first run
        },
        [&] { return SetMakerNote(dest.c_str(), f.c_str(), "Kestrelon", 0x0001, kShort, 1, 3); },
        [&](LF_RESULT r) {
          if (r == LF_S_OK) {
            EXPECT_EQ(MakerValue(dest, nullptr, 0x0001).bytes[0], 3);
          } else {
            EXPECT_EQ(ReadFile(f), made_.file);
            EXPECT_FALSE(!inPlace && platform::FileExists(dest));
          }
          EXPECT_EQ(dir_.List().size(), r == LF_S_OK && !inPlace ? 2u : 1u);
        },
        platform::kErrorWriteFault);
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, MakerNoteValuesTest,
                         ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::test
