// Polish profiles: the file byte for byte, every load fallback, level normalisation, the JSON
// forms and the setters.

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "profiles/profile_file.h"
#include "profiles/profile_json.h"
#include "profiles/profile_store.h"
#include "support/event_recorder.h"

namespace {

// The sentence a refused call hands back; empty when it was not refused.
template <class Outcome>
std::string refusal(const Outcome& outcome) {
  return outcome.ok() ? std::string() : kesu::user_message(outcome.error());
}

namespace fs = std::filesystem;
using kesu::Profile;
using kesu::ProfileList;
using kesu_test::TempDir;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_text(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

constexpr const char* kBuiltinFile =
    "# Kesu 润色 profile：一条 [[profile]] 就是一档风格\n"
    "# level = off / light / medium / strong；prompt 会拼在通用润色规则后面\n"
    "\n"
    "active = \"日常\"\n"
    "\n"
    "[[profile]]\n"
    "name = \"日常\"\n"
    "icon = \"message\"\n"
    "level = \"light\"\n"
    "prompt = \"\"\n"
    "slot = \"CTRL+ALT+1\"\n"
    "\n"
    "[[profile]]\n"
    "name = \"邮件\"\n"
    "icon = \"envelope\"\n"
    "level = \"strong\"\n"
    "prompt = \"整理成邮件正文：分点清晰，语气礼貌但不套话，不编造称呼、称呼用「你」\"\n"
    "slot = \"CTRL+ALT+2\"\n"
    "\n"
    "[[profile]]\n"
    "name = \"笔记\"\n"
    "icon = \"note.text\"\n"
    "level = \"medium\"\n"
    "prompt = \"保留口语里的顺序和要点，可以用短句和分号，不要总结成结论\"\n"
    "slot = \"CTRL+ALT+3\"\n"
    "\n";

ProfileList builtins() { return {kesu::builtin_profiles(), "日常"}; }

TEST(ProfileFile, MissingFileGetsTheBuiltinsWrittenExactly) {
  TempDir dir;
  const fs::path path = kesu::profiles_path(dir.path());
  const ProfileList list = kesu::load_profiles(path);
  EXPECT_EQ(list.profiles, kesu::builtin_profiles());
  EXPECT_EQ(list.active, "日常");
  EXPECT_EQ(read_text(path), kBuiltinFile);
  EXPECT_FALSE(fs::exists(dir.path() / "profiles.tmp"));
}

TEST(ProfileFile, EscapedValuesReadBack) {
  ProfileList list{{{"引号\"与\\反斜杠", "i", "off", "第一行\n第二行\r\t制表\x01控制", "F1"}}, ""};
  list.active = list.profiles[0].name;
  const std::string text = kesu::render_profiles(list);
  EXPECT_NE(text.find("prompt = \"第一行\\n第二行\\r\\t制表\\u0001控制\"\n"), std::string::npos) << text;
  auto back = kesu::parse_profiles_text(text);
  ASSERT_TRUE(back.ok()) << kesu::user_message(back.error());
  EXPECT_EQ(back.value().profiles, list.profiles);
  EXPECT_EQ(back.value().active, list.active);
}

// Each file is loaded as the core would at start; `rewritten` says whether the file changed.
TEST(ProfileFile, LoadFallbacks) {
  struct Case {
    const char* why;
    std::string file;
    std::vector<std::string> names;
    std::string active;
    bool rewritten;
  };
  const std::string header = "active = \"乙\"\n";
  const Case cases[] = {
      {"whitespace-only name: no profiles, built-ins, file kept",
       "[[profile]]\nname = \"  \"\nslot = \"F1\"\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"syntax error: built-ins, file kept", "[[profile]\nname = \"甲\"\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"malformed table header", "[[.x]]\nname = \"甲\"\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"name missing", "[[profile]]\nicon = \"x\"\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"wrong type", "[[profile]]\nname = \"甲\"\nlevel = 3\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"not UTF-8: built-ins, file kept", "[[profile]]\nname = \"\xbc\xd7\"\n", {"日常", "邮件", "笔记"}, "日常", false},
      {"active names a profile", header + "[[profile]]\nname = \"甲\"\nslot = \"F1\"\n[[profile]]\nname = \" 乙 \"\n",
       {"甲", "乙"}, "乙", false},
      {"unknown active: first", "active = \"丙\"\n[[profile]]\nname = \"甲\"\nslot = \"F1\"\n", {"甲"}, "甲", false},
      {"no slots anywhere: migrated and written",
       "[[profile]]\nname = \"a\"\n[[profile]]\nname = \"b\"\n[[profile]]\nname = \"c\"\n[[profile]]\nname = \"d\"\n",
       {"a", "b", "c", "d"}, "a", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    const fs::path path = kesu::profiles_path(dir.path());
    write_text(path, c.file);
    const ProfileList list = kesu::load_profiles(path);
    std::vector<std::string> names;
    for (const Profile& p : list.profiles) names.push_back(p.name);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(list.active, c.active);
    EXPECT_EQ(read_text(path) != c.file, c.rewritten);
    if (c.rewritten) {
      EXPECT_EQ(read_text(path), kesu::render_profiles(list));
    }
  }
}

TEST(ProfileFile, SlotMigrationGivesOnlyTheFirstThree) {
  TempDir dir;
  const fs::path path = kesu::profiles_path(dir.path());
  write_text(path, "[[profile]]\nname = \"a\"\n[[profile]]\nname = \"b\"\n[[profile]]\nname = \"c\"\n"
                   "[[profile]]\nname = \"d\"\nslot = \"  \"\n");
  const ProfileList list = kesu::load_profiles(path);
  ASSERT_EQ(list.profiles.size(), 4u);
  EXPECT_EQ(list.profiles[0].slot, "CTRL+ALT+1");
  EXPECT_EQ(list.profiles[2].slot, "CTRL+ALT+3");
  EXPECT_EQ(list.profiles[3].slot, "");
}

TEST(ProfileLevels, NormalisedInFileAndJson) {
  struct Case {
    const char* level;  // nullptr: no level at all
    const char* stored;
  };
  const Case cases[] = {{"中度", "medium"}, {" STRONG ", "strong"}, {"关", "off"}, {"轻", "light"},
                        {"extreme", "light"}, {"", "light"}, {nullptr, "light"}};
  for (const Case& c : cases) {
    const std::string level_line = c.level ? std::string("level = \"") + c.level + "\"\n" : "";
    auto from_file = kesu::parse_profiles_text("[[profile]]\nname = \"甲\"\n" + level_line);
    ASSERT_TRUE(from_file.ok());
    EXPECT_EQ(from_file.value().profiles[0].level, c.stored) << (c.level ? c.level : "none");

    nlohmann::json item = {{"name", "甲"}};
    if (c.level) item["level"] = c.level;
    auto from_json = kesu::profiles_from_json(nlohmann::json::array({item}).dump());
    ASSERT_TRUE(from_json.ok());
    EXPECT_EQ(from_json.value().profiles[0].level, c.stored) << (c.level ? c.level : "none");
  }
}

TEST(ProfileJson, OutputHasSortedKeysAndMarksTheActiveOne) {
  ProfileList list{{{"甲", "message", "light", "", "F1"}, {"乙", "note.text", "off", "p", ""}}, "乙"};
  EXPECT_EQ(kesu::profiles_to_json(list, std::nullopt).dump(),
            R"({"active":"乙","path":null,"profiles":[)"
            R"({"active":false,"icon":"message","level":"light","name":"甲","prompt":"","slot":"F1"},)"
            R"({"active":true,"icon":"note.text","level":"off","name":"乙","prompt":"p","slot":""}]})");
  EXPECT_EQ(kesu::profiles_to_json(list, fs::path("/d/profiles.toml"))["path"], "/d/profiles.toml");
}

TEST(ProfileJson, InputForms) {
  struct Case {
    const char* text;
    std::vector<Profile> profiles;
    const char* active;
  };
  const Case cases[] = {
      {R"([{"name":" 甲 ","icon":"i","prompt":" p ","slot":" s ","level":"重"}])",
       {{"甲", "i", "strong", " p ", " s "}}, "甲"},
      {R"({"active":"乙","profiles":[{"name":"甲"},{"name":"乙","icon":5},{"name":""},{"icon":"x"},7]})",
       {{"甲", "", "light", "", ""}, {"乙", "", "light", "", ""}}, "乙"},
      {R"({"active":"丙","profiles":[{"name":"甲"}]})", {{"甲", "", "light", "", ""}}, "甲"},
      {R"({"active":" 甲","profiles":[{"name":"甲"},{"name":"乙"}]})",
       {{"甲", "", "light", "", ""}, {"乙", "", "light", "", ""}}, "甲"},
  };
  for (const Case& c : cases) {
    auto parsed = kesu::profiles_from_json(c.text);
    ASSERT_TRUE(parsed.ok()) << c.text;
    EXPECT_EQ(parsed.value().profiles, c.profiles) << c.text;
    EXPECT_EQ(parsed.value().active, c.active) << c.text;
  }
  for (const char* text : {"{}", R"({"profiles":{}})", "\"x\"", "null"}) {
    EXPECT_EQ(refusal(kesu::profiles_from_json(text)), "缺少 profiles 数组") << text;
  }
  for (const char* text : {"[]", R"({"profiles":[{"name":"  "}]})"}) {
    EXPECT_EQ(refusal(kesu::profiles_from_json(text)), "至少要有一个 profile") << text;
  }
  EXPECT_FALSE(refusal(kesu::profiles_from_json("[{")).empty());
}

TEST(ProfileStore, SettersKeepTheListOnRefusalAndWriteOnSuccess) {
  TempDir dir;
  const fs::path path = kesu::profiles_path(dir.path());
  kesu::ProfileStore store(builtins(), path);

  EXPECT_EQ(refusal(store.set_profiles_json("[]")), "至少要有一个 profile");
  EXPECT_EQ(refusal(store.set_active(" 日常")), "没有叫「 日常」的 profile");
  EXPECT_EQ(store.active_profile().name, "日常");
  EXPECT_FALSE(fs::exists(path));

  EXPECT_TRUE(store.set_active("笔记").ok());
  EXPECT_EQ(store.active_profile().level, "medium");
  EXPECT_EQ(kesu::parse_profiles_text(read_text(path)).value().active, "笔记");

  EXPECT_TRUE(store.set_profiles_json(R"({"active":"无","profiles":[{"name":"甲","level":"中度"}]})").ok());
  EXPECT_EQ(store.active_profile(), (Profile{"甲", "", "medium", "", ""}));
  EXPECT_EQ(store.to_json()["active"], "甲");
  EXPECT_NE(read_text(path).find("level = \"medium\""), std::string::npos);
}

TEST(ProfileStore, AFailedWriteIsReportedButTheChoiceStays) {
  TempDir dir;
  write_text(dir.path() / "blocker", "x");
  kesu::ProfileStore store(builtins(), dir.path() / "blocker" / "profiles.toml");
  const std::string error = refusal(store.set_active("邮件"));
  EXPECT_EQ(error.rfind("写 profiles.toml 失败：", 0), 0u) << error;
  EXPECT_EQ(store.active_profile().name, "邮件");
}

}  // namespace
