#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "main/data_dir.h"
#include "temp_dir.h"

using namespace kesu::shell;
namespace fs = std::filesystem;

namespace {

EnvLookup env_of(std::map<std::string, std::string> vars) {
  return [vars](const char* name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

fs::path user_default(const fs::path& home) {
#ifdef _WIN32
  return home / "Kesu";
#else
  return home / ".local" / "share" / "kesu";
#endif
}

}  // namespace

TEST(DataDir, RulesInOrder) {
  TempDir exe;
  const fs::path home = exe.path() / "home";
  const std::map<std::string, std::string> base{{"HOME", home.string()}, {"APPDATA", home.string()}};
  auto with = [&](std::map<std::string, std::string> extra) {
    extra.insert(base.begin(), base.end());
    return env_of(extra);
  };

  // The variable wins, untrimmed; blanks only do not count.
  EXPECT_EQ(resolve_data_dir(with({{"KESU_CONFIG_DIR", " /x/y"}}), exe.path()), fs::path(" /x/y"));
  EXPECT_EQ(resolve_data_dir(with({{"KESU_CONFIG_DIR", "   "}}), exe.path()), user_default(home));
  EXPECT_EQ(resolve_data_dir(with({}), std::nullopt), user_default(home));

  // A "KesuData" file is not the portable layout.
  { std::ofstream(exe.path() / "KesuData") << "x"; }
  EXPECT_EQ(resolve_data_dir(with({}), exe.path()), user_default(home));
  fs::remove(exe.path() / "KesuData");

  // portable.txt selects it and the folder is created on first use.
  { std::ofstream(exe.path() / "portable.txt") << ""; }
  EXPECT_EQ(resolve_data_dir(with({}), exe.path()), exe.path() / "KesuData");
  EXPECT_TRUE(fs::is_directory(exe.path() / "KesuData"));
  // The folder alone is enough from then on.
  fs::remove(exe.path() / "portable.txt");
  EXPECT_EQ(resolve_data_dir(with({}), exe.path()), exe.path() / "KesuData");
}

#ifndef _WIN32
TEST(DataDir, XdgDataHomeOnlyWhenAbsolute) {
  EXPECT_EQ(resolve_data_dir(env_of({{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}), std::nullopt),
            fs::path("/d/kesu"));
  EXPECT_EQ(resolve_data_dir(env_of({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}}), std::nullopt),
            fs::path("/h/.local/share/kesu"));
  EXPECT_EQ(resolve_data_dir(env_of({}), std::nullopt), fs::path("./kesu"));
}
#endif
