// SPDX-License-Identifier: MIT
// EXIF values as the tool prints them, shared by the commands that show single values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/messages.h"

namespace lf::cli {

// The TIFF name of a field type ("SHORT", "RATIONAL"), "unknown" for other codes.
const char* TypeName(uint16_t type);

// Delivered values as text: numbers separated by spaces, rationals as n/d, ASCII as the quoted
// text, bytes in hexadecimal.
std::string ValuesText(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer);

// The same values as a JSON array, whatever the type: numbers, [numerator, denominator] pairs,
// or the one text of an ASCII value.
Json ValuesJson(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer);

}  // namespace lf::cli
