// SPDX-License-Identifier: MIT
// Putting a new picture into a file while keeping its EXIF data: a new thumbnail rendered from a
// host image (ReplaceThumbImage), a new main image with a thumbnail of it (ReplaceExifImage), and
// a new JPEG or TIFF file with an EXIF block built for it (EncodeWithExif, Encode's EXIF path).
//
// The host image is first saved into temporary picture files in the user's temporary directory,
// "PRM" (main image) and "THM" (thumbnail); the writer then takes image data and directory entries
// from them. Both files are deleted on every path before the call returns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "exif/edit/exif_writer.h"
#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::edit {

// The most an APP1 segment can carry behind "Exif" and its two 0 bytes: its 16-bit length counts
// itself, the six identifier bytes and this payload (JPEG, ITU T.81, B.1.1.4).
inline constexpr uint64_t kMaxApp1Payload = 0xFFFF - 8;
// Each retry lowers the thumbnail's JPEG quality by this much.
inline constexpr int32_t kThumbnailQualityStep = 5;

// ---- Writer steps

// Copies the writer's source block without its thumbnail and makes `newImagePath` (a JPEG or TIFF
// file of the source's own kind) the main image: *image names the file the image data is then
// copied from. A TIFF's IFD0 takes the new file's entries (its resolution and orientation stay);
// PixelXDimension and PixelYDimension, where present, become the new picture's size. 1 or 0.
[[nodiscard]] int ReplaceMainImageInOutput(ExifWriter& writer, const std::string& newImagePath,
                                           bool removeInterop, ImageSource* image);

// After a main-image replacement: print-matching data made for the old picture goes, IFD0's
// PrintIM entry (0xC4A5) and the maker note's entry 0x0E00 (its value bytes stay unreferenced).
// 1 when everything present was removed, else 0.
[[nodiscard]] int DropPrintMatching(ExifWriter& writer);

// The steps that put a thumbnail behind a copied block, as the quality loop drives them.
struct ThumbnailSteps {
  std::function<HRESULT(int32_t quality)> make;  // renders the thumbnail file (JPEG) again
  std::function<bool()> attach;                  // lays IFD1 for it
  std::function<bool()> drop;                    // takes IFD1 away again
  std::function<uint64_t()> payload;             // the APP1 payload the block now needs
};

// Attaches the thumbnail file made at `quality`; for a JPEG, while the APP1 payload is too large,
// drops it and remakes it at 5 less. S_OK; E_FAIL when an attach or drop fails or the quality would
// fall below 1; a failure of `make` as it is.
[[nodiscard]] HRESULT AttachThumbnailWithinSegment(const ThumbnailSteps& steps, bool jpeg,
                                                   int32_t quality);

// ---- The operations (arguments as the exports check them; repeated here for internal callers)

[[nodiscard]] HRESULT ReplaceThumbImage(const std::string& destPath, const std::string& srcPath,
                                        LF_HGLOBAL image, int32_t quality);
[[nodiscard]] HRESULT ReplaceExifImage(const std::string& destPath, const std::string& srcPath,
                                       LF_HGLOBAL image, int32_t quality);
// `formatFlags` must carry LF_ENC_NEW_EXIF_FILE; `extra` is an LfExifWriteParams*, or with
// LF_ENC_PARAMS_PAIR an LfExifWriteParamsPair* (either may be null). Encode has proved the
// destination's directory writable before it calls.
[[nodiscard]] HRESULT EncodeWithExif(const std::string& destPath, uint32_t formatFlags,
                                     LF_HGLOBAL image, int32_t quality, void* extra);

}  // namespace lf::edit
