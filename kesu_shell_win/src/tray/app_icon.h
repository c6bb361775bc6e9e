#pragma once

// The application icon, drawn by code into ICO bytes, and its file for the tray to load.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace kesu::shell {

inline constexpr const char* kIconFileName = "kesu.ico";

// An ICO image with 16, 32 and 48 pixel 32-bit entries: a light microphone on a dark rounded
// square. The same bytes every time.
std::vector<std::uint8_t> app_icon_bytes();

// Writes `bytes` to "kesu.ico" in `dir` (created with parents) unless a file with the same bytes
// is there already; the file's path, or nullopt on any failure.
std::optional<std::filesystem::path> ensure_icon_file(const std::filesystem::path& dir,
                                                      const std::vector<std::uint8_t>& bytes);

}  // namespace kesu::shell
