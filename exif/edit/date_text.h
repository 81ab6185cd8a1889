// The date stamp every edit writes into IFD0 DateTime: the local time as the 19-character EXIF
// date text "YYYY:MM:DD HH:MM:SS" (EXIF 2.2, 4.6.5) and its terminating 0, 20 bytes in all.
#pragma once

#include <cstddef>

#include "platform/clock.h"

namespace lf::edit {

inline constexpr size_t kDateTextLength = 19;
inline constexpr size_t kDateTextBytes = 20;

// The blank template "    :  :     :  :  " filled with `value`.
void FormatStampText(const ExifDateTime& value, char (&text)[kDateTextBytes]);

}  // namespace lf::edit
