// SPDX-License-Identifier: MIT
// The JPEG segment walk: its records over memory and over a file, and each named tolerance on
// truncated and hostile streams.
#include "exif/model/jpeg_segments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/faults.h"
#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::JpegBuilder;

struct Walk {
  std::vector<JpegSegment> segments;
  JpegScanEnd end = JpegScanEnd::kNotEnded;
};

// Between records the file position is moved away, as a caller copying payloads does.
Walk WalkSource(ByteSource& source, const JpegScanOptions& options, platform::File* file = nullptr) {
  Walk w;
  JpegSegmentScanner scan(source, options);
  JpegSegment s;
  while (scan.Next(&s)) {
    w.segments.push_back(s);
    if (file) {
      EXPECT_TRUE(file->Seek(0));
    }
  }
  w.end = scan.end();
  EXPECT_FALSE(scan.Next(&s)) << "the walk stays ended";
  return w;
}

Walk WalkBytes(const Bytes& bytes, const JpegScanOptions& options = {}) {
  ViewSource source(ByteView(bytes.data(), bytes.size()));
  return WalkSource(source, options);
}

std::vector<uint16_t> Markers(const Walk& w) {
  std::vector<uint16_t> m;
  for (const JpegSegment& s : w.segments) m.push_back(s.marker);
  return m;
}

TEST(JpegSegments, MemoryAndFileYieldTheSameRecordsUpToTheScan) {
  const Bytes jpeg = JpegBuilder()
                         .Soi()
                         .App0Jfif()
                         .Segment(0xE1, Bytes(300, 0xAB))
                         .BodyOf(test::EncodeJpeg(8, 8))
                         .Build();
  const Walk memory = WalkBytes(jpeg, {.standaloneSoi = true});
  ASSERT_GE(memory.segments.size(), 4u);
  EXPECT_EQ(memory.end, JpegScanEnd::kStopMarker);
  const JpegSegment& app1 = memory.segments[2];
  EXPECT_EQ(app1.marker, kJpegApp1);
  EXPECT_EQ(app1.offset, 2u + 18u);  // SOI, then the 18-byte JFIF segment
  EXPECT_TRUE(app1.hasLength);
  EXPECT_EQ(app1.length, 302);
  EXPECT_EQ(app1.next, app1.offset + 2 + 302);
  const JpegSegment& sos = memory.segments.back();
  EXPECT_EQ(sos.marker, kJpegSos);
  EXPECT_TRUE(sos.hasLength);
  EXPECT_EQ(jpeg[sos.offset], 0xFF);
  EXPECT_EQ(jpeg[sos.offset + 1], 0xDA);

  test::TempDir dir;
  const std::string path = dir.File("a.jpg");
  test::WriteFile(path, jpeg);
  platform::File file = platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  ASSERT_TRUE(file);
  FileSource source(file, jpeg.size());
  const Walk fromFile = WalkSource(source, {.start = 2}, &file);
  const Walk fromMemory = WalkBytes(jpeg, {.start = 2});
  ASSERT_EQ(fromFile.segments.size(), fromMemory.segments.size());
  for (size_t i = 0; i < fromFile.segments.size(); ++i) {
    EXPECT_EQ(fromFile.segments[i].offset, fromMemory.segments[i].offset) << i;
    EXPECT_EQ(fromFile.segments[i].marker, fromMemory.segments[i].marker) << i;
    EXPECT_EQ(fromFile.segments[i].length, fromMemory.segments[i].length) << i;
  }
  EXPECT_EQ(fromFile.end, JpegScanEnd::kStopMarker);
}

TEST(JpegSegments, AFailingFileReadEndsTheWalkAsAReadError) {
  test::TempDir dir;
  const Bytes jpeg = JpegBuilder().Soi().Segment(0xE2, {1, 2}).Eoi().Build();
  const std::string path = dir.File("a.jpg");
  test::WriteFile(path, jpeg);
  platform::File file = platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  ASSERT_TRUE(file);
  FileSource source(file, jpeg.size());
  platform::ClearFaults();
  platform::InjectFault(platform::Service::Read, 2, platform::kErrorReadFault);
  const Walk w = WalkSource(source, {.standaloneSoi = true});
  platform::ClearFaults();
  EXPECT_EQ(Markers(w), (std::vector<uint16_t>{kJpegSoi}));
  EXPECT_EQ(w.end, JpegScanEnd::kReadError);
}

TEST(JpegSegments, AnSoiStandsAloneOnlyWhenAsked) {
  const Bytes twoStarts = JpegBuilder().Soi().Soi().Segment(0xE2, {}).Eoi().Build();
  EXPECT_EQ(Markers(WalkBytes(twoStarts, {.standaloneSoi = true})),
            (std::vector<uint16_t>{kJpegSoi, kJpegSoi, kJpegApp2, kJpegEoi}));
  // Otherwise the second SOI takes the APP2 marker for its length and runs past the end.
  const Walk withLength = WalkBytes(twoStarts, {.start = 2});
  ASSERT_EQ(Markers(withLength), (std::vector<uint16_t>{kJpegSoi}));
  EXPECT_EQ(withLength.segments[0].length, 0xFFE2);
  EXPECT_EQ(withLength.end, JpegScanEnd::kEndOfData);
}

TEST(JpegSegments, StopsAtTheFirstScanOrImageEnd) {
  const Bytes tail = {0xFF, 0xE1, 0x00, 0x02};
  Bytes eoi = JpegBuilder().Soi().Eoi().Raw(tail).Build();
  EXPECT_EQ(Markers(WalkBytes(eoi, {.standaloneSoi = true})), (std::vector<uint16_t>{kJpegSoi, kJpegEoi}));
  // An SOS is yielded even when the end of the data cuts its length word.
  const Walk sos = WalkBytes({0xFF, 0xD8, 0xFF, 0xDA, 0x00}, {.standaloneSoi = true});
  ASSERT_EQ(Markers(sos), (std::vector<uint16_t>{kJpegSoi, kJpegSos}));
  EXPECT_FALSE(sos.segments[1].hasLength);
  EXPECT_EQ(sos.end, JpegScanEnd::kStopMarker);
}

TEST(JpegSegments, TruncatedLengthWords) {
  const Bytes oneByte = {0xFF, 0xD8, 0xFF, 0xE1, 0x00};
  const Bytes noByte = {0xFF, 0xD8, 0xFF, 0xE1};
  EXPECT_EQ(WalkBytes(oneByte, {.start = 2}).end, JpegScanEnd::kCutLength);
  EXPECT_EQ(WalkBytes(noByte, {.start = 2}).end, JpegScanEnd::kCutLength);
  // Running to the end: one byte of the word stands for the rest of the data; none leaves the
  // marker unread.
  const Walk rest = WalkBytes(oneByte, {.start = 2, .cutLengthRunsToEnd = true});
  ASSERT_EQ(rest.segments.size(), 1u);
  EXPECT_EQ(rest.segments[0].length, 1);
  EXPECT_EQ(rest.segments[0].next, oneByte.size());
  EXPECT_EQ(rest.end, JpegScanEnd::kEndOfData);
  const Walk none = WalkBytes(noByte, {.start = 2, .cutLengthRunsToEnd = true});
  EXPECT_TRUE(none.segments.empty());
  EXPECT_EQ(none.end, JpegScanEnd::kEndOfData);
  // A length past the end is yielded as it stands; the walk ends behind it.
  const Walk past = WalkBytes({0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 0x01}, {.start = 2});
  ASSERT_EQ(past.segments.size(), 1u);
  EXPECT_EQ(past.segments[0].next, 4u + 0x4000);
  EXPECT_EQ(past.end, JpegScanEnd::kEndOfData);
}

TEST(JpegSegments, HostileSegments) {
  // No 0xFF: read as a marker unless the prefix is required.
  const Bytes noPrefix = JpegBuilder().Soi().Raw({0x12, 0xE1, 0x00, 0x02}).Eoi().Build();
  EXPECT_EQ(Markers(WalkBytes(noPrefix, {.start = 2})), (std::vector<uint16_t>{0x12E1, kJpegEoi}));
  const Walk strict = WalkBytes(noPrefix, {.start = 2, .requireFfPrefix = true});
  EXPECT_TRUE(strict.segments.empty());
  EXPECT_EQ(strict.end, JpegScanEnd::kNoPrefix);

  // A length below 2 steps over 2 + length bytes: length 0 makes the length word the next marker.
  const Bytes shortLength = JpegBuilder().Soi().SegmentWithLength(0xE0, 0, {0x00, 0x02}).Build();
  const Walk stepped = WalkBytes(shortLength, {.start = 2});
  ASSERT_EQ(stepped.segments.size(), 2u);
  EXPECT_EQ(stepped.segments[1].offset, 4u);
  EXPECT_EQ(stepped.segments[1].marker, 0x0000);
  const Walk ended = WalkBytes(shortLength, {.start = 2, .shortLengthEnds = true});
  EXPECT_EQ(Markers(ended), (std::vector<uint16_t>{kJpegApp0}));
  EXPECT_EQ(ended.end, JpegScanEnd::kShortLength);

  // A flood of tiny segments stops at the cap.
  JpegBuilder flood;
  flood.Soi();
  for (int i = 0; i < 10; ++i) flood.Segment(0xFE, {});
  const Walk capped = WalkBytes(flood.Build(), {.start = 2, .maxSegments = 4});
  EXPECT_EQ(capped.segments.size(), 4u);
  EXPECT_EQ(capped.end, JpegScanEnd::kSegmentCap);
  const Walk limited = WalkBytes(flood.Build(), {.start = 2, .maxOffset = 10});
  EXPECT_EQ(limited.segments.size(), 3u);  // at offsets 2, 6 and 10
  EXPECT_EQ(limited.end, JpegScanEnd::kOffsetLimit);
}

}  // namespace
}  // namespace lf::exif
