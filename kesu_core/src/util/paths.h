#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kesu {

// Paths cross the C interface as UTF-8; on Windows the native form is UTF-16, so conversions
// must never go through the ANSI code page.
std::filesystem::path path_from_utf8(std::string_view utf8);
std::string path_to_utf8(const std::filesystem::path& path);

}  // namespace kesu
