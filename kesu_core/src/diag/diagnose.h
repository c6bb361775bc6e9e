#pragma once

#include <cstddef>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "config/config_store.h"
#include "profiles/profile.h"

namespace kesu {

// What the report reads from the core, gathered once by the caller.
struct DiagnoseInputs {
  ConfigPtr config;
  std::filesystem::path core_dir;
  nlohmann::json history_stats;  // the history store's stats()
  Profile active_profile;
  std::size_t profile_count = 0;
  std::size_t hotword_count = 0;
};

// The plain-text status report of the core, one line per item, for the diagnostics page and
// the support bundle. Never fails: what is missing shows as missing.
std::string diagnose_report(const DiagnoseInputs& in);

}  // namespace kesu
