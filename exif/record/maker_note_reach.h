// Whether a maker note names a JPEG image that lies behind its APP1 segment in the file. Some
// cameras keep a preview after the main image's end and name it from the maker note, by an offset
// that counts from the TIFF header or from the maker note itself; growing the segment would move
// that preview away from the offset, which only the maker's own reader knows how to correct.
#pragma once

#include <cstdint>

#include "exif/model/byte_reader.h"

namespace lf::record {

// `tiff` is the segment's TIFF data (its end is the segment's end); `behind` is the rest of the
// file. True when a LONG value of the maker-note directory (or the offset of one of its
// out-of-line values), counted from either base, lands on a JPEG start of image in `behind`.
bool MakerNoteNamesImageBehind(exif::ByteView tiff, exif::ByteView behind);

}  // namespace lf::record
