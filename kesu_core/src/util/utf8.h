#pragma once

#include <cstddef>
#include <string_view>

namespace kesu {

// Strict UTF-8: rejects overlong forms, surrogates and code points above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// Number of code points in valid UTF-8 text (what the events call "chars").
std::size_t utf8_char_count(std::string_view text);

}  // namespace kesu
