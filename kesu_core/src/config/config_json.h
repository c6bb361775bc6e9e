#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "config/config_record.h"
#include "util/error.h"

namespace kesu {

// Facts about installed files that the flat JSON form reports next to the settings.
struct ConfigReadiness {
  bool voice_enrolled = false;
  bool voice_model_ready = false;
  bool punct_ready = false;
  bool denoise_ready = false;
};

// Looks the files up under the record's core directory.
ConfigReadiness probe_readiness(const ConfigRecord& record);

// The flat JSON object of `kesu_get_config_json`. Secrets are reported only as present or not.
nlohmann::json render_config_json(const ConfigRecord& record, const ConfigReadiness& ready);

// Applies a flat JSON patch to a copy of `current`: the patched copy, or why the whole patch was
// refused.
Result<ConfigRecord> apply_config_json(const ConfigRecord& current, std::string_view json_text);

}  // namespace kesu
