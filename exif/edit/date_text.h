// The 19-character EXIF date text "YYYY:MM:DD HH:MM:SS" (EXIF 2.2, 4.6.4), stored as 20 bytes
// with its terminating 0.
#pragma once

#include <cstddef>

#include "platform/clock.h"

namespace lf::edit {

inline constexpr size_t kDateTextLength = 19;
inline constexpr size_t kDateTextBytes = 20;

// Formats `value` onto the 19-character text in `text` (20 bytes with its 0), keeping whatever
// separators the old text has at positions 4, 7, 10, 13 and 16. False, text unchanged, when the
// old text is not 19 characters long.
bool FormatDateOnto(char* text, const ExifDateTime& value);

// A new stamp: the blank template "    :  :     :  :  " filled with `value`.
void FormatStampText(const ExifDateTime& value, char (&text)[kDateTextBytes]);

}  // namespace lf::edit
