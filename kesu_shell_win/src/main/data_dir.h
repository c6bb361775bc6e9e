#pragma once

// Where every file of the shell (and of the core) lives. Resolved afresh by every caller.

#include <filesystem>
#include <optional>

#include "main/platform.h"

namespace kesu::shell {

// The rules in order: KESU_CONFIG_DIR, the portable "KesuData" folder beside the executable,
// then the per-user folder ({APPDATA}\Kesu on Windows, the XDG data folder elsewhere).
// The portable folder is created here; the other two are not.
std::filesystem::path resolve_data_dir(const EnvLookup& env,
                                       const std::optional<std::filesystem::path>& exe_dir);

// The same with the process's own environment and executable.
std::filesystem::path data_dir();
std::optional<std::filesystem::path> executable_dir();

}  // namespace kesu::shell
