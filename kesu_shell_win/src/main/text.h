#pragma once

// UTF-8 text helpers. The shell keeps every text as UTF-8 and converts at the platform edges.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesu::shell {

// Invalid sequences become U+FFFD, so the result is always valid UTF-8.
std::string sanitize_utf8(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);

std::size_t char_count(std::string_view text);
// The first `n` characters (code points) of valid UTF-8 text.
std::string cut_chars(std::string_view text, std::size_t n);
// Up to the first line break.
std::string_view first_line(std::string_view text);
// Trims Unicode white space at both ends.
std::string_view trim(std::string_view text);
bool is_blank(std::string_view text);
std::string ascii_upper(std::string_view text);

// Offset of the first character boundary at or after `pos`, so a cut never splits a character.
std::size_t next_char_boundary(std::string_view bytes, std::size_t pos);

// UTF-16 for Windows calls; invalid units or sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view units);

// Paths hold native strings (UTF-16 on Windows); these convert without the ANSI code page.
std::filesystem::path path_from_utf8(std::string_view text);
std::string path_to_utf8(const std::filesystem::path& path);

}  // namespace kesu::shell
