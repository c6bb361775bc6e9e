#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_record.h"

namespace kesu {

// A whole-number setting and the range that every way a configuration comes in (JSON patch,
// config.toml at start, kesu_set_config_toml) holds it to.
struct IntRule {
  const char* json_name;  // member of the flat JSON form and of patches
  const char* section;    // table in config.toml
  const char* key;        // key in that table
  std::int64_t ConfigRecord::*field;
  std::int64_t min;
  std::int64_t max;
};

inline constexpr IntRule kIntRules[] = {
    {"num_threads", "engine", "num_threads", &ConfigRecord::engine_num_threads, 1, 8},
    {"min_record_ms", "audio", "min_record_ms", &ConfigRecord::audio_min_record_ms, 100, 10000},
    {"max_record_secs", "audio", "max_record_secs", &ConfigRecord::audio_max_record_secs, 5, 600},
    {"history_limit", "history", "limit", &ConfigRecord::history_limit, 0, 2000},
    {"polish_timeout_ms", "polish", "timeout_ms", &ConfigRecord::polish_timeout_ms, 500, 20000},
    // Ports below 1024 need administrator rights; above 65535 is not a port. Clamping keeps a
    // usable port rather than wrapping the number round to an unrelated one.
    {"lan_port", "lan", "port", &ConfigRecord::lan_port, 1024, 65535},
};

inline constexpr double kVoiceLockThresholdMin = 0.3;
inline constexpr double kVoiceLockThresholdMax = 0.95;

// A value that did not meet its rule, and what it became.
struct ConfigAdjustment {
  std::string setting;  // "section.key"
  std::string from;
  std::string to;

  bool operator==(const ConfigAdjustment&) const = default;
};

// Holds a record read from a configuration text to the rules JSON patches apply: numbers are
// clamped to their ranges (NaN takes the fallback's value), an unknown engine, polish level or
// insert mode takes the fallback's value, per-application modes that mean nothing are dropped,
// synonyms are normalised, secrets trimmed and "~/" paths expanded. Returns the changes a user
// should hear about (normalising and trimming are not among them).
std::vector<ConfigAdjustment> enforce_config_rules(ConfigRecord& record,
                                                   const ConfigRecord& fallback);

// "lan.port：80 → 1024；…"
std::string describe_adjustments(const std::vector<ConfigAdjustment>& adjustments);

// "paste" / "粘贴" → "paste"; "keystroke" / "type" / "打字" / "逐字" → "keystroke"
// (case-insensitive, surrounding white space ignored); anything else → nullopt.
std::optional<std::string> normalise_insert_mode(std::string_view value);

// off / light / medium / strong and their Chinese words; anything else → nullopt.
std::optional<std::string> normalise_polish_level(std::string_view value);

bool is_engine_name(std::string_view name);

// Replaces a leading "~/" or "~\" with the user's home directory ($HOME, else $USERPROFILE).
std::string expand_home(std::string value);

std::string trim(std::string_view text);

// The insertion mode for a foreground application: the per-application entry whose name the
// application name contains (case-insensitive; the longest such entry wins), else the default.
std::string insert_mode_for_app(const ConfigRecord& record, std::string_view app);

}  // namespace kesu
