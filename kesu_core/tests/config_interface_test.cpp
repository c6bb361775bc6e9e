// Settings through the C interface: reading both forms, patches and whole-file replacement,
// the "config_changed" event, and the settings the dictation path follows.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;
namespace fs = std::filesystem;

class ConfigInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sc.core, nullptr);
    rec.attach(sc.core);
  }

  Json config() { return Json::parse(CoreString(kesu_get_config_json(sc.core)).str()); }
  std::string toml() { return CoreString(kesu_get_config_toml(sc.core)).str(); }
  std::string file_text() {
    std::ifstream in(sc.dir.path() / "config.toml", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Sets a JSON patch and waits for the worker to save and announce it.
  Json set_json(const std::string& patch) {
    rec.reset();
    char* err = nullptr;
    const int rc = kesu_set_config_json(sc.core, patch.c_str(), &err);
    EXPECT_EQ(rc, KESU_OK) << CoreString(err).str();
    return rec.wait_for_type("config_changed");
  }

  EventRecorder rec;
  ScopedCore sc;
};

TEST_F(ConfigInterface, FreshCoreReportsDefaultsInBothForms) {
  const Json c = config();
  EXPECT_EQ(c["dir"], sc.dir.utf8());
  EXPECT_EQ(c["engine"], "sense");
  EXPECT_EQ(c["min_record_ms"], 400);
  EXPECT_TRUE(c["load_warning"].is_null());
  EXPECT_EQ(toml(), file_text());  // the first start wrote the defaults
}

TEST_F(ConfigInterface, PatchIsStoredSavedAndAnnounced) {
  const Json changed = set_json(R"({"min_record_ms": 20, "engine": "stub", "hotkey": "F9"})");
  ASSERT_FALSE(changed.is_null());
  EXPECT_EQ(changed["payload"]["engine"], "stub");
  const std::string announced = changed["payload"]["toml"];
  EXPECT_NE(announced.find("min_record_ms = 100\n"), std::string::npos);
  EXPECT_EQ(announced, toml());
  EXPECT_EQ(file_text(), announced);
  EXPECT_EQ(config()["hotkey"], "F9");
}

TEST_F(ConfigInterface, SecretsNeverLeaveThroughTheJsonForm) {
  set_json(R"({"polish_api_key": " sk-top-secret ", "lan_token": "lan-top-secret"})");
  const std::string json_text = CoreString(kesu_get_config_json(sc.core)).str();
  EXPECT_EQ(json_text.find("top-secret"), std::string::npos);
  EXPECT_EQ(config()["polish_has_key"], true);
  EXPECT_EQ(config()["lan_has_token"], true);
  EXPECT_NE(toml().find("api_key = \"sk-top-secret\""), std::string::npos);  // the file keeps it
}

TEST_F(ConfigInterface, RefusedPatchesChangeNothing) {
  const std::string before = toml();
  char* err = nullptr;
  EXPECT_EQ(kesu_set_config_json(sc.core, R"({"engine":"whisper","min_record_ms":300})", &err),
            KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "engine 只能是 sense/qwen3/stub，收到「whisper」");
  err = nullptr;
  EXPECT_EQ(kesu_set_config_toml(sc.core, "[engine]\nactive = \"whisper\"\n", &err),
            KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "engine.active 只能是 sense / qwen3 / stub，收到「whisper」");
  EXPECT_EQ(toml(), before);
}

TEST_F(ConfigInterface, TomlReplacesTheWholeRecord) {
  set_json(R"({"history_limit": 5, "device": "USB"})");
  rec.reset();
  ASSERT_EQ(kesu_set_config_toml(sc.core, "[audio]\nmax_record_secs = 30\n", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
  const Json c = config();
  EXPECT_EQ(c["max_record_secs"], 30);
  EXPECT_EQ(c["history_limit"], 200);  // not in the text: back to its default
  EXPECT_EQ(c["device"], "");
  EXPECT_EQ(c["dir"], sc.dir.utf8());  // the core directory stays
}

// A pasted file meets the same rules as a patch: numbers are held to their ranges (and the
// warning says which), an unknown engine or polish level refuses the whole text.
TEST_F(ConfigInterface, TomlMeetsThePatchRules) {
  struct Case {
    const char* text;
    const char* member;
    Json shown;
  };
  const Case accepted[] = {
      {"[lan]\nport = 80\n", "lan_port", 1024},
      {"[engine]\nnum_threads = 100000\n", "num_threads", 8},
      {"[audio]\nvoice_lock_threshold = 5.0\n", "voice_lock_threshold", 0.95},
      {"[audio]\nvoice_lock_threshold = nan\n", "voice_lock_threshold", 0.62},
      {"[history]\nlimit = 99999\n", "history_limit", 2000},
  };
  for (const Case& c : accepted) {
    SCOPED_TRACE(c.text);
    rec.reset();
    char* err = nullptr;
    ASSERT_EQ(kesu_set_config_toml(sc.core, c.text, &err), KESU_OK) << CoreString(err).str();
    ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
    const Json shown = config();
    EXPECT_EQ(shown[c.member], c.shown);
    ASSERT_TRUE(shown["load_warning"].is_string());
    EXPECT_EQ(shown["load_warning"].get<std::string>().rfind("配置里有值不合规定，已按规则调整：", 0), 0u);
  }
  set_json(R"({"device": "USB"})");
  EXPECT_TRUE(config()["load_warning"].is_null());  // a patch clears the warning

  const std::string before = toml();
  const std::pair<const char*, const char*> refused[] = {
      {"[engine]\nactive = \"bogus\"\n", "engine.active 只能是 sense / qwen3 / stub，收到「bogus」"},
      {"[polish]\nlevel = \"max\"\n", "polish.level 只能是 off / light / medium / strong，收到「max」"},
  };
  for (const auto& [text, message] : refused) {
    char* err = nullptr;
    EXPECT_EQ(kesu_set_config_toml(sc.core, text, &err), KESU_ERR_FAILED);
    EXPECT_EQ(CoreString(err).str(), message);
  }
  EXPECT_EQ(toml(), before);
}

TEST_F(ConfigInterface, MalformedInputsAreRefusedWithoutHarm) {
  const std::string before = toml();
  const std::string inputs[] = {
      "{", "[]", "null", "\"x\"", std::string(100000, '['), std::string(50000, '{'),
      "{\"a\":" + std::string(3000, '['),
      "[engine\n", "engine = ", "[[engine]]\nactive=1", std::string(20000, '[') + "x",
      "{\"min_record_ms\": 1e999999}", "\xff\xfe{}",
  };
  for (const std::string& input : inputs) {
    char* err = nullptr;
    const int json_rc = kesu_set_config_json(sc.core, input.c_str(), &err);
    EXPECT_TRUE(json_rc == KESU_ERR_FAILED || json_rc == KESU_ERR_ARGUMENT) << input.substr(0, 40);
    EXPECT_NE(err, nullptr);
    kesu_string_free(err);
    err = nullptr;
    const int toml_rc = kesu_set_config_toml(sc.core, input.c_str(), &err);
    EXPECT_TRUE(toml_rc == KESU_ERR_FAILED || toml_rc == KESU_ERR_ARGUMENT) << input.substr(0, 40);
    EXPECT_NE(err, nullptr);
    kesu_string_free(err);
  }
  EXPECT_EQ(toml(), before);
}

TEST_F(ConfigInterface, FailedSaveIsReportedAndTheNewValuesStayInMemory) {
  fs::create_directories(sc.dir.path() / "config.toml.tmp");  // the save cannot write
  const std::string before = file_text();
  ASSERT_EQ(kesu_set_config_json(sc.core, R"({"history_limit": 9})", nullptr), KESU_OK);
  const Json failed = rec.wait_for_error("config_save_failed");
  ASSERT_FALSE(failed.is_null());
  const std::string message = failed["payload"]["message"];
  EXPECT_EQ(message.rfind("保存配置失败：写配置失败：", 0), 0u) << message;
  EXPECT_FALSE(rec.wait_for_type("config_changed").is_null());  // still announced
  EXPECT_EQ(config()["history_limit"], 9);
  EXPECT_EQ(file_text(), before);
}

TEST_F(ConfigInterface, LoadWarningIsReportedUntilAPatchClearsIt) {
  TempDir dir;
  std::ofstream(dir.path() / "config.toml") << "this is not toml = = =\n";
  KesuCore* core = kesu_core_new(dir.utf8().c_str());
  ASSERT_NE(core, nullptr);
  Json c = Json::parse(CoreString(kesu_get_config_json(core)).str());
  ASSERT_TRUE(c["load_warning"].is_string());
  EXPECT_NE(c["load_warning"].get<std::string>().find("config.toml.broken"), std::string::npos);
  ASSERT_EQ(kesu_set_config_json(core, "{}", nullptr), KESU_OK);
  c = Json::parse(CoreString(kesu_get_config_json(core)).str());
  EXPECT_TRUE(c["load_warning"].is_null());
  kesu_core_free(core);
}

TEST_F(ConfigInterface, DictationFollowsInsertModeAndPrivacy) {
  kesu_set_test_mode(sc.core, 1);
  set_json(R"({"insert_per_app": {"notepad": "打字"}, "privacy_mode": true})");
  set_env("KESU_KEEP_PENDING", "1");  // even so, privacy mode writes nothing
  rec.reset();
  ASSERT_EQ(kesu_note_foreground_app(sc.core, "NOTEPAD.EXE"), KESU_OK);
  ASSERT_EQ(kesu_debug_submit_text(sc.core, "私密"), KESU_OK);
  const Json request = rec.wait_for_type("submit_request");
  set_env("KESU_KEEP_PENDING", nullptr);
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(request["payload"]["mode"], "keystroke");
  EXPECT_EQ(rec.wait_for_type("result")["payload"]["privacy"], true);
  EXPECT_FALSE(fs::exists(sc.dir.path() / "pending" / "last_result.txt"));
}

}  // namespace
