#include "main/data_dir.h"

#include <system_error>

#include "main/text.h"

namespace kesu::shell {

namespace fs = std::filesystem;

fs::path resolve_data_dir(const EnvLookup& env, const std::optional<fs::path>& exe_dir) {
  if (auto dir = env("KESU_CONFIG_DIR"); dir && !is_blank(*dir)) return path_from_utf8(*dir);

  if (exe_dir) {
    std::error_code ec;
    const fs::path portable = *exe_dir / "KesuData";
    if (fs::is_regular_file(*exe_dir / "portable.txt", ec) || fs::is_directory(portable, ec)) {
      fs::create_directories(portable, ec);  // best effort: logging copes with a missing folder
      return portable;
    }
  }

#ifdef _WIN32
  const auto appdata = env("APPDATA");
  return path_from_utf8(appdata ? *appdata : ".") / "Kesu";
#else
  // XDG: an unset, empty or relative XDG_DATA_HOME means ~/.local/share.
  if (auto xdg = env("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/') {
    return path_from_utf8(*xdg) / "kesu";
  }
  const auto home = env("HOME");
  if (home && !home->empty()) return path_from_utf8(*home) / ".local" / "share" / "kesu";
  return fs::path(".") / "kesu";
#endif
}

std::optional<fs::path> executable_dir() {
  auto exe = platform::executable_path();
  if (!exe || !exe->has_parent_path()) return std::nullopt;
  return exe->parent_path();
}

fs::path data_dir() { return resolve_data_dir(&platform::env_var, executable_dir()); }

}  // namespace kesu::shell
