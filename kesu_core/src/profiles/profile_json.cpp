#include "profiles/profile_json.h"

#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {

using Json = nlohmann::json;

namespace {

std::string string_member(const Json& o, const char* key) {
  auto it = o.find(key);
  return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

Json profiles_to_json(const ProfileList& list, const std::optional<std::filesystem::path>& path) {
  Json profiles = Json::array();
  for (const Profile& p : list.profiles) {
    profiles.push_back({{"name", p.name},
                        {"icon", p.icon},
                        {"level", p.level},
                        {"prompt", p.prompt},
                        {"slot", p.slot},
                        {"active", p.name == list.active}});
  }
  return {{"active", list.active},
          {"path", path ? Json(path_to_utf8(*path)) : Json(nullptr)},
          {"profiles", std::move(profiles)}};
}

Result<ProfileList> profiles_from_json(std::string_view text) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    return Error{ErrorCode::profiles_json_invalid, e.what()};
  }
  const Json* array = nullptr;
  if (root.is_array()) {
    array = &root;
  } else if (root.is_object()) {
    auto it = root.find("profiles");
    if (it != root.end() && it->is_array()) array = &*it;
  }
  if (array == nullptr) return Error{ErrorCode::profiles_array_missing, {}};

  ProfileList list;
  for (const Json& item : *array) {
    if (!item.is_object()) continue;
    Profile p;
    p.name = trim_unicode(string_member(item, "name"));
    if (p.name.empty()) continue;
    p.icon = string_member(item, "icon");
    p.prompt = string_member(item, "prompt");
    p.slot = string_member(item, "slot");
    auto level = item.find("level");
    p.level = normalise_profile_level(level != item.end() && level->is_string()
                                          ? level->get<std::string>()
                                          : std::string("light"));
    list.profiles.push_back(std::move(p));
  }
  if (list.profiles.empty()) return Error{ErrorCode::profiles_empty, {}};

  list.active = list.profiles.front().name;
  if (root.is_object()) {
    auto wanted = root.find("active");
    if (wanted != root.end() && wanted->is_string()) {
      for (const Profile& p : list.profiles) {
        if (p.name == wanted->get_ref<const std::string&>()) {
          list.active = p.name;
          break;
        }
      }
    }
  }
  return list;
}

}  // namespace kesu
