#include "util/utf8.h"

namespace kesu {

namespace {

// Length of the well-formed UTF-8 sequence at p, or 0 when there is none.
int sequence_length(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  if (c < 0x80) return 1;
  int extra = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (end - p <= extra) return 0;
  if (p[1] < lo || p[1] > hi) return 0;
  for (int i = 2; i <= extra; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return extra + 1;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const int n = sequence_length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

std::string utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const int n = sequence_length(p, end);
    if (n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++p;
    } else {
      out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
      p += n;
    }
  }
  return out;
}

std::size_t utf8_char_count(std::string_view text) {
  std::size_t n = 0;
  for (const char ch : text) {
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::u32string utf8_decode(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++p;
    for (; extra > 0 && p < end; --extra, ++p) cp = (cp << 6) | (*p & 0x3F);
    out.push_back(cp);
  }
  return out;
}

void utf8_append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

// The Unicode White_Space property.
bool is_white_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

// Byte length of the UTF-8 sequence starting with `lead`.
std::size_t sequence_length(unsigned char lead) {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

std::string trim_unicode(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t len = sequence_length(static_cast<unsigned char>(text[begin]));
    const std::u32string cp = utf8_decode(text.substr(begin, len));
    if (cp.size() != 1 || !is_white_space(cp[0])) break;
    begin += len;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    const std::u32string cp = utf8_decode(text.substr(start, end - start));
    if (cp.size() != 1 || !is_white_space(cp[0])) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

}  // namespace kesu
