// SPDX-License-Identifier: MIT
// The segment walk over memory and a file, and the walk past the scan, under each tolerance.
#include "exif/model/jpeg_segments.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/faults.h"
#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using E = JpegScanEnd;

struct Walk {
  std::vector<uint16_t> markers;
  uint64_t lastNext = 0;
  JpegScanEnd end = E::kNotEnded;
  bool operator==(const Walk&) const = default;
};

// Between records the file position is moved away, as a caller copying payloads does.
Walk WalkSource(ByteSource& source, const JpegScanOptions& options, platform::File* file) {
  Walk w;
  JpegSegmentScanner scan(source, options);
  for (JpegSegment s; scan.Next(&s); w.lastNext = s.next) {
    w.markers.push_back(s.marker);
    EXPECT_TRUE(!file || file->Seek(0));
  }
  w.end = scan.end();
  return w;
}

TEST(JpegSegments, WalksMemoryAndFileAlike) {
  const Bytes twoSoi = test::JpegBuilder().Soi().Soi().App(2, {}).Eoi().Raw({0xFF, 0xE1}).Build();
  const Bytes cut = {0xFF, 0xD8, 0xFF, 0xE1, 0x00}, noLength = {0xFF, 0xD8, 0xFF, 0xE1};
  const Bytes noPrefix = test::JpegBuilder().Soi().Raw({0x12, 0xE1, 0x00, 0x02}).Eoi().Build();
  const Bytes short0 = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0x00, 0x02};
  Bytes flood = {0xFF, 0xD8};
  for (int i = 0; i < 10; ++i) flood.insert(flood.end(), {0xFF, 0xFE, 0x00, 0x02});
  const JpegScanOptions from2{.start = 2}, alone{.standaloneSoi = true};
  const JpegScanOptions runs{.start = 2, .cutLengthRunsToEnd = true};
  const JpegScanOptions cap{.start = 2, .maxSegments = 4}, limit{.start = 2, .maxOffset = 10};
  const struct {
    Bytes bytes;
    JpegScanOptions options;
    Walk want;
  } rows[] = {
      {twoSoi, alone, {{kJpegSoi, kJpegSoi, kJpegApp2, kJpegEoi}, 10, E::kStopMarker}},
      // Otherwise the second SOI takes the APP2 marker for its length and runs past the end.
      {twoSoi, from2, {{kJpegSoi}, 4u + 0xFFE2, E::kEndOfData}},
      // An SOS is yielded even when the end cuts its length word.
      {{0xFF, 0xD8, 0xFF, 0xDA, 0x00}, alone, {{kJpegSoi, kJpegSos}, 5, E::kStopMarker}},
      {cut, from2, {{}, 0, E::kCutLength}},
      {cut, runs, {{kJpegApp1}, 5, E::kEndOfData}},  // one byte stands for the rest
      {noLength, runs, {{}, 0, E::kEndOfData}},      // a marker alone is not read
      {{0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 0x01}, from2, {{kJpegApp1}, 0x4004, E::kEndOfData}},
      {noPrefix, from2, {{0x12E1, kJpegEoi}, 8, E::kStopMarker}},
      {noPrefix, {.start = 2, .requireFfPrefix = true}, {{}, 0, E::kNoPrefix}},
      // A length below 2 steps over 2 + length bytes: length 0 makes its word the next marker.
      {short0, from2, {{kJpegApp0, 0x0000}, 8, E::kEndOfData}},
      {short0, {.start = 2, .shortLengthEnds = true}, {{kJpegApp0}, 4, E::kShortLength}},
      {flood, cap, {std::vector<uint16_t>(4, kJpegCom), 18, E::kSegmentCap}},
      {flood, limit, {std::vector<uint16_t>(3, kJpegCom), 14, E::kOffsetLimit}},
  };
  test::TempDir dir;
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &r - rows);
    MemorySource memory(ByteView(r.bytes.data(), r.bytes.size()));
    EXPECT_EQ(WalkSource(memory, r.options, nullptr), r.want);
    platform::File file = platform::File::Open(dir.Put("a.jpg", r.bytes), platform::Access::Read,
                                               platform::Disposition::OpenExisting);
    FileSource onDisk(file, r.bytes.size());
    EXPECT_EQ(WalkSource(onDisk, r.options, &file), r.want);
    if (&r != rows) continue;
    FileSource failing(file, r.bytes.size());
    platform::InjectFault(platform::Service::Read, 2, 30);
    EXPECT_EQ(WalkSource(failing, r.options, nullptr), (Walk{{kJpegSoi}, 2, E::kReadError}));
    platform::ClearFaults();
  }
}

// Per rule (any, segments, tables, none): where the EOI's 0xFF lies, or kNo or kBroken; and
// whether a byte behind it is not 0.
TEST(JpegImageEnd, FollowsScanDataUnderEachRule) {
  constexpr int kNo = -1, kBroken = -2;
  const struct {
    Bytes scan;
    std::array<int, 4> eoi;
    bool trailer;
  } rows[] = {
      {{0x12, 0xFF, 0x00, 0xFF, 0xD3, 0xFF, 0xFF, 0xD9, 0, 0}, {6, 6, 6, 6}, false},  // stuffing
      {{0xFF, 0xC4, 0x00, 0x04, 0xFF, 0xD9, 0xFF, 0xD9, 0, 7}, {4, 6, 6, kBroken}, true},  // DHT
      {{0xFF, 0xDA, 0x01, 0xFF, 0xD9}, {3, kNo, 3, kBroken}, false},            // a repeated SOS
      {{0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xD9}, {4, 4, kBroken, kBroken}, false},  // an APP1
      {{0xFF, 0xC4, 0x00, 0x00, 0xFF, 0xD9}, {4, 4, 4, kBroken}, false},        // a length below 2
      {{0x01, 0xFF}, {kNo, kNo, kNo, kNo}, false},
  };
  const ScanMarkers rules[] = {ScanMarkers::kAny, ScanMarkers::kSegments, ScanMarkers::kTables,
                               ScanMarkers::kNone};
  for (const auto& r : rows) {
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(testing::Message() << "row " << &r - rows << ", rule " << i);
      // Fed whole from an offset, or byte by byte watching the trailer, the answer is the same.
      Bytes file(3, 0);
      file.insert(file.end(), r.scan.begin(), r.scan.end());
      JpegImageEnd pieces(3, rules[i], true);
      for (uint8_t b : r.scan) pieces.Feed(&b, 1);
      for (const JpegImageEnd& e : {FindJpegImageEnd(ByteView(file), 3, rules[i]), pieces}) {
        EXPECT_EQ(e.broken() ? kBroken : e.found() ? static_cast<int>(e.eoi()) - 3 : kNo, r.eoi[i]);
      }
      EXPECT_EQ(pieces.trailerHoldsData(), r.trailer && r.eoi[i] >= 0);
    }
  }
  JpegImageEnd behind = JpegImageEnd::Behind(50);
  behind.Feed(Bytes{0, 7}.data(), 2);
  EXPECT_TRUE(behind.trailerStart() == 50 && behind.trailerHoldsData() && behind.decided());
}

}  // namespace
}  // namespace lf::exif
