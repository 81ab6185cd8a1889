// SPDX-License-Identifier: MIT
// The metadata segments of a JPEG photo that stay with it when its picture is replaced: the
// new picture brings its own coding segments and scan, but IPTC and other application data, an
// ICC profile, FlashPix data and comments describe the photo, not the old compressed stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lf::edit {

// One whole segment as it is written: marker, length word and payload.
using JpegSegmentBytes = std::vector<uint8_t>;

// Data behind a JPEG image's EOI: file offsets [start, end); start 0 when every byte there is 0.
struct JpegTrailer {
  uint64_t start = 0, end = 0;
};

// The segments of `photoPath` (a JPEG with an APP1 "Exif") that a file made of its EXIF block and
// the stream of `picturePath` keeps, in their order: every APPn from APP2 on and every COM up to
// the first scan, except those that describe the old picture (APP2 "MPF", its list of images; APP14
// "Adobe", the colour transform of its coding) and those of a kind the new picture already has
// (same marker and identifier). With `needTrailer`, *trailer receives the data behind the old
// image's end. False when a file cannot be read or the photo has a segment
// that neither the new stream nor the kept ones can carry (another APP1, such as XMP, which would
// have to follow the new EXIF segment).
[[nodiscard]] bool KeptMetadataSegments(const std::string& photoPath,
                                        const std::string& picturePath, bool needTrailer,
                                        std::vector<JpegSegmentBytes>* kept, JpegTrailer* trailer);

}  // namespace lf::edit
