// SPDX-License-Identifier: MIT
// The maker-note exports in both byte orders; edits are compared byte for byte with the original.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "tests/support/edit_fixtures.h"
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
    if (type == kShort)
      w.U16(static_cast<uint16_t>(value)).U16(0);
    else
      w.U32(value);
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
Value MakerValue(const std::string& f, const char* header, uint16_t tag,
                 uint32_t bufferSize = 256) {
  Value v;
  v.bytes.assign(bufferSize, 0xEE);
  v.size = bufferSize;
  v.result = GetExifMakerValue(f.c_str(), header, tag, v.bytes.data(), &v.size, &v.type, &v.count);
  return v;
}

TEST_P(MakerNoteValuesTest, GetMakerNoteValueListsTagsAndValueFields) {
  const std::string f = Write("a.jpg");
  MakerNoteLists n;
  auto& [header, tags, values] = n;
  ASSERT_TRUE(LfU32ListAppend(&values, 99));  // emptied on entry
  ASSERT_EQ(n.Read(f), LF_S_OK);
  EXPECT_STREQ(header.text, "Kestrelon");
  ASSERT_EQ(tags.size, 22);
  ASSERT_EQ(values.size, 22);
  EXPECT_EQ(tags.data[1], 0x0002);
  EXPECT_EQ(values.data[0], 2u);                 // inline SHORT
  EXPECT_EQ(values.data[1], 0x00C0FFEEu);        // inline LONG
  EXPECT_GT(values.data[16], made_.noteOffset);  // 0x004D: the offset of its 16 bytes

  // A request; a tag the note lacks is left out.
  tags.size = 0;
  ASSERT_TRUE(LfU16ListAppend(&tags, 0x0099));
  ASSERT_TRUE(LfU16ListAppend(&tags, 0x0003));
  ASSERT_EQ(n.Read(f), LF_S_OK);
  ASSERT_EQ(tags.size, 1);
  EXPECT_EQ(tags.data[0], 0x0003);
  EXPECT_EQ(values.data[0], 1u);

  // Another dialect: E_ABORT, the file's header handed back, both lists empty.
  const std::string other = Write("b.jpg", "Otherbrand");
  ASSERT_TRUE(LfStringSet(&header, "Kestrelon"));
  EXPECT_EQ(n.Read(other), LF_E_ABORT);
  EXPECT_STREQ(header.text, "Otherbrand");
  EXPECT_EQ(tags.size, 0);
  EXPECT_EQ(values.size, 0);
  EXPECT_EQ(n.Read(dir_.File("a.png")), LF_E_FAIL);
}

TEST_P(MakerNoteValuesTest, GetExifMakerValueDeliversEachType) {
  const std::string f = Write("a.jpg");
  struct Case {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t size;
  };
  for (const Case& c :
       {Case{0x0001, kShort, 1, 2}, Case{0x0002, kLong, 1, 4}, Case{0x0051, kAscii, 11, 11},
        Case{0x004D, kUndefined, 16, 16}, Case{0x0062, kRational, 2, 16}}) {
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
  const auto issuesBefore = ValidationIssues(f);

  // A header in other letter case names the same dialect; a new destination gets the edit.
  ASSERT_EQ(SetMakerNote(copy.c_str(), f.c_str(), "KESTRELON", 0x0001, kShort, 1, 9), LF_S_OK);
  EXPECT_EQ(ReadFile(f), made_.file);
  ASSERT_EQ(SetMakerNote(f.c_str(), f.c_str(), "kestrelon", 0x0002, kLong, 1, 0xABCD0123), LF_S_OK);

  // Only the entry's value field and IFD0 DateTime's stamp differ from the original.
  for (const auto& [path, tag, type, value] :
       {std::tuple{copy, 0x0001, kShort, 9u}, std::tuple{f, 0x0002, kLong, 0xABCD0123u}}) {
    SCOPED_TRACE(path);
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
}

TEST_P(MakerNoteValuesTest, SetMakerNoteRefusesOrSkipsWithoutWriting) {
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
        Row{f, "Kestrelon", 0x0001, 0x0020, 1, 1, LF_E_FAIL}}) {  // type of no size
    SCOPED_TRACE(row.tag);
    EXPECT_EQ(SetMakerNote(copy.c_str(), row.source.c_str(), row.header, row.tag, row.type,
                           row.count, row.value),
              row.result);
    EXPECT_EQ(SetMakerNote(row.source.c_str(), row.source.c_str(), row.header, row.tag, row.type,
                           row.count, row.value),
              row.result);
    EXPECT_EQ(ReadFile(row.source), made_.file);
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

// A maker note of 0x0001 SHORT 7 and 0x0002 RATIONAL 5/4 behind `prefix`, in `order`; the
// rational's offset counts from the TIFF header, or from byte `base` of the note when `fromNote`.
std::function<Bytes(uint32_t)> TwoEntries(const Bytes& prefix, Order order, bool fromNote,
                                          uint32_t base = 0) {
  return [=](uint32_t at) {
    const uint32_t valueAt = static_cast<uint32_t>(prefix.size()) + 2 + 2 * 12 + 4;
    ByteWriter w(order);
    w.Raw(prefix).U16(2).U16(0x0001).U16(kShort).U32(1).U16(7).U16(0);
    w.U16(0x0002).U16(kRational).U32(1).U32(fromNote ? valueAt - base : at + valueAt);
    return w.U32(0).U32(5).U32(4).Take();
  };
}

// Every maker-note layout the reader knows, and unreadable ones; offsets come back TIFF-relative.
TEST_P(MakerNoteValuesTest, LayoutsReadByTheirSignature) {
  const Order order = GetParam(), other = order == Order::Little ? Order::Big : Order::Little;
  const std::string otherMarks = other == Order::Little ? "II" : "MM";
  ByteWriter noHeader(order);  // 21 entries straight away
  noHeader.U16(21);
  for (uint16_t tag = 1; tag <= 21; ++tag) noHeader.U16(tag).U16(kShort).U32(1).U16(tag).U16(0);
  noHeader.U32(0);
  const auto raw = [](const Bytes& b) { return [b](uint32_t) { return b; }; };
  const auto noteOf = [&](auto&&... entries) {
    ByteWriter w(order);
    w.Text("Kestrelon").U8(0).U16(0).U16(sizeof...(entries));
    ((w.U16(entries.first).U16(entries.second).U32(1).U32(entries.first == 1 ? 0 : 0xFFFFFF00u)),
     ...);
    return raw(w.Take());
  };
  using E = std::pair<uint16_t, uint16_t>;
  const struct {
    const char* name;
    std::function<Bytes(uint32_t)> note;
    std::string header;
    size_t tags;       // entries listed
    uint32_t valueAt;  // the rational's place in the note (0: none)
    bool fromNote;
    // clang-format off
  } rows[] = {
      {"own TIFF header", TwoEntries(ByteWriter(other).Raw({'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0}).Text(otherMarks).U16(42).U32(8).Take(), other, true, 10), "Nikon", 2, 48, true},
      {"own byte order", TwoEntries(ByteWriter(other).Text("OLYMPUS").U8(0).Text(otherMarks).U16(3).Take(), other, true), "OLYMPUS", 2, 42, true},
      {"pointer to the directory", TwoEntries(ByteWriter(Order::Little).Text("FUJIFILM").U32(12).Take(), Order::Little, true), "FUJIFILM\x0c", 2, 42, true},
      {"count behind eight bytes", TwoEntries(ByteWriter(order).Text("SIGMA").Zeros(3).U16(1).Take(), order, false), "SIGMA", 2, 40, false},
      {"text rule", TwoEntries(ByteWriter(order).Text("Kestrelon").U8(0).U16(0).Take(), order, false), "Kestrelon", 2, 42, false},
      // Little-endian, the count's bytes 0x15 0x00 read as a one-character text, which is no
      // header; big-endian, the leading 0x00 reads as an empty text and the count as 0x1500.
      {"no header", raw(noHeader.bytes()), "", order == Order::Little ? 21u : 0u, 0, false},
      {"count past the note", raw(ByteWriter(order).Text("Kestrelon").U8(0).U16(0).U16(50).U16(1).U16(kShort).U32(1).U32(0).Take()), "Kestrelon", 0, 0, false},
      {"entry of a type of no size", noteOf(E{1, kShort}, E{2, 0x0020}), "Kestrelon", 0, 0, false},
      {"value outside the block", noteOf(E{1, kShort}, E{2, kRational}), "Kestrelon", 0, 0, false},
      {"no room for a count", raw({'K', 'e', 's', 't', 'r', 'e', 'l', 0, 1, 0, 1, 0}), "Kestrel", 0, 0, false},
      {"text longer than any header", raw(Bytes(100, 'A')), std::string(63, 'A'), 0, 0, false},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    MakerNoteRecipe recipe;
    recipe.order = order;
    recipe.rawNote = row.note;
    made_ = MakeMakerNoteFile(recipe);
    const std::string f = dir_.Put("a.jpg", made_.file), copy = dir_.File("copy.jpg");
    MakerNoteLists n;
    const auto& [header, tags, values] = n;
    ASSERT_EQ(n.Read(f), LF_S_OK);
    EXPECT_EQ(n.Header(), row.header);
    EXPECT_EQ(static_cast<size_t>(tags.size), row.tags);
    const uint32_t at = made_.noteOffset;
    // An edit needs a directory that reads whole; it takes offsets as the lookups give them.
    EXPECT_EQ(SetMakerNote(copy.c_str(), f.c_str(), header.text, 0x0001, kShort, 1, 9),
              row.tags ? LF_S_OK : LF_E_FAIL);
    EXPECT_EQ(platform::FileExists(copy), row.tags != 0);
    if (row.tags) {
      EXPECT_EQ(MakerValue(copy, nullptr, 0x0001).bytes[0], 9);
    }
    (void)platform::DeleteFile(copy);  // absent on the first run
    if (row.valueAt) {
      ASSERT_EQ(tags.size, 2);
      EXPECT_EQ(values.data[0], 7u);
      EXPECT_EQ(values.data[1], at + row.valueAt);
      const Value v = MakerValue(f, header.text, 0x0002, 8);
      uint32_t rational[2] = {};
      ASSERT_EQ(v.size, sizeof rational);
      std::memcpy(rational, v.bytes.data(), sizeof rational);
      EXPECT_EQ(rational[0], 5u);
      EXPECT_EQ(rational[1], 4u);
      EXPECT_EQ(MakerValue(f, header.text, 0x0002, 4).size, 0u);  // smaller than one value
      EXPECT_EQ(SetMakerNote(copy.c_str(), f.c_str(), header.text, 0x0002, kRational, 1,
                             at + row.valueAt),
                LF_S_OK);
      EXPECT_EQ(ReadFile(copy).size(), made_.file.size());
      for (const uint32_t outside :
           {0xFFFFFF00u, row.fromNote ? at + row.valueAt + 4 : 0xFFFFFF00u}) {
        EXPECT_EQ(SetMakerNote(copy.c_str(), f.c_str(), header.text, 0x0002, kRational, 1, outside),
                  LF_E_FAIL);
      }
      (void)platform::DeleteFile(copy);  // as above
    }
  }
  // Four bytes are no maker note; one past the block or the file has no entries; none is edited.
  for (const uint32_t count : {4u, 2000u, 0xFFFFFFF0u}) {
    SCOPED_TRACE(count);
    TiffBuilder t(order);
    t.Ifd0().Pointer(0x8769, t.AddDirectory());
    if (count == 4) {
      t.Dir(1).Undefined(0x927C, {2, 0, 0, 0});
    } else {
      t.Dir(1).RawEntry(0x927C, kUndefined, count, 8);
    }
    const Bytes file = JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8)).Build();
    const std::string f = dir_.Put("short.jpg", file);
    MakerNoteLists n;
    EXPECT_EQ(n.Read(f), count == 4 ? LF_E_FAIL : LF_S_OK);
    EXPECT_EQ(n.tags.size, 0);
    EXPECT_EQ(MakerValue(f, nullptr, 0x0001).result, LF_E_FAIL);
    EXPECT_EQ(SetMakerNote(f.c_str(), f.c_str(), "", 0x0001, kShort, 1, 5), LF_E_FAIL);
    EXPECT_EQ(ReadFile(f), file);
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, MakerNoteValuesTest,
                         ::testing::Values(Order::Little, Order::Big), [](const auto& info) {
                           return info.param == Order::Little ? "II" : "MM";
                         });

}  // namespace
}  // namespace lf::test
