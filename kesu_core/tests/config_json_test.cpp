#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "config/config_json.h"
#include "config/config_rules.h"
#include "support/event_recorder.h"

namespace {

using kesu::ConfigRecord;
using nlohmann::json;

ConfigRecord base_record() {
  ConfigRecord r = kesu::default_config("/kesu");
  r.load_warning = kesu::Error{kesu::ErrorCode::other, "旧的警告"};
  return r;
}

// Each patch is applied to the same base; the expected record is the base with `change` made to
// it, so any member that moves without being asked to fails the comparison.
TEST(ConfigJson, PatchTable) {
  struct Case {
    const char* patch;
    std::function<void(ConfigRecord&)> change;
  };
  const Case cases[] = {
      {R"({})", [](ConfigRecord&) {}},
      {R"({"min_record_ms": 20})", [](ConfigRecord& r) { r.audio_min_record_ms = 100; }},
      {R"({"min_record_ms": 99999})", [](ConfigRecord& r) { r.audio_min_record_ms = 10000; }},
      {R"({"max_record_secs": 9999})", [](ConfigRecord& r) { r.audio_max_record_secs = 600; }},
      {R"({"max_record_secs": 1})", [](ConfigRecord& r) { r.audio_max_record_secs = 5; }},
      {R"({"num_threads": 0})", [](ConfigRecord& r) { r.engine_num_threads = 1; }},
      {R"({"num_threads": 64})", [](ConfigRecord& r) { r.engine_num_threads = 8; }},
      {R"({"lan_port": 80})", [](ConfigRecord& r) { r.lan_port = 1024; }},
      {R"({"lan_port": 8080})", [](ConfigRecord& r) { r.lan_port = 8080; }},
      {R"({"lan_port": 70000})", [](ConfigRecord& r) { r.lan_port = 65535; }},
      {R"({"polish_timeout_ms": 1})", [](ConfigRecord& r) { r.polish_timeout_ms = 500; }},
      {R"({"polish_timeout_ms": 999999})", [](ConfigRecord& r) { r.polish_timeout_ms = 20000; }},
      {R"({"history_limit": 5000})", [](ConfigRecord& r) { r.history_limit = 2000; }},
      {R"({"history_limit": 0})", [](ConfigRecord& r) { r.history_limit = 0; }},
      {R"({"voice_lock_threshold": 0.1})", [](ConfigRecord& r) { r.audio_voice_lock_threshold = 0.3; }},
      {R"({"voice_lock_threshold": 2})", [](ConfigRecord& r) { r.audio_voice_lock_threshold = 0.95; }},
      {R"({"voice_lock_threshold": 0.7})", [](ConfigRecord& r) { r.audio_voice_lock_threshold = 0.7; }},
      // Wrong types, null and unknown members change nothing.
      {R"({"min_record_ms": "300", "pause_media": "true", "device": 5, "punct": null})", [](ConfigRecord&) {}},
      {R"({"min_record_ms": -5, "history_limit": 1.5, "num_threads": true})", [](ConfigRecord&) {}},
      {R"({"no_such_key": 1, "privacy": "yes"})", [](ConfigRecord&) {}},
      // Levels and modes, in English and Chinese.
      {R"({"polish_level": "中度"})", [](ConfigRecord& r) { r.polish_level = "medium"; r.polish_enabled = true; }},
      {R"({"polish_level": " Strong "})", [](ConfigRecord& r) { r.polish_level = "strong"; r.polish_enabled = true; }},
      {R"({"polish_level": "关"})", [](ConfigRecord& r) { r.polish_level = "off"; r.polish_enabled = false; }},
      {R"({"polish_level": "轻", "polish_enabled": false})", [](ConfigRecord& r) { r.polish_level = "light"; }},
      {R"({"polish_enabled": true})", [](ConfigRecord& r) { r.polish_enabled = true; }},
      {R"({"insert_mode": "打字"})", [](ConfigRecord& r) { r.insert_mode = "keystroke"; }},
      {R"({"insert_mode": " TYPE "})", [](ConfigRecord& r) { r.insert_mode = "keystroke"; }},
      {R"({"insert_mode": "粘贴"})", [](ConfigRecord& r) { r.insert_mode = "paste"; }},
      {R"({"insert_mode": "fast"})", [](ConfigRecord&) {}},
      {R"({"insert_per_app": {"notepad.exe": "打字", "x": "fast", "y": 3}})",
       [](ConfigRecord& r) { r.insert_per_app = {{"notepad.exe", "keystroke"}}; }},
      {R"({"polish_api_key": "  sk-1 \n", "lan_token": "\ttok "})",
       [](ConfigRecord& r) { r.polish_api_key = "sk-1"; r.lan_token = "tok"; }},
      {R"({"privacy": {"enabled": true}})", [](ConfigRecord& r) { r.privacy_enabled = true; }},
      {R"({"privacy_mode": true, "history_enabled": false})",
       [](ConfigRecord& r) { r.privacy_enabled = true; r.history_enabled = false; }},
      {R"({"engine": "qwen3", "hotkey": "CTRL+SPACE", "device": "USB 麦克风"})",
       [](ConfigRecord& r) { r.engine_active = "qwen3"; r.hotkey_keys = "CTRL+SPACE"; r.audio_device = "USB 麦克风"; }},
      {R"({"model_mirror": "", "diag_upload_url": "http://127.0.0.1/u", "polish_model": "m"})",
       [](ConfigRecord& r) { r.diag_upload_url = "http://127.0.0.1/u"; r.polish_model = "m"; }},
      {R"({"onboarding_done": true, "mini_window": false, "lan_allow_lan": true, "source_lock": true})",
       [](ConfigRecord& r) { r.ui_onboarding_done = true; r.ui_mini_window = false; r.lan_allow_lan = true; r.audio_source_lock = true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.patch);
    const kesu::Result<ConfigRecord> result = kesu::apply_config_json(base_record(), c.patch);
    ASSERT_TRUE(result.ok()) << kesu::user_message(result.error());
    ConfigRecord expected = base_record();
    c.change(expected);
    expected.load_warning.reset();  // any accepted patch clears it
    EXPECT_EQ(*result, expected);
  }
}

TEST(ConfigJson, HomeIsExpandedInModelPaths) {
  kesu_test::set_env("HOME", "/home/用户");
  struct Case {
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"~/models/sense", "/home/用户/models/sense"},
      {"~\\models", "/home/用户\\models"},
      {"~user/x", "~user/x"},
      {"/abs/~/x", "/abs/~/x"},
  };
  for (const Case& c : cases) {
    const json patch = {{"model_dir", c.value}, {"vad_model", c.value}, {"qwen3_dir", c.value}};
    const kesu::Result<ConfigRecord> result = kesu::apply_config_json(base_record(), patch.dump());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result->models_dir, c.expected);
    EXPECT_EQ(result->models_vad, c.expected);
    EXPECT_EQ(result->models_qwen3, c.expected);
  }
}

TEST(ConfigJson, WholeCallFailuresNameTheValue) {
  struct Case {
    const char* patch;
    const char* error;
  };
  const Case cases[] = {
      {R"({"engine": "whisper", "min_record_ms": 300})", "engine 只能是 sense/qwen3/stub，收到「whisper」"},
      {R"({"polish_level": "max"})", "polish.level 只能是 off / light / medium / strong，收到「max」"},
      {R"([1, 2])", "配置必须是一个 JSON 对象"},
      {R"("text")", "配置必须是一个 JSON 对象"},
  };
  for (const Case& c : cases) {
    const kesu::Result<ConfigRecord> result = kesu::apply_config_json(base_record(), c.patch);
    ASSERT_FALSE(result.ok()) << c.patch;
    EXPECT_EQ(kesu::user_message(result.error()), c.error);
  }
  std::vector<std::string> unparsable = {"{", "{\"a\":\"\xff\"}", "", R"({"min_record_ms": 1e400})"};
  std::string deep(100000, '[');
  deep.back() = '1';
  unparsable.push_back(deep);
  for (const std::string& bad : unparsable) {
    const kesu::Result<ConfigRecord> result = kesu::apply_config_json(base_record(), bad);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, kesu::ErrorCode::config_json_invalid);
    EXPECT_EQ(kesu::user_message(result.error()).rfind("配置不是合法的 JSON：", 0), 0u)
        << kesu::user_message(result.error());
  }
}

TEST(ConfigJson, FlatFormHidesSecretsAndReportsReadiness) {
  ConfigRecord r = base_record();
  r.polish_api_key = "sk-very-secret";
  r.lan_token = "lan-very-secret";
  r.insert_per_app = {{"word", "paste"}};
  kesu::ConfigReadiness ready;
  ready.punct_ready = true;
  const json out = kesu::render_config_json(r, ready);
  const std::string text = out.dump();
  EXPECT_EQ(text.find("very-secret"), std::string::npos);
  EXPECT_FALSE(out.contains("polish_api_key"));
  EXPECT_FALSE(out.contains("lan_token"));
  EXPECT_EQ(out["polish_has_key"], true);
  EXPECT_EQ(out["lan_has_token"], true);
  EXPECT_EQ(out["punct_ready"], true);
  EXPECT_EQ(out["denoise_ready"], false);
  EXPECT_EQ(out["insert_per_app"], json({{"word", "paste"}}));
  EXPECT_EQ(out["load_warning"], "旧的警告");
  EXPECT_EQ(out["dir"], "/kesu");
  EXPECT_EQ(out.size(), 43u);  // every member of the flat form, no more

  r.load_warning.reset();
  r.polish_api_key.clear();
  const json clean = kesu::render_config_json(r, {});
  EXPECT_TRUE(clean["load_warning"].is_null());
  EXPECT_EQ(clean["polish_has_key"], false);
}

TEST(ConfigRules, InsertModeForTheForegroundApplication) {
  ConfigRecord r = base_record();
  r.insert_per_app = {{"notepad", "keystroke"}, {"notepad++", "paste"}, {"微信", "keystroke"}};
  struct Case {
    const char* app;
    const char* mode;
  };
  const Case cases[] = {
      {"NOTEPAD.EXE", "keystroke"},  // case-insensitive containment
      {"notepad++.exe", "paste"},    // the longer, more specific entry wins
      {"微信.exe", "keystroke"},
      {"code.exe", "paste"},         // no entry: the default mode
      {"", "paste"},
  };
  for (const Case& c : cases) EXPECT_EQ(kesu::insert_mode_for_app(r, c.app), c.mode) << c.app;
}

}  // namespace
