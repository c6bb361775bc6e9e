#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kesu {

// Writes `bytes` to `path` (created or truncated) and flushes them to disk. Returns the error
// text on failure.
std::optional<std::string> write_whole_file(const std::filesystem::path& path,
                                            std::string_view bytes);

// Renames `from` over `to`, replacing an existing `to` in one step, so a reader (or a crash)
// sees either the old or the new file, never a mix. Returns the error text on failure.
std::optional<std::string> replace_file(const std::filesystem::path& from,
                                        const std::filesystem::path& to);

}  // namespace kesu
