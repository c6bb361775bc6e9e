#include "profiles/profile_store.h"

#include "profiles/profile_json.h"

namespace kesu {

nlohmann::json ProfileStore::to_json() const {
  std::lock_guard lock(mu_);
  return profiles_to_json(list_, path_);
}

std::size_t ProfileStore::count() const {
  std::lock_guard lock(mu_);
  return list_.profiles.size();
}

Profile ProfileStore::active_profile() const {
  std::lock_guard lock(mu_);
  for (const Profile& p : list_.profiles) {
    if (p.name == list_.active) return p;
  }
  return list_.profiles.front();
}

std::optional<std::string> ProfileStore::set_profiles_json(std::string_view text) {
  auto parsed = profiles_from_json(text);
  if (auto* message = std::get_if<std::string>(&parsed)) return *message;
  std::lock_guard lock(mu_);
  list_ = std::move(std::get<ProfileList>(parsed));
  return save_locked();
}

std::optional<std::string> ProfileStore::set_active(std::string_view name) {
  std::lock_guard lock(mu_);
  for (const Profile& p : list_.profiles) {
    if (p.name == name) {
      list_.active = p.name;
      return save_locked();
    }
  }
  return "没有叫「" + std::string(name) + "」的 profile";
}

std::optional<std::string> ProfileStore::save_locked() const {
  if (!path_) return std::nullopt;
  return save_profiles(*path_, list_);
}

}  // namespace kesu
