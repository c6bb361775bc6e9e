#include "main/text.h"

#include <cstdint>

namespace kesu::shell {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`; returns its length, or 0 for an invalid sequence.
std::size_t decode(std::string_view s, std::size_t i, char32_t& out) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) {
    out = c;
    return 1;
  }
  std::size_t len;
  char32_t cp;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return len;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool is_space(char32_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

}  // namespace

std::string sanitize_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp;
    const std::size_t len = decode(bytes, i, cp);
    if (len == 0) {
      append_utf8(out, kReplacement);
      ++i;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp;
    const std::size_t len = decode(bytes, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::size_t char_count(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string cut_chars(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t count = 0; i < text.size() && count < n; ++count) {
    char32_t cp;
    const std::size_t len = decode(text, i, cp);
    i += len == 0 ? 1 : len;
  }
  return std::string(text.substr(0, i));
}

std::string_view first_line(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string_view trim(std::string_view text) {
  // Walk forward over leading spaces, then backward over trailing ones by decoding the tail.
  std::size_t begin = 0;
  while (begin < text.size()) {
    char32_t cp;
    const std::size_t len = decode(text, begin, cp);
    if (len == 0 || !is_space(cp)) break;
    begin += len;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    char32_t cp;
    const std::size_t len = decode(text, start, cp);
    if (len == 0 || start + len != end || !is_space(cp)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

bool is_blank(std::string_view text) { return trim(text).empty(); }

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::size_t next_char_boundary(std::string_view bytes, std::size_t pos) {
  while (pos < bytes.size() && (static_cast<unsigned char>(bytes[pos]) & 0xC0) == 0x80) ++pos;
  return pos;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    std::size_t len = decode(text, i, cp);
    if (len == 0) {
      cp = kReplacement;
      len = 1;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    append_utf8(out, cp);
  }
  return out;
}

std::filesystem::path path_from_utf8(std::string_view text) {
  const std::string clean = sanitize_utf8(text);
  return std::filesystem::path(std::u8string(clean.begin(), clean.end()));
}

std::string path_to_utf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace kesu::shell
