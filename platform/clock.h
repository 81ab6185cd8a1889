// SPDX-License-Identifier: MIT
// Local wall-clock time and calendar validation.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"

namespace lf {

// Eight 16-bit fields in the Windows SYSTEMTIME layout.
using ExifDateTime = LfExifDateTime;

namespace platform {

// The current local time; false (last error set) when the clock cannot be read.
[[nodiscard]] bool LocalTime(ExifDateTime* now);

// A Gregorian calendar date and time: year 1..9999, month 1-12, a day that exists in that month,
// hour 0-23, minute 0-59, second 0-59. Day of week and milliseconds are not looked at.
[[nodiscard]] bool IsValidCalendarDateTime(uint32_t year, uint32_t month, uint32_t day,
                                           uint32_t hour, uint32_t minute, uint32_t second);
[[nodiscard]] bool IsValidCalendarDateTime(const ExifDateTime& t);

}  // namespace platform
}  // namespace lf
