#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kesu {

// The core's directory: the one the host passed, else $KESU_CONFIG_DIR, else ~/.kesu ($HOME),
// else /tmp/.kesu.
std::filesystem::path resolve_core_dir(std::optional<std::string_view> requested);

}  // namespace kesu
