#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/config_record.h"

namespace kesu {

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
