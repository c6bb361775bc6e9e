// History, hotwords and profiles through the C interface, as the shell's pages use them.

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

namespace fs = std::filesystem;
using namespace kesu_test;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_text(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

Json get_json(char* text) {
  CoreString s(text);
  EXPECT_NE(s.s, nullptr);
  return s.s ? Json::parse(s.str()) : Json();
}

std::string history_entry(const char* id) {
  return std::string(R"({"id":")") + id +
         R"(","at":"2024-05-01T09:30:00Z","text":"你好","status":"inserted","app":"a.exe",)"
         R"("chars":2,"ms":900,"retryable":false,"latency_ms":120})";
}

// A core over a directory that already holds a history from an earlier run.
struct SeededCore {
  TempDir dir;
  KesuCore* core = nullptr;
  EventRecorder events;
  SeededCore() {
    write_text(dir.path() / "history.json",
               "[" + history_entry("h3") + "," + history_entry("h2") + "," + history_entry("h1") + "]");
    write_text(dir.path() / "stats.json",
               R"({"sessions":3,"segments":3,"chars":6,"speech_ms":2700,"decode_ms":300,)"
               R"("latencies":[100,120,140],"since":"2024-05-01","days":{}})");
    core = kesu_core_new(dir.utf8().c_str());
    events.attach(core);
  }
  ~SeededCore() { kesu_core_free(core); }
};

TEST(HistoryInterface, ReadDeleteAndClear) {
  SeededCore sc;
  ASSERT_NE(sc.core, nullptr);
  EXPECT_EQ(CoreString(kesu_get_history(sc.core, 0)).str(), "[]");
  EXPECT_EQ(CoreString(kesu_get_history(sc.core, 1)).str(), "[" + history_entry("h3") + "]");
  EXPECT_EQ(get_json(kesu_get_history(sc.core, 50)).size(), 3u);

  const Json stats = get_json(kesu_get_stats(sc.core));
  EXPECT_EQ(stats["history_count"], 3);
  EXPECT_EQ(stats["latency"].dump(), R"({"count":3,"max":140,"min":100,"p50":120,"p95":140})");

  EXPECT_EQ(kesu_delete_history(sc.core, "h9"), KESU_ERR_ARGUMENT);
  EXPECT_EQ(kesu_delete_history(sc.core, "h2"), KESU_OK);
  const Json changed = sc.events.wait_for_type("history_changed");
  ASSERT_FALSE(changed.is_null());
  EXPECT_EQ(changed["seq"], 0);
  EXPECT_EQ(changed["session"], 0);
  EXPECT_EQ(changed["generation"], 0);
  EXPECT_EQ(changed["payload"]["history_count"], 2);
  // Only the successful delete announced itself.
  int announced = 0;
  for (const Json& e : sc.events.events()) announced += e["type"] == "history_changed";
  EXPECT_EQ(announced, 1);

  EXPECT_EQ(kesu_clear_history(sc.core), KESU_OK);
  EXPECT_EQ(CoreString(kesu_get_history(sc.core, 10)).str(), "[]");
  EXPECT_EQ(read_text(sc.dir.path() / "history.json"), "[]");
  EXPECT_FALSE(sc.events.wait_for([](const Json& e) {
    return e["type"] == "history_changed" && e["payload"]["history_count"] == 0 &&
           e["payload"]["sessions"] == 3;
  }).is_null());
}

TEST(HistoryInterface, SwitchingHistoryOffHidesItAndOnShowsItAgain) {
  SeededCore sc;
  ASSERT_EQ(kesu_set_config_json(sc.core, R"({"history_enabled": false})", nullptr), KESU_OK);
  ASSERT_FALSE(sc.events.wait_for_type("config_changed").is_null());
  EXPECT_EQ(CoreString(kesu_get_history(sc.core, 10)).str(), "[]");
  const Json stats = get_json(kesu_get_stats(sc.core));
  EXPECT_EQ(stats["history_enabled"], false);
  EXPECT_EQ(stats["history_count"], 0);

  sc.events.reset();
  ASSERT_EQ(kesu_set_config_json(sc.core, R"({"history_enabled": true})", nullptr), KESU_OK);
  ASSERT_FALSE(sc.events.wait_for_type("config_changed").is_null());
  EXPECT_EQ(get_json(kesu_get_history(sc.core, 10)).size(), 3u);
}

TEST(HotwordsInterface, FirstRunSetAndHandEdits) {
  EventRecorder events;  // outlives the core, whose worker calls it
  ScopedCore sc;
  events.attach(sc.core);
  const fs::path path = sc.dir.path() / "hotwords.toml";
  const Json initial = get_json(kesu_get_hotwords(sc.core));
  EXPECT_EQ(initial["rules"], Json::array());
  EXPECT_FALSE(initial.contains("error"));
  EXPECT_EQ(fs::path(initial["path"].get<std::string>()), path);
  EXPECT_EQ(fs::file_size(path), 199u);

  EXPECT_EQ(kesu_set_hotwords(sc.core, R"({"rules": [{"from":"深度求索","to":"DeepSeek"},{"from":"x","to":"1"},{"from":"x","to":"1"}]})", nullptr),
            KESU_OK);
  Json changed = events.wait_for_type("hotwords_changed");
  ASSERT_FALSE(changed.is_null());
  EXPECT_EQ(changed["payload"].dump(), R"({"count":2})");
  EXPECT_EQ(get_json(kesu_get_hotwords(sc.core))["rules"].size(), 2u);

  events.reset();
  EXPECT_EQ(kesu_set_hotwords(sc.core, "[]", nullptr), KESU_OK);
  changed = events.wait_for_type("hotwords_changed");
  EXPECT_EQ(changed["payload"]["count"], 0);
  EXPECT_EQ(fs::file_size(path), 148u);

  // A hand edit is picked up with the next configuration change, errors included.
  write_text(path, "a = \"b\"\nbroken line\n");
  ASSERT_EQ(kesu_set_config_json(sc.core, R"({"min_record_ms": 500})", nullptr), KESU_OK);
  ASSERT_FALSE(events.wait_for_type("config_changed").is_null());
  const Json edited = get_json(kesu_get_hotwords(sc.core));
  EXPECT_EQ(edited["rules"].dump(), R"([{"from":"a","to":"b"}])");
  EXPECT_EQ(edited["error"], "文件有格式错误（第 2 行），只载入 1 条 · 点「保存热词」重写");
}

TEST(HotwordsInterface, RefusalsKeepTheTable) {
  ScopedCore sc;
  ASSERT_EQ(kesu_set_hotwords(sc.core, R"([{"from":"a","to":"b"}])", nullptr), KESU_OK);
  struct Case {
    const char* text;
    const char* message_start;
  };
  const Case cases[] = {{"{", "热词表格式不对："},
                        {R"({"x": 1})", "热词表缺少 rules 字段"},
                        {"3", "热词表应该是数组或带 rules 的对象"}};
  for (const Case& c : cases) {
    char* err = nullptr;
    EXPECT_EQ(kesu_set_hotwords(sc.core, c.text, &err), KESU_ERR_FAILED);
    EXPECT_EQ(CoreString(err).str().rfind(c.message_start, 0), 0u) << c.text;
  }
  EXPECT_EQ(get_json(kesu_get_hotwords(sc.core))["rules"].dump(), R"([{"from":"a","to":"b"}])");

  // A file that cannot be written: the error comes back and the old table stays.
  fs::remove(sc.dir.path() / "hotwords.toml");
  fs::create_directory(sc.dir.path() / "hotwords.toml");
  char* err = nullptr;
  EXPECT_EQ(kesu_set_hotwords(sc.core, "[]", &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str().rfind("写热词表失败：", 0), 0u);
  EXPECT_EQ(get_json(kesu_get_hotwords(sc.core))["rules"].size(), 1u);
}

TEST(ProfilesInterface, BuiltinsSetAndActivate) {
  ScopedCore sc;
  const Json initial = get_json(kesu_get_profiles(sc.core));
  EXPECT_EQ(initial["active"], "日常");
  EXPECT_EQ(initial["profiles"].size(), 3u);
  EXPECT_EQ(initial["profiles"][0]["active"], true);
  EXPECT_EQ(fs::path(initial["path"].get<std::string>()), sc.dir.path() / "profiles.toml");

  char* err = nullptr;
  EXPECT_EQ(kesu_set_active_profile(sc.core, " 日常", &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "没有叫「 日常」的 profile");
  err = nullptr;
  EXPECT_EQ(kesu_set_profiles(sc.core, "[]", &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "至少要有一个 profile");
  err = nullptr;
  EXPECT_EQ(kesu_set_profiles(sc.core, "{}", &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "缺少 profiles 数组");
  EXPECT_EQ(get_json(kesu_get_profiles(sc.core)), initial);

  EXPECT_EQ(kesu_set_profiles(sc.core, R"({"active":"无","profiles":[{"name":"会议","level":"中度","slot":"F8"},{"name":"代码"}]})", nullptr),
            KESU_OK);
  EXPECT_EQ(kesu_set_active_profile(sc.core, "代码", nullptr), KESU_OK);
  const Json after = get_json(kesu_get_profiles(sc.core));
  EXPECT_EQ(after["active"], "代码");
  EXPECT_EQ(after["profiles"][0]["level"], "medium");

  // A new core over the same directory reads back what was set.
  kesu_core_free(sc.core);
  sc.core = kesu_core_new(sc.dir.utf8().c_str());
  EXPECT_EQ(get_json(kesu_get_profiles(sc.core)), after);
}

}  // namespace
