#include "profiles/profile.h"

#include "config/config_rules.h"

namespace kesu {

std::vector<Profile> builtin_profiles() {
  return {
      {"日常", "message", "light", "", "CTRL+ALT+1"},
      {"邮件", "envelope", "strong",
       "整理成邮件正文：分点清晰，语气礼貌但不套话，不编造称呼、称呼用「你」", "CTRL+ALT+2"},
      {"笔记", "note.text", "medium", "保留口语里的顺序和要点，可以用短句和分号，不要总结成结论",
       "CTRL+ALT+3"},
  };
}

std::string normalise_profile_level(std::string_view level) {
  return normalise_polish_level(level).value_or("light");
}

}  // namespace kesu
