#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kesu {

// Paths cross the C interface as UTF-8; on Windows the native form is UTF-16, so conversions
// must never go through the ANSI code page.
std::filesystem::path path_from_utf8(std::string_view utf8);
std::string path_to_utf8(const std::filesystem::path& path);

// "{size}:{modification time}" of a file: enough to notice within one run that it was replaced.
// nullopt when the file cannot be read.
std::optional<std::string> file_change_stamp(const std::filesystem::path& file);

}  // namespace kesu
