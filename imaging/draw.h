// SPDX-License-Identifier: MIT
// Painting images into the host's device surface.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"

namespace lf::imaging {

// The whitening of one 0x00BBGGRR colour by `percent`: each channel c becomes
// (c × (100 − p) + 255 × p) / 100 in signed 32-bit arithmetic, truncated towards zero, and only
// the low 8 bits of each result are kept (so p above 100 wraps rather than saturates).
uint32_t WhitenColor(uint32_t color, int32_t percent);

// The colour depth of a device (the GDI capability BITSPIXEL).
[[nodiscard]] int32_t DeviceBitsPerPixel(const LfDeviceContext* dc);

}  // namespace lf::imaging
