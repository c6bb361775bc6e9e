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

Status ProfileStore::set_profiles_json(std::string_view text) {
  Result<ProfileList> parsed = profiles_from_json(text);
  if (!parsed) return parsed.error();
  std::lock_guard lock(mu_);
  list_ = std::move(*parsed);
  return save_locked();
}

Status ProfileStore::set_active(std::string_view name) {
  std::lock_guard lock(mu_);
  for (const Profile& p : list_.profiles) {
    if (p.name == name) {
      list_.active = p.name;
      return save_locked();
    }
  }
  return Error{ErrorCode::profile_unknown, std::string(name)};
}

Status ProfileStore::save_locked() const {
  if (!path_) return Status::success();
  return save_profiles(*path_, list_);
}

}  // namespace kesu
