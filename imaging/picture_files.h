// SPDX-License-Identifier: MIT
// The picture files of the EXIF writers: a host's image saved as the main image of a new JPEG or
// TIFF file, and as the 160 × 120 thumbnail that goes into IFD1. The writers then take image data
// and directory entries from these files; nothing here knows about EXIF.
#pragma once

#include <cstdint>

#include "imaging/toolkit.h"
#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::imaging {

// The thumbnail canvas (EXIF 2.2, 4.5.8: 160 × 120 is the recommended thumbnail size).
inline constexpr int32_t kThumbnailWidth = 160;
inline constexpr int32_t kThumbnailHeight = 120;

// Where a picture of width × height lands on the thumbnail canvas: scaled to fit keeping its
// aspect ratio (integer arithmetic, no side below 1) and centred.
struct ThumbnailPlacement {
  int32_t width = 0;
  int32_t height = 0;
  int32_t left = 0;
  int32_t top = 0;
};
ThumbnailPlacement PlaceThumbnail(int32_t width, int32_t height);

// Saves the host's packed DIB (neither changed nor freed) at `path`: a JPEG without APP0 when
// `formatFlags` has a JPEG bit (LF_ENC_ANY_JPEG, tested first), else a 24-bit TIFF when it has
// LF_ENC_TIFF. S_OK; E_FAIL for neither format or an image the toolkit cannot take; the JPEG
// writer's negative result; HRESULT_FROM_TOOLKIT of a failed TIFF save. A failed save deletes
// `path`.
[[nodiscard]] HRESULT SaveMainImage(const char* path, uint32_t formatFlags, LF_HGLOBAL image,
                                    int32_t quality);

// Renders the host's packed DIB into a 160 × 120 thumbnail: fitted with PlaceThumbnail and
// letter-boxed on a black canvas, saved at `path` as a 24-bit TIFF when `formatFlags` has
// LF_ENC_TIFF (tested first), else as a JPEG without APP0 at `quality`. S_OK; E_INVALIDARG for a
// missing path or image or flags without either format; E_FAIL for an image the toolkit cannot
// take; HRESULT_FROM_TOOLKIT of a failed resample or TIFF save; the JPEG writer's negative result.
[[nodiscard]] HRESULT MakeThumbnailFile(const char* path, uint32_t formatFlags, LF_HGLOBAL image,
                                        int32_t quality);

// MakeThumbnailFile in two steps, for a caller that saves one thumbnail at several qualities: the
// host's image rendered once into the empty `thumbnail` (S_OK, E_FAIL or HRESULT_FROM_TOOLKIT of
// a failed resample), then saved as often as needed (the thumbnail is not changed).
[[nodiscard]] HRESULT RenderThumbnail(LF_HGLOBAL image, ToolkitBitmap* thumbnail);
[[nodiscard]] HRESULT SaveThumbnailFile(const char* path, uint32_t formatFlags,
                                        const ToolkitBitmap* thumbnail, int32_t quality);

}  // namespace lf::imaging
