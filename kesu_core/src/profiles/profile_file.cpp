#include "profiles/profile_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>
#include <toml++/toml.h>

#include "util/atomic_file.h"
#include "util/log.h"
#include "util/toml_text.h"
#include "util/utf8.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

// A string member of a profile table; absent reads as "", any other type is an error.
Status read_text(const toml::table& table, const char* key, std::string& out) {
  const toml::node* node = table.get(key);
  if (node == nullptr) return Status::success();
  if (!node->is_string()) return Error{ErrorCode::profile_expects_text, key};
  out = node->as_string()->get();
  return Status::success();
}

std::string active_or_first(const std::vector<Profile>& profiles, std::string_view wanted) {
  for (const Profile& p : profiles) {
    if (p.name == wanted) return p.name;
  }
  return profiles.front().name;
}

bool give_default_slots(std::vector<Profile>& profiles) {
  if (std::any_of(profiles.begin(), profiles.end(), [](const Profile& p) { return !p.slot.empty(); })) {
    return false;
  }
  for (std::size_t i = 0; i < profiles.size() && i < std::size(kDefaultSlots); ++i) {
    profiles[i].slot = kDefaultSlots[i];
  }
  return true;
}

enum class ReadOutcome { ok, missing, unusable };

ReadOutcome read_file(const fs::path& path, std::string& text) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status) && (!ec || ec == std::errc::no_such_file_or_directory)) {
    return ReadOutcome::missing;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadOutcome::unusable;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || !is_valid_utf8(text)) return ReadOutcome::unusable;
  return ReadOutcome::ok;
}

ProfileList builtin_list() {
  ProfileList list{builtin_profiles(), ""};
  list.active = list.profiles.front().name;
  return list;
}

void save_or_log(const fs::path& path, const ProfileList& list) {
  if (Status saved = save_profiles(path, list); !saved) log_line(user_message(saved.error()));
}

}  // namespace

fs::path profiles_path(const fs::path& core_dir) { return core_dir / "profiles.toml"; }

Result<ProfileList> parse_profiles_text(std::string_view text) {
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    const auto& begin = e.source().begin;
    return Error{ErrorCode::profiles_toml_syntax,
                 detail_parts({begin.line > 0 ? std::to_string(begin.line) : std::string(),
                               e.description()})};
  }
  std::string wanted;
  if (!read_text(root, "active", wanted)) return Error{ErrorCode::profiles_active_not_text, {}};

  ProfileList list;
  if (const toml::node* node = root.get("profile")) {
    const toml::array* tables = node->as_array();
    if (tables == nullptr || !tables->is_array_of_tables()) {
      return Error{ErrorCode::profiles_not_tables, {}};
    }
    for (const toml::node& item : *tables) {
      const toml::table& table = *item.as_table();
      if (table.get("name") == nullptr) return Error{ErrorCode::profile_nameless, {}};
      Profile p;
      std::string level;
      const std::pair<const char*, std::string*> fields[] = {
          {"name", &p.name}, {"icon", &p.icon}, {"level", &level}, {"prompt", &p.prompt},
          {"slot", &p.slot}};
      for (const auto& [key, out] : fields) {
        if (Status read = read_text(table, key, *out); !read) return read.error();
      }
      p.name = trim_unicode(p.name);
      if (p.name.empty()) continue;
      p.level = normalise_profile_level(level);
      p.slot = trim_unicode(p.slot);
      list.profiles.push_back(std::move(p));
    }
  }
  if (list.profiles.empty()) return Error{ErrorCode::profiles_none_in_file, {}};
  list.active = active_or_first(list.profiles, wanted);
  return list;
}

std::string render_profiles(const ProfileList& list) {
  std::string out =
      "# Kesu 润色 profile：一条 [[profile]] 就是一档风格\n"
      "# level = off / light / medium / strong；prompt 会拼在通用润色规则后面\n"
      "\n";
  out += "active = " + toml_basic_string(list.active) + "\n\n";
  for (const Profile& p : list.profiles) {
    out += "[[profile]]\n";
    out += "name = " + toml_basic_string(p.name) + "\n";
    out += "icon = " + toml_basic_string(p.icon) + "\n";
    out += "level = " + toml_basic_string(p.level) + "\n";
    out += "prompt = " + toml_basic_string(p.prompt) + "\n";
    out += "slot = " + toml_basic_string(p.slot) + "\n";
    out += "\n";
  }
  return out;
}

Status save_profiles(const fs::path& path, const ProfileList& list) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  fs::path tmp = path;
  tmp.replace_extension(".tmp");
  Status written = write_whole_file(tmp, render_profiles(list));
  if (written) written = replace_file(tmp, path);
  if (!written) {
    fs::remove(tmp, ec);
    return Error{ErrorCode::profiles_write_failed, written.error().detail};
  }
  return Status::success();
}

ProfileList load_profiles(const fs::path& path) {
  std::string text;
  switch (read_file(path, text)) {
    case ReadOutcome::missing: {
      ProfileList list = builtin_list();
      save_or_log(path, list);
      return list;
    }
    case ReadOutcome::unusable:
      // Not overwritten: it may be the user's own file in another encoding.
      log_line("profiles.toml 读不出 UTF-8 文本，用内置");
      return builtin_list();
    case ReadOutcome::ok:
      break;
  }
  Result<ProfileList> parsed = parse_profiles_text(text);
  if (!parsed) {
    log_line("profiles.toml 解析失败，用内置：" + user_message(parsed.error()));
    return builtin_list();
  }
  ProfileList list = std::move(*parsed);
  if (give_default_slots(list.profiles)) save_or_log(path, list);
  return list;
}

}  // namespace kesu
