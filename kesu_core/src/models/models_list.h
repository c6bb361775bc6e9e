#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "config/config_record.h"

namespace kesu {

// The six entries shown in the settings: recognisers first, then the auxiliary models and the
// test engine, with what is installed and in use under `config`. Reads only the file system.
nlohmann::json models_list(const ConfigRecord& config);

// Bytes of all files below `dir`, without following links; 0 when it cannot be read.
std::uint64_t directory_size(const std::filesystem::path& dir);

}  // namespace kesu
