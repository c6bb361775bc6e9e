#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/config_record.h"
#include "util/error.h"

namespace kesu {

// The whole config.toml text for a record, always from the one template.
std::string render_config_toml(const ConfigRecord& record);

// A TOML basic string literal with its quotes.
std::string toml_quote(std::string_view text);

// Parses a configuration file text over `base`: keys present replace base values, keys missing
// keep them, unknown keys are ignored. A key of the wrong type (a negative count included) makes
// the text invalid (toml_syntax, config_section_not_table, config_expects_*). Values are taken as
// written: enforce_config_rules holds them to their rules.
Result<ConfigRecord> parse_config_toml(std::string_view text, const ConfigRecord& base);

}  // namespace kesu
