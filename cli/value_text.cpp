#include "cli/value_text.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/host.h"

namespace lf::cli {

const char* TypeName(uint16_t type) {
  static const char* const kNames[] = {"none",  "BYTE",     "ASCII",     "SHORT",
                                       "LONG",  "RATIONAL", "SBYTE",     "UNDEFINED",
                                       "SSHORT", "SLONG",   "SRATIONAL"};
  return type < sizeof kNames / sizeof kNames[0] ? kNames[type] : "unknown";
}

std::string ValuesText(uint16_t type, uint32_t count, const std::vector<uint8_t>& buffer,
                       bool json) {
  std::string out;
  auto add = [&](const std::string& item) {
    if (!out.empty()) out += json ? ", " : " ";
    out += item;
  };
  char item[48];
  for (uint32_t i = 0; i < count; ++i) {
    switch (type) {
      case 2: {  // ASCII: the text up to its NUL, as one value
        const std::string text = reinterpret_cast<const char*>(buffer.data());
        if (json) return JsonString(text);
        std::string quoted(1, '"');
        quoted.append(text).push_back('"');
        return quoted;
      }
      case 3: {
        uint16_t v;
        std::memcpy(&v, &buffer[i * 2], 2);
        std::snprintf(item, sizeof item, "%u", v);
        break;
      }
      case 4: case 9: {
        uint32_t v;
        std::memcpy(&v, &buffer[i * 4], 4);
        if (type == 9) {
          std::snprintf(item, sizeof item, "%" PRId32, static_cast<int32_t>(v));
        } else {
          std::snprintf(item, sizeof item, "%" PRIu32, v);
        }
        break;
      }
      case 5: case 10: {
        uint32_t v[2];
        std::memcpy(v, &buffer[i * 8], 8);
        if (type == 10) {
          std::snprintf(item, sizeof item, "%" PRId32 "/%" PRId32, static_cast<int32_t>(v[0]),
                        static_cast<int32_t>(v[1]));
        } else {
          std::snprintf(item, sizeof item, "%" PRIu32 "/%" PRIu32, v[0], v[1]);
        }
        if (json) {
          add(JsonString(item));
          continue;
        }
        break;
      }
      default:  // BYTE, UNDEFINED
        std::snprintf(item, sizeof item, json ? "%u" : "%02X", buffer[i]);
        break;
    }
    add(item);
  }
  return json && type != 2 ? "[" + out + "]" : out;
}

}  // namespace lf::cli
