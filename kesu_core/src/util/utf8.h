#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kesu {

// Strict UTF-8: rejects overlong forms, surrogates and code points above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// Number of code points in valid UTF-8 text (what the events call "chars").
std::size_t utf8_char_count(std::string_view text);

// Any bytes as valid UTF-8: each byte that starts no well-formed sequence becomes U+FFFD.
std::string utf8_lossy(std::string_view text);

// Code points of valid UTF-8 text (the caller has checked it).
std::u32string utf8_decode(std::string_view text);
void utf8_append(std::string& out, char32_t cp);

// Removes leading and trailing Unicode white space (including the ideographic space U+3000 that
// Chinese input methods produce), not only ASCII blanks.
std::string trim_unicode(std::string_view text);

}  // namespace kesu
