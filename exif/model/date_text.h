// SPDX-License-Identifier: MIT
// The EXIF date text "YYYY:MM:DD HH:MM:SS" (EXIF 2.2, 4.6.5, DateTimeOriginal) and the
// sub-second text that may go with it, converted to and from the SYSTEMTIME-shaped ExifDateTime.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace lf::exif {

// Length of the date text without its NUL; the stored ASCII value is one byte longer.
inline constexpr size_t kExifDateTextLength = 19;

// Reads the six fields of a 19-character date text (the separators are not examined) and the
// milliseconds from the sub-second digits: one digit counts tenths, two hundredths, three or more
// start with thousandths. Each field is read like C's atoi over its own characters, so blanks give
// 0. Returns 1, or 0 with `out` untouched when the text is not 19 characters long.
[[nodiscard]] int ParseExifDateTime(std::string_view dateText, std::string_view subSecText,
                                    ExifDateTime* out);

// Rewrites `dateText` from `value`, keeping the separators the old text had, and rewrites a
// non-empty `subSecText` (may be null) at its old width. Returns 1, or 0 with nothing changed
// when the old date text is not 19 characters long.
[[nodiscard]] int FormatExifDateTime(std::string* dateText, std::string* subSecText,
                                     const ExifDateTime& value);

}  // namespace lf::exif
