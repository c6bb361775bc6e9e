#pragma once

#include <filesystem>
#include <string_view>

#include "util/error.h"

namespace kesu {

// Who may read a file the core writes. On Windows both mean the same: the per-user data folder's
// inherited access rules already keep other users out.
enum class FileAccess {
  shared,      // the usual mode (0644 before the umask)
  owner_only,  // 0600: secrets and personal text (API key, LAN token, dictated words)
};

// Writes `bytes` to `path` (created or truncated) and flushes them to disk. With owner_only an
// existing file's wider mode is narrowed before any byte is written. Fails with
// file_write_failed and the system's reason.
Status write_whole_file(const std::filesystem::path& path, std::string_view bytes,
                        FileAccess access = FileAccess::shared);

// Narrows an existing file to owner_only (no-op on Windows). Fails with file_mode_failed.
Status restrict_to_owner(const std::filesystem::path& path);

// Renames `from` over `to`, replacing an existing `to` in one step, so a reader (or a crash)
// sees either the old or the new file, never a mix. Fails with file_replace_failed.
Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace kesu
