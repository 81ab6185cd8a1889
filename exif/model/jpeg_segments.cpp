// SPDX-License-Identifier: MIT
#include "exif/model/jpeg_segments.h"

#include <algorithm>
#include <cstring>

namespace lf::exif {

bool JpegSegmentScanner::Next(JpegSegment* out) {
  if (end_ != JpegScanEnd::kNotEnded) return false;
  if (options_.maxSegments != 0 && count_ >= options_.maxSegments) {
    return Finish(JpegScanEnd::kSegmentCap);
  }
  // With cutLengthRunsToEnd a marker is only worth reading with a length byte behind it.
  const uint64_t size = source_.size();
  if (!InRange(size, pos_, options_.cutLengthRunsToEnd ? 3 : 2)) {
    return Finish(JpegScanEnd::kEndOfData);
  }
  if (pos_ > options_.maxOffset) return Finish(JpegScanEnd::kOffsetLimit);

  // Always ask for the whole marker and length word: a file source makes one read either way.
  uint8_t bytes[4];
  size_t got = 0;
  if (!source_.ReadUpTo(pos_, bytes, sizeof bytes, &got)) return Finish(JpegScanEnd::kReadError);
  const ByteView head(bytes, std::min(got, sizeof bytes));
  bool whole = false;
  JpegSegment s;
  s.offset = pos_;
  s.marker = head.ReadU16BE(0, &whole);
  if (!whole) return Finish(JpegScanEnd::kEndOfData);
  if (options_.requireFfPrefix && head.ReadU8(0) != 0xFF) return Finish(JpegScanEnd::kNoPrefix);

  const bool stop = s.marker == kJpegSos || s.marker == kJpegEoi;
  if (s.marker == kJpegEoi || (s.marker == kJpegSoi && options_.standaloneSoi)) {
    s.next = pos_ + 2;
  } else if (s.length = head.ReadU16BE(2, &whole); whole) {
    s.hasLength = true;
    s.next = pos_ + 2 + s.length;
  } else if (options_.cutLengthRunsToEnd) {
    s.hasLength = true;
    s.length = static_cast<uint16_t>(size - pos_ - 2);
    s.next = size;
  } else if (stop) {
    s.next = size;
  } else {
    return Finish(JpegScanEnd::kCutLength);
  }

  ++count_;
  pos_ = s.next;
  if (stop) {
    end_ = JpegScanEnd::kStopMarker;
  } else if (options_.shortLengthEnds && s.hasLength && s.length < 2) {
    end_ = JpegScanEnd::kShortLength;
  }
  *out = s;
  return true;
}

JpegImageEnd JpegImageEnd::Behind(uint64_t at) {
  JpegImageEnd e(at, ScanMarkers::kAny, true);
  e.state_ = State::kTrailer;
  e.eoi_ = at - 2;
  return e;
}

bool JpegImageEnd::MarkerIsData(uint8_t b) const {
  if (b == 0x00 || (b >= 0xD0 && b <= 0xD7)) return true;
  return markers_ == ScanMarkers::kAny || (markers_ == ScanMarkers::kTables && b == 0xDA);
}

bool JpegImageEnd::MarkerHasLength(uint8_t b) const {
  return markers_ == ScanMarkers::kSegments ||
         (markers_ == ScanMarkers::kTables && (b == 0xC4 || b == 0xDB));
}

void JpegImageEnd::Feed(const uint8_t* p, size_t n) {
  const uint64_t at = fed_;
  fed_ += n;
  for (size_t i = 0; i < n && !decided(); ++i) {
    if (state_ == State::kData) {
      // Most of a scan is entropy-coded data: jump to its next 0xFF.
      const void* ff = std::memchr(p + i, 0xFF, n - i);
      if (!ff) return;
      i = static_cast<size_t>(static_cast<const uint8_t*>(ff) - p);
    }
    const uint8_t b = p[i];
    switch (state_) {
      case State::kData: state_ = State::kMarker; break;
      case State::kMarker:
        if (b == 0xD9) {
          eoi_ = at + i - 1;
          state_ = watchTrailer_ ? State::kTrailer : State::kDone;
        } else if (b == 0xFF) {
          // fill bytes: still a marker
        } else if (MarkerIsData(b)) {
          state_ = State::kData;
        } else if (MarkerHasLength(b)) {
          state_ = State::kLengthHigh;
        } else {
          state_ = State::kBroken;
        }
        break;
      case State::kLengthHigh:
        skip_ = uint32_t{b} << 8;
        state_ = State::kLengthLow;
        break;
      case State::kLengthLow:
        // The length word counts itself; one below 2 skips nothing.
        skip_ |= b;
        skip_ = skip_ >= 2 ? skip_ - 2 : 0;
        state_ = skip_ ? State::kSkip : State::kData;
        break;
      case State::kSkip: {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(skip_, n - i));
        skip_ -= static_cast<uint32_t>(step);
        i += step - 1;
        if (skip_ == 0) state_ = State::kData;
        break;
      }
      case State::kTrailer:
        if (b != 0) {
          trailerData_ = true;
          state_ = State::kDone;
        }
        break;
      case State::kDone:
      case State::kBroken: break;
    }
  }
}

JpegImageEnd FindJpegImageEnd(ByteView bytes, uint64_t from, ScanMarkers markers) {
  JpegImageEnd end(from, markers);
  if (from < bytes.size()) end.Feed(bytes.data() + from, bytes.size() - from);
  return end;
}

}  // namespace lf::exif
