// SPDX-License-Identifier: MIT
// pixman images over toolkit bitmaps and device surfaces, with an owner that unreferences them.
#pragma once

#include <pixman.h>

#include <memory>

#include "imaging/toolkit.h"

namespace lf::imaging {

struct PixmanImageDeleter {
  void operator()(pixman_image_t* image) const {
    if (image) pixman_image_unref(image);
  }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageDeleter>;

// A pixman view of a 24- or 32-bit bitmap's pixels (no copy); empty for any other depth.
PixmanImage WrapBitmap(const ToolkitBitmap* bitmap);

// Resamples all of `source` into the whole of `destination` (both 24 or 32 bits), bilinear where
// an axis grows and area-weighted where it shrinks. False when pixman cannot.
[[nodiscard]] bool ResampleInto(const ToolkitBitmap* source, ToolkitBitmap* destination);

}  // namespace lf::imaging
