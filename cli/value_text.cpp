// SPDX-License-Identifier: MIT
#include "cli/value_text.h"

#include <cstdio>
#include <cstring>

namespace lf::cli {

namespace {

template <typename T>
T At(const std::vector<uint8_t>& buffer, size_t offset) {
  T v{};
  if (offset + sizeof v <= buffer.size()) std::memcpy(&v, buffer.data() + offset, sizeof v);
  return v;
}

// The size of one value of `type` in the delivered buffer; 1 for bytes and unknown types.
size_t ValueSize(uint16_t type) {
  switch (type) {
    case 3:
    case 8: return 2;
    case 4:
    case 9: return 4;
    case 5:
    case 10: return 8;
    default: return 1;
  }
}

std::string AsciiText(const std::vector<uint8_t>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.data()),
                     strnlen(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
}

// How many values the buffer really holds: never more than it has room for.
uint32_t Held(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer) {
  const size_t room = buffer.size() / ValueSize(type);
  return count < room ? count : static_cast<uint32_t>(room);
}

}  // namespace

const char* TypeName(uint16_t type) {
  static const char* const kNames[] = {"none",   "BYTE",     "ASCII",    "SHORT",
                                       "LONG",   "RATIONAL", "SBYTE",    "UNDEFINED",
                                       "SSHORT", "SLONG",    "SRATIONAL"};
  return type < sizeof kNames / sizeof kNames[0] ? kNames[type] : "unknown";
}

std::string ValuesText(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer) {
  if (type == 2) {
    std::string quoted(1, '"');
    quoted.append(AsciiText(buffer)).push_back('"');
    return quoted;
  }
  std::string out;
  char item[48];
  for (uint32_t i = 0, n = Held(type, count, buffer); i < n; ++i) {
    const size_t at = i * ValueSize(type);
    switch (type) {
      case 3: std::snprintf(item, sizeof item, "%u", At<uint16_t>(buffer, at)); break;
      case 8: std::snprintf(item, sizeof item, "%d", At<int16_t>(buffer, at)); break;
      case 4: std::snprintf(item, sizeof item, "%u", At<uint32_t>(buffer, at)); break;
      case 9: std::snprintf(item, sizeof item, "%d", At<int32_t>(buffer, at)); break;
      case 5:
        std::snprintf(item, sizeof item, "%u/%u", At<uint32_t>(buffer, at),
                      At<uint32_t>(buffer, at + 4));
        break;
      case 10:
        std::snprintf(item, sizeof item, "%d/%d", At<int32_t>(buffer, at),
                      At<int32_t>(buffer, at + 4));
        break;
      case 6: std::snprintf(item, sizeof item, "%d", At<int8_t>(buffer, at)); break;
      default: std::snprintf(item, sizeof item, "%02X", buffer[at]); break;  // BYTE, UNDEFINED
    }
    if (!out.empty()) out += ' ';
    out += item;
  }
  return out;
}

Json ValuesJson(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer) {
  Json values = Json::array();
  if (type == 2) {
    values.push_back(AsciiText(buffer));
    return values;
  }
  for (uint32_t i = 0, n = Held(type, count, buffer); i < n; ++i) {
    const size_t at = i * ValueSize(type);
    switch (type) {
      case 3: values.push_back(At<uint16_t>(buffer, at)); break;
      case 8: values.push_back(At<int16_t>(buffer, at)); break;
      case 4: values.push_back(At<uint32_t>(buffer, at)); break;
      case 9: values.push_back(At<int32_t>(buffer, at)); break;
      case 5: values.push_back({At<uint32_t>(buffer, at), At<uint32_t>(buffer, at + 4)}); break;
      case 10: values.push_back({At<int32_t>(buffer, at), At<int32_t>(buffer, at + 4)}); break;
      case 6: values.push_back(At<int8_t>(buffer, at)); break;
      default: values.push_back(buffer[at]); break;
    }
  }
  return values;
}

}  // namespace lf::cli
