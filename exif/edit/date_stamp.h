// SPDX-License-Identifier: MIT
// The date stamp every successful edit writes into IFD0 DateTime: the local time as the
// 19-character EXIF date text "YYYY:MM:DD HH:MM:SS" (EXIF 2.2, 4.6.5) and its terminating 0. The
// same stamper serves the source's own block (patches in place) and a new output block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exif/model/byte_reader.h"
#include "platform/clock.h"

namespace lf::edit {

// An EXIF date text with its NUL.
inline constexpr size_t kDateTextBytes = 20;

// Writes `now` into the DateTime value of the IFD0 at `ifd0Offset` of `block`, when that entry
// has a 20-byte value out of line inside the block. True when stamped; nothing changes otherwise.
[[nodiscard]] bool StampDateTime(exif::MutableByteView block, uint32_t ifd0Offset,
                                 const ExifDateTime& now);
// The same with the local time; without a clock the old stamp stays (the edit does not depend on
// it).
[[nodiscard]] bool StampLocalTime(exif::MutableByteView block, uint32_t ifd0Offset);

}  // namespace lf::edit
