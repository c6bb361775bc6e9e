#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "profiles/profile_file.h"
#include "util/error.h"

namespace kesu {

// {active, path, profiles: [{active, icon, level, name, prompt, slot}]} with sorted keys.
nlohmann::json profiles_to_json(const ProfileList& list,
                                const std::optional<std::filesystem::path>& path);

// A kesu_set_profiles text as a list (active resolved to one of its names), or why not.
Result<ProfileList> profiles_from_json(std::string_view text);

}  // namespace kesu
