#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hotwords/hotword_table.h"

namespace kesu {

// {error?, path?, rules: [{from, to}]} with sorted keys.
nlohmann::json hotwords_to_json(const HotwordTable& table);

// The rules of a kesu_set_hotwords text (not yet normalised), or the message that refuses it.
std::variant<std::vector<HotwordRule>, std::string> hotwords_from_json(std::string_view text);

}  // namespace kesu
