// SPDX-License-Identifier: MIT
#include "exif/model/byte_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "exif/model/byte_source.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

// Byte-order primitives are exercised by every fixture in both orders; the cursor's sticky error
// and the overflow checks are not.
TEST(ByteReader, StickyCursorAndRangesThatWouldOverflow) {
  std::vector<uint8_t> data(10, 0);  // tag, type, count of one entry, then a cut value field
  const MutableByteView w(data.data(), data.size(), kBigEndian);
  ASSERT_TRUE(w.WriteU16(0, 0x0112) && w.WriteU16(2, 3) && w.WriteU32(4, 1));
  Cursor c(w.view());
  EXPECT_TRUE(c.U16() == 0x0112 && c.U16() == 3 && c.U32() == 1u);
  EXPECT_EQ(c.U32(), 0u);  // only 2 bytes left
  EXPECT_EQ(c.U16(), 0);   // would fit, but the error sticks
  EXPECT_TRUE(!c.ok() && c.Bytes(1).empty() && c.offset() == 8u && c.remaining() == 0u);

  std::fill(data.begin(), data.end(), 0xEE);
  EXPECT_TRUE(w.view().Pointer(0xFFFFFFFEu, 5) == nullptr && w.view().Sub(9, 2).empty());
  EXPECT_FALSE(w.WriteU32(7, 0) || w.WriteU8(10, 0) || w.Fill(6, 0, 5) ||
               w.WriteBytes(UINT64_MAX, "x", 1));
  EXPECT_EQ(data, std::vector<uint8_t>(10, 0xEE));
  Cursor skip(w.view(), 4);
  skip.Skip(UINT64_MAX);
  EXPECT_FALSE(skip.ok());
  uint32_t out = 99;
  EXPECT_FALSE(CheckedMul(0x40000001, 4, &out));  // would wrap to 4 and look inline
  EXPECT_TRUE(CheckedMul(0x3FFFFFFF, 4, &out) && out == 0xFFFFFFFCu);
  EXPECT_FALSE(CheckedAdd(0xFFFFFFF0u, 0x10, &out));
}

// The same rows over memory and over a file: a short read at the end, nothing past it.
TEST(ByteSource, MemoryAndFileAnswerAlikeAndAFailedReadSticks) {
  const test::Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  test::TempDir dir;
  const std::string path = dir.Put("s.bin", data);
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  MemorySource memory(data.data(), data.size());
  FileSource onDisk(file, data.size());
  // position, count, count read, whole
  const struct {
    uint64_t pos;
    size_t n, got;
    bool exact;
  } rows[] = {{0, 4, 4, 1}, {8, 4, 2, 0}, {10, 1, 0, 0}, {3, 0, 0, 1}, {UINT64_MAX, 2, 0, 0}};
  for (ByteSource* source : std::array<ByteSource*, 2>{&memory, &onDisk}) {
    uint8_t out[8] = {};
    size_t got = 99;
    for (const auto& r : rows) {
      EXPECT_TRUE(source->ReadUpTo(r.pos, out, r.n, &got) && got == r.got) << r.pos;
      EXPECT_EQ(out[0], got ? data[r.pos] : out[0]);
      EXPECT_EQ(source->ReadAt(r.pos, out, r.n), r.exact) << r.pos;
    }
    source->Seek(7);
    EXPECT_TRUE(source->Read(out, sizeof out, &got) && got == 3 && out[0] == 8);
    EXPECT_TRUE(source->Read(out, sizeof out, &got) && got == 0 && source->position() == 10);
    EXPECT_FALSE(source->failed());
  }
  platform::InjectFault(platform::Service::Read, 1, platform::kErrorReadFault);
  uint8_t byte = 0;
  EXPECT_FALSE(onDisk.ReadAt(0, &byte, 1));
  platform::ClearFaults();
  size_t got = 1;
  EXPECT_FALSE(onDisk.ReadUpTo(0, &byte, 1, &got) || got != 0);  // without asking the file again
  EXPECT_TRUE(onDisk.failed());

  // Whole files: the error of the step that failed, nothing kept.
  std::vector<uint8_t> bytes{9};
  EXPECT_TRUE(!platform::ReadWholeFile(dir.File("none"), &bytes) && platform::LastError() == 2);
  EXPECT_FALSE(platform::ReadWholeFile(path, &bytes, 9));  // longer than allowed
  EXPECT_EQ(platform::LastError(), platform::kErrorNotEnoughMemory);
  platform::InjectFault(platform::Service::Read, 1, platform::kErrorReadFault);
  EXPECT_FALSE(platform::ReadWholeFile(path, &bytes));
  platform::ClearFaults();
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(platform::ReadWholeFile(path, &bytes, 10) && bytes == data);
}

}  // namespace
}  // namespace lf::exif
