// SPDX-License-Identifier: MIT
// Files and EXIF thumbnails into bitmaps, bitmaps into packed DIB blocks and back, with the checks
// the module makes before it lets the toolkit read a file.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/toolkit.h"
#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::imaging {

// The byte size assumed for a packed DIB from its 40-byte header: header, rows of
// ((width × bits + 31) / 32) × 4 bytes, a colour table of 4 × 2^bits bytes when 0 < bits < 16
// (the used-colours count is not consulted), and 12 bytes of masks for compression 3. The
// arithmetic is signed, as the header fields are; a negative height gives a size below 40.
int64_t PackedDibSize(const uint8_t* header, size_t available);

// Loads an image file at `bits` per pixel after the checks for its kind (by extension): a JPEG
// must pass the stream check, other kinds their signature; a BMP of 54 bytes or less and an
// uncompressed TIFF not larger than its raw pixels are refused. kToolkitSuccess loaded (the caller
// frees the bitmap), kToolkitRefused refused or unreadable, or a negative toolkit code. With
// `cover` a JPEG may be decoded smaller, as far as it allows.
[[nodiscard]] int LoadImageFile(const char* path, ToolkitBitmap* bitmap, int32_t bits,
                                const CoverSize& cover = {});

// Loads the EXIF thumbnail of a JPEG or TIFF file (which must be a JPEG stream) at 24 bits.
// The same results as LoadImageFile.
[[nodiscard]] int LoadExifThumbnail(const char* path, ToolkitBitmap* bitmap, int32_t bits);

// Hands a copy of the host's packed DIB to the toolkit as `bitmap`. The host's block is neither
// changed nor freed. S_OK, E_INVALIDARG or E_FAIL.
[[nodiscard]] HRESULT DibToBitmap(LF_HGLOBAL image, ToolkitBitmap* bitmap);

// Lends the host's image to `use` as a bitmap that is only read and is gone when `use` returns. A
// block of bottom-up 24-bit rows without compression is lent where it lies, without copying its
// rows (a large picture made into a thumbnail is read once); any other block is read as
// DibToBitmap reads it. `use`'s result; E_INVALIDARG or E_FAIL as DibToBitmap gives them, and
// E_FAIL for an image without pixels.
[[nodiscard]] HRESULT UseHostImage(LF_HGLOBAL image,
                                   const std::function<HRESULT(const ToolkitBitmap*)>& use);

// Whether DibToBitmap would take the host's block, judged from its header and size alone (for
// callers that pass the block on as it is). S_OK, E_INVALIDARG or E_FAIL.
[[nodiscard]] HRESULT CheckHostDib(LF_HGLOBAL image);

}  // namespace lf::imaging
