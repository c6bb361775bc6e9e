#include "util/toml_text.h"

#include <cstdio>

namespace kesu {

std::string toml_basic_string(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04X", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string line_number_in(std::string_view message) {
  const std::size_t at = message.find("line ");
  if (at == std::string_view::npos) return "";
  std::size_t end = at + 5;
  while (end < message.size() && message[end] >= '0' && message[end] <= '9') ++end;
  return std::string(message.substr(at + 5, end - at - 5));
}

}  // namespace kesu
