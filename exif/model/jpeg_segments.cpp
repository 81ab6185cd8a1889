// SPDX-License-Identifier: MIT
#include "exif/model/jpeg_segments.h"

#include <algorithm>

namespace lf::exif {

bool ViewSource::ReadUpTo(uint64_t pos, uint8_t* out, size_t n, size_t* got) {
  *got = pos < bytes_.size() ? static_cast<size_t>(std::min<uint64_t>(n, bytes_.size() - pos)) : 0;
  return *got == 0 || bytes_.Copy(pos, out, *got);
}

bool FileSource::ReadUpTo(uint64_t pos, uint8_t* out, size_t n, size_t* got) {
  *got = 0;
  return file_.Seek(pos) && file_.Read(out, n, got);
}

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

}  // namespace lf::exif
