#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "config/config_record.h"
#include "util/error.h"

namespace kesu {

// The defaults for `core_dir`, with the model paths the environment gives (KESU_MODEL_DIR,
// KESU_VAD_MODEL, KESU_QWEN3_DIR) in place of the built-in ones.
ConfigRecord startup_defaults(const std::filesystem::path& core_dir);

// Reads <core_dir>/config.toml. Never fails: problems leave defaults and a load warning.
ConfigRecord load_config(const std::filesystem::path& core_dir);

// Replaces config.toml atomically (through config.toml.tmp).
Status save_config(const ConfigRecord& record);

std::filesystem::path config_path(const std::filesystem::path& core_dir);

}  // namespace kesu
