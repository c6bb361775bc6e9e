#include "main/json_members.h"

namespace kesu::shell {

const nlohmann::json* json_member(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string string_member(const nlohmann::json& object, const char* key,
                          std::string_view fallback) {
  const nlohmann::json* v = json_member(object, key);
  return v != nullptr && v->is_string() ? v->get<std::string>() : std::string(fallback);
}

bool bool_member(const nlohmann::json& object, const char* key, bool fallback) {
  const nlohmann::json* v = json_member(object, key);
  return v != nullptr && v->is_boolean() ? v->get<bool>() : fallback;
}

}  // namespace kesu::shell
