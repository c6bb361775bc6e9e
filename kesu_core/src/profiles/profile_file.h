#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/profile.h"
#include "util/error.h"

namespace kesu {

std::filesystem::path profiles_path(const std::filesystem::path& core_dir);

struct ProfileList {
  std::vector<Profile> profiles;  // never empty
  std::string active;             // the name of one of them
};

// Profiles of a profiles.toml text, or why it cannot be used. Names and slots are trimmed, levels
// normalised, nameless profiles skipped; no profile left is an error too.
Result<ProfileList> parse_profiles_text(std::string_view text);

std::string render_profiles(const ProfileList& list);

// Replaces the file atomically through profiles.tmp.
Status save_profiles(const std::filesystem::path& path, const ProfileList& list);

// The list at core creation, with every fallback: built-ins for a missing or broken file, the
// default slots when no profile has one. Writes the file when it was missing or got slots.
ProfileList load_profiles(const std::filesystem::path& path);

}  // namespace kesu
