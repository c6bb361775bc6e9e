#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "hotwords/hotword_table.h"
#include "util/error.h"

namespace kesu {

// {error?, path?, rules: [{from, to}]} with sorted keys.
nlohmann::json hotwords_to_json(const HotwordTable& table);

// The rules of a kesu_set_hotwords text (not yet normalised), or why it is refused.
Result<std::vector<HotwordRule>> hotwords_from_json(std::string_view text);

}  // namespace kesu
