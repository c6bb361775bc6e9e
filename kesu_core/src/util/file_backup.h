#pragma once

#include <filesystem>
#include <string_view>

#include "util/error.h"

namespace kesu {

// The name of the n-th backup of `file` (n from 1): <name>.broken, then <name>.broken.2, … The
// first matches the configuration file's backup; the numbered ones exist because a second,
// different damaged version must not overwrite the first.
std::filesystem::path backup_name(const std::filesystem::path& file, int n);

inline constexpr int kMaxBackups = 100;

// Keeps `bytes` (a damaged file's original content) beside `file` before the file is replaced.
// A backup that already holds the same bytes is reused, so reading one damaged file twice leaves
// one copy; otherwise the first free backup name gets a new copy (readable by the user only: the
// files backed up this way hold dictated text). Never overwrites an existing backup. Gives where
// `bytes` are now kept.
Result<std::filesystem::path> keep_backup(const std::filesystem::path& file,
                                          std::string_view bytes);

}  // namespace kesu
