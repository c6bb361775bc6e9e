#pragma once

// One member of a JSON object from the core or the configuration. A missing member, one of
// another type, or a value that is not an object at all gives the fallback: the shell shows
// defaults rather than failing on an answer it cannot read.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kesu::shell {

// The member, or nullptr.
const nlohmann::json* json_member(const nlohmann::json& object, const char* key);
std::string string_member(const nlohmann::json& object, const char* key,
                          std::string_view fallback = {});
bool bool_member(const nlohmann::json& object, const char* key, bool fallback = false);

}  // namespace kesu::shell
