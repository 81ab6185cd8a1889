// SPDX-License-Identifier: MIT
// The one JPEG marker walk. It yields the segments of a stream as (offset, marker, length)
// records, from memory or from a file read a few bytes at a time, up to the first SOS or EOI; and
// the one walk past the scan, which follows the entropy-coded data to the EOI that ends the image
// and looks at what trails it.
//
// Readers of JPEG files differ in what they forgive (a missing 0xFF, a length word cut by the end
// of the file, a length below 2, a flood of tiny segments), and a tolerance is part of each
// caller's contract. So the walk takes its tolerances as named options rather than choosing them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exif/model/byte_reader.h"
#include "exif/model/byte_source.h"

namespace lf::exif {

// Real JPEG streams carry a few dozen segments before their first scan; walks stop at this many, so
// a hostile file of tiny "segments" cannot turn one into a crawl of a file-layer call per 4 bytes.
inline constexpr uint32_t kMaxJpegSegments = 1u << 16;

inline constexpr uint16_t kJpegSoi = 0xFFD8;
inline constexpr uint16_t kJpegEoi = 0xFFD9;
inline constexpr uint16_t kJpegSos = 0xFFDA;
inline constexpr uint16_t kJpegSof0 = 0xFFC0;
inline constexpr uint16_t kJpegApp0 = 0xFFE0;
inline constexpr uint16_t kJpegApp1 = 0xFFE1;
inline constexpr uint16_t kJpegApp2 = 0xFFE2;
inline constexpr uint16_t kJpegApp6 = 0xFFE6;
inline constexpr uint16_t kJpegApp14 = 0xFFEE;
inline constexpr uint16_t kJpegApp15 = 0xFFEF;
inline constexpr uint16_t kJpegCom = 0xFFFE;

struct JpegScanOptions {
  // Where the first marker is looked for (2 steps over an SOI the caller has checked).
  uint64_t start = 0;
  // A marker must begin with 0xFF; any other byte ends the walk.
  bool requireFfPrefix = false;
  // SOI has no length word, wherever it appears; otherwise an SOI after the start is read as a
  // segment with one, as other markers are.
  bool standaloneSoi = false;
  // A length word of which only the first byte is left stands for the rest of the data; a marker
  // with no byte behind it is then not looked at. Otherwise a cut length word ends the walk
  // (JpegScanEnd::kCutLength).
  bool cutLengthRunsToEnd = false;
  // A length below 2, which cannot count its own two bytes, ends the walk after that segment;
  // otherwise the walk steps over the 2 + length bytes it claims.
  bool shortLengthEnds = false;
  // At most this many records (0: no limit); hostile files made of tiny segments stay cheap.
  uint32_t maxSegments = 0;
  // A marker beyond this offset ends the walk (for callers that keep 32-bit positions).
  uint64_t maxOffset = UINT64_MAX;
};

// Why the walk ended.
enum class JpegScanEnd {
  kNotEnded,
  kEndOfData,    // fewer bytes left than a marker needs
  kStopMarker,   // the last record was the SOS or EOI that ends every walk
  kCutLength,    // a length word cut by the end of the data (without cutLengthRunsToEnd)
  kNoPrefix,     // a marker not beginning with 0xFF (with requireFfPrefix)
  kShortLength,  // the last record had a length below 2 (with shortLengthEnds)
  kSegmentCap,   // maxSegments records were yielded
  kOffsetLimit,  // the next marker lies beyond maxOffset
  kReadError,    // the source failed a read
};

struct JpegSegment {
  uint64_t offset = 0;  // of the marker's 0xFF
  uint16_t marker = 0;
  // The length word, which counts itself but not the marker. Absent for SOI (when standalone) and
  // EOI, and for an SOS whose length word the end of the data cuts: the walk ends there anyway.
  bool hasLength = false;
  uint16_t length = 0;
  uint64_t next = 0;  // where the walk looks for the next marker
};

class JpegSegmentScanner {
 public:
  JpegSegmentScanner(ByteSource& source, const JpegScanOptions& options)
      : source_(source), options_(options), pos_(options.start) {}

  // The next segment into *out; false once the walk has ended. end() says why, and is set as soon
  // as the last record is yielded. Reads only the marker and length word, and only when asked for
  // the next record, so a caller may read payloads (or move a shared file) between records.
  [[nodiscard]] bool Next(JpegSegment* out);
  JpegScanEnd end() const { return end_; }

 private:
  [[nodiscard]] bool Finish(JpegScanEnd why) {
    end_ = why;
    return false;
  }

  ByteSource& source_;
  JpegScanOptions options_;
  uint64_t pos_;
  uint32_t count_ = 0;
  JpegScanEnd end_ = JpegScanEnd::kNotEnded;
};

// Which markers may stand in entropy-coded data besides a stuffed 0, a restart marker, fill bytes
// and the EOI that ends the image. Readers differ here as in the segment walk.
enum class ScanMarkers {
  kAny,       // any other byte behind 0xFF is image data
  kSegments,  // any other marker begins a segment (between progressive scans) that is stepped over
  kTables,    // DHT and DQT segments are stepped over and a repeated SOS marker passes; any other
              // marker breaks the image
  kNone,      // any other marker breaks the image: a single scan
};

// Follows the bytes behind an SOS, fed in order in pieces of any size, to the EOI that ends the
// image; with watchTrailer it goes on to note whether any byte behind the EOI is not 0 (data a
// maker appended, such as a preview). Cheap on entropy-coded data: it jumps from 0xFF to 0xFF.
class JpegImageEnd {
 public:
  // `at` is the offset of the first byte fed.
  JpegImageEnd(uint64_t at, ScanMarkers markers, bool watchTrailer = false)
      : markers_(markers), watchTrailer_(watchTrailer), fed_(at) {}
  // Every byte fed lies behind the image, from `at` on.
  static JpegImageEnd Behind(uint64_t at);

  void Feed(const uint8_t* p, size_t n);
  // Whether the bytes fed so far decide the answer: nothing fed later changes it.
  bool decided() const { return state_ == State::kDone || state_ == State::kBroken; }

  // The EOI was found at eoi() (its 0xFF); the image's bytes end 2 bytes later.
  bool found() const { return state_ == State::kTrailer || state_ == State::kDone; }
  bool broken() const { return state_ == State::kBroken; }
  uint64_t eoi() const { return eoi_; }
  // Where the bytes behind the image begin, and whether any of them fed so far is not 0.
  uint64_t trailerStart() const { return eoi_ + 2; }
  bool trailerHoldsData() const { return trailerData_; }

 private:
  enum class State { kData, kMarker, kLengthHigh, kLengthLow, kSkip, kTrailer, kDone, kBroken };
  bool MarkerIsData(uint8_t b) const;
  bool MarkerHasLength(uint8_t b) const;

  ScanMarkers markers_;
  bool watchTrailer_;
  State state_ = State::kData;
  uint32_t skip_ = 0;
  bool trailerData_ = false;
  uint64_t fed_;
  uint64_t eoi_ = 0;
};

// The end of the image whose entropy-coded data begins at `from` in `bytes`.
JpegImageEnd FindJpegImageEnd(ByteView bytes, uint64_t from, ScanMarkers markers);

}  // namespace lf::exif
