#pragma once

#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "profiles/profile_file.h"
#include "util/error.h"

namespace kesu {

// The polish profiles and the active one. Every operation holds the lock throughout, file write
// included; users of a profile take a copy and let go before any network request.
class ProfileStore {
 public:
  ProfileStore(ProfileList initial, std::optional<std::filesystem::path> path)
      : list_(std::move(initial)), path_(std::move(path)) {}

  nlohmann::json to_json() const;

  // The active profile, or the first when none has the active name.
  Profile active_profile() const;
  std::size_t count() const;

  // A failed write keeps the new values in memory, as they are what the user chose; the next
  // successful write persists them.
  Status set_profiles_json(std::string_view text);
  Status set_active(std::string_view name);

 private:
  Status save_locked() const;

  mutable std::mutex mu_;
  ProfileList list_;                                // guarded by mu_
  const std::optional<std::filesystem::path> path_;  // fixed at creation
};

}  // namespace kesu
