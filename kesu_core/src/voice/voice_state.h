#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "config/config_record.h"
#include "util/error.h"

namespace kesu {

std::filesystem::path speaker_model_path(const std::filesystem::path& core_dir);

// The voice lock's state for the settings page, computed fresh from the files and settings.
nlohmann::json voice_state(const ConfigRecord& config);

// Deletes the voice print; a missing file is fine.
Status clear_voice_print(const std::filesystem::path& core_dir);

}  // namespace kesu
