#pragma once

#include <string>
#include <string_view>

namespace kesu {

// `text` as a TOML basic string, quotes included. Backslash, quote, \n, \r and \t use their short
// escapes; every other control character is written as \uXXXX, because TOML forbids it raw and
// a file holding one would no longer parse.
std::string toml_basic_string(std::string_view text);

// The line number in a parser message: the digits right after its first "line ", or "" when
// there are none.
std::string line_number_in(std::string_view message);

}  // namespace kesu
