// The calling conventions every export shares: NULL handles, missing or invalid strings, error
// messages, and the honest refusal of services this core does not carry yet.

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;

constexpr const char* kInvalidUtf8 = "\xff\xfe bad";

struct IntCase {
  const char* name;
  std::function<int(KesuCore*)> call;
};

// Every int-returning export, called with the given handle and otherwise valid arguments.
std::vector<IntCase> int_exports() {
  return {
      {"set_event_cb", [](KesuCore* c) { return kesu_set_event_cb(c, &EventRecorder::callback, nullptr); }},
      {"clear_event_cb", [](KesuCore* c) { return kesu_clear_event_cb(c); }},
      {"set_test_mode", [](KesuCore* c) { return kesu_set_test_mode(c, 1); }},
      {"hotkey_down", [](KesuCore* c) { return kesu_hotkey_down(c); }},
      {"hotkey_up", [](KesuCore* c) { return kesu_hotkey_up(c); }},
      {"cancel", [](KesuCore* c) { return kesu_cancel(c); }},
      {"submit_result", [](KesuCore* c) { return kesu_submit_result(c, "t1-1", "ok", nullptr); }},
      {"note_foreground_app", [](KesuCore* c) { return kesu_note_foreground_app(c, "notepad.exe"); }},
      {"meter_start", [](KesuCore* c) { return kesu_meter_start(c); }},
      {"meter_stop", [](KesuCore* c) { return kesu_meter_stop(c); }},
      {"retry_failed", [](KesuCore* c) { return kesu_retry_failed(c); }},
      {"set_engine", [](KesuCore* c) { return kesu_set_engine(c, "stub"); }},
      {"debug_record", [](KesuCore* c) { return kesu_debug_record(c, 1); }},
      {"debug_submit_text", [](KesuCore* c) { return kesu_debug_submit_text(c, "你好"); }},
      {"debug_panic", [](KesuCore* c) { return kesu_debug_panic(c); }},
      {"decode_wav", [](KesuCore* c) { return kesu_decode_wav(c, "a.wav", nullptr); }},
      {"clear_last_result", [](KesuCore* c) { return kesu_clear_last_result(c); }},
      {"drop_last_result", [](KesuCore* c) { return kesu_drop_last_result(c); }},
      {"retry_segment", [](KesuCore* c) { return kesu_retry_segment(c, 0, nullptr); }},
      {"set_config_json", [](KesuCore* c) { return kesu_set_config_json(c, "{}", nullptr); }},
      {"set_config_toml", [](KesuCore* c) { return kesu_set_config_toml(c, "", nullptr); }},
      {"delete_history", [](KesuCore* c) { return kesu_delete_history(c, "h1"); }},
      {"clear_history", [](KesuCore* c) { return kesu_clear_history(c); }},
      {"set_hotwords", [](KesuCore* c) { return kesu_set_hotwords(c, "", nullptr); }},
      {"set_profiles", [](KesuCore* c) { return kesu_set_profiles(c, "", nullptr); }},
      {"set_active_profile", [](KesuCore* c) { return kesu_set_active_profile(c, "x", nullptr); }},
      {"models_pull", [](KesuCore* c) { return kesu_models_pull(c, "sense", nullptr); }},
      {"upload_diag", [](KesuCore* c) { return kesu_upload_diag(c, "http://127.0.0.1:1/", "b", nullptr); }},
      {"voice_enroll_mic", [](KesuCore* c) { return kesu_voice_enroll_mic(c, 1, nullptr); }},
      {"voice_enroll_wav", [](KesuCore* c) { return kesu_voice_enroll_wav(c, "a.wav", nullptr); }},
      {"voice_clear", [](KesuCore* c) { return kesu_voice_clear(c, nullptr); }},
  };
}

struct StringCase {
  const char* name;
  std::function<char*(KesuCore*)> call;
};

std::vector<StringCase> string_exports() {
  return {
      {"get_last_result", [](KesuCore* c) { return kesu_get_last_result(c); }},
      {"failed_segments", [](KesuCore* c) { return kesu_failed_segments(c); }},
      {"get_config_json", [](KesuCore* c) { return kesu_get_config_json(c); }},
      {"get_config_toml", [](KesuCore* c) { return kesu_get_config_toml(c); }},
      {"list_devices", [](KesuCore* c) { return kesu_list_devices(c); }},
      {"diagnose", [](KesuCore* c) { return kesu_diagnose(c); }},
      {"get_history", [](KesuCore* c) { return kesu_get_history(c, 10); }},
      {"get_stats", [](KesuCore* c) { return kesu_get_stats(c); }},
      {"get_hotwords", [](KesuCore* c) { return kesu_get_hotwords(c); }},
      {"get_profiles", [](KesuCore* c) { return kesu_get_profiles(c); }},
      {"models_list", [](KesuCore* c) { return kesu_models_list(c); }},
      {"lan_log", [](KesuCore* c) { return kesu_lan_log(c); }},
      {"voice_state", [](KesuCore* c) { return kesu_voice_state(c); }},
      {"polish_test", [](KesuCore* c) { return kesu_polish_test(c, nullptr); }},
      {"run_command", [](KesuCore* c) { return kesu_run_command(c, "改写", "文本", nullptr); }},
  };
}

TEST(AbiVersion, IsOnePointFourteenAndAcceptedByAMajorOneHost) {
  EXPECT_EQ(kesu_abi_version(), 0x0001000Eu);
  EXPECT_EQ(KESU_ABI_MAJOR(kesu_abi_version()), 1u);
}

TEST(NullHandle, EveryIntExportReturnsArgumentError) {
  for (const IntCase& c : int_exports()) {
    EXPECT_EQ(c.call(nullptr), KESU_ERR_ARGUMENT) << c.name;
  }
}

TEST(NullHandle, EveryStringExportReturnsNull) {
  for (const StringCase& c : string_exports()) {
    EXPECT_EQ(c.call(nullptr), nullptr) << c.name;
  }
  kesu_core_free(nullptr);
  kesu_string_free(nullptr);
}

TEST(NullHandle, PolishExportsExplainThroughErr) {
  struct Case {
    const char* name;
    std::function<char*(char**)> call;
    const char* message;
  };
  const Case cases[] = {
      {"polish_models", [](char** e) { return kesu_polish_models(nullptr, e); }, "参数错误：core 为空"},
      {"polish_test", [](char** e) { return kesu_polish_test(nullptr, e); }, "core 未初始化"},
      {"run_command", [](char** e) { return kesu_run_command(nullptr, "a", "b", e); }, "core 未初始化"},
  };
  for (const Case& c : cases) {
    char* err = nullptr;
    EXPECT_EQ(c.call(&err), nullptr) << c.name;
    CoreString message(err);
    EXPECT_EQ(message.str(), c.message) << c.name;
  }
}

TEST(PolishExports, WithoutErrReturnsAtOnceAndClearsErrOnEntry) {
  ScopedCore sc;
  EXPECT_EQ(kesu_polish_models(sc.core, nullptr), nullptr);
  char* err = reinterpret_cast<char*>(0x1);  // must be overwritten, never freed
  EXPECT_EQ(kesu_polish_models(sc.core, &err), nullptr);
  ASSERT_NE(err, reinterpret_cast<char*>(0x1));
  kesu_string_free(err);
}

// A required string that is NULL or not UTF-8 counts as missing; each case names the message.
TEST(MissingStrings, NullAndInvalidUtf8AreRefusedWithTheirMessages) {
  struct Case {
    const char* name;
    std::function<int(KesuCore*, const char*, char**)> call;
    int expected;
    const char* message;  // nullptr: the export has no err parameter
  };
  const Case cases[] = {
      {"submit_result task", [](KesuCore* c, const char* s, char**) { return kesu_submit_result(c, s, "ok", nullptr); }, -1, nullptr},
      {"submit_result status", [](KesuCore* c, const char* s, char**) { return kesu_submit_result(c, "t1-1", s, nullptr); }, -1, nullptr},
      {"note_foreground_app", [](KesuCore* c, const char* s, char**) { return kesu_note_foreground_app(c, s); }, -1, nullptr},
      {"set_engine", [](KesuCore* c, const char* s, char**) { return kesu_set_engine(c, s); }, -1, nullptr},
      {"debug_submit_text", [](KesuCore* c, const char* s, char**) { return kesu_debug_submit_text(c, s); }, -1, nullptr},
      {"delete_history", [](KesuCore* c, const char* s, char**) { return kesu_delete_history(c, s); }, -1, nullptr},
      {"decode_wav", [](KesuCore* c, const char* s, char** e) { return kesu_decode_wav(c, s, e); }, -1, "参数错误"},
      {"set_config_json", [](KesuCore* c, const char* s, char** e) { return kesu_set_config_json(c, s, e); }, -1, "配置内容为空"},
      {"set_config_toml", [](KesuCore* c, const char* s, char** e) { return kesu_set_config_toml(c, s, e); }, -1, "配置文本为空"},
      {"set_hotwords", [](KesuCore* c, const char* s, char** e) { return kesu_set_hotwords(c, s, e); }, -1, "热词表为空"},
      {"set_profiles", [](KesuCore* c, const char* s, char** e) { return kesu_set_profiles(c, s, e); }, -1, "profile 列表为空"},
      {"set_active_profile", [](KesuCore* c, const char* s, char** e) { return kesu_set_active_profile(c, s, e); }, -1, "profile 名为空"},
      {"models_pull", [](KesuCore* c, const char* s, char** e) { return kesu_models_pull(c, s, e); }, -1, nullptr},
      {"voice_enroll_wav", [](KesuCore* c, const char* s, char** e) { return kesu_voice_enroll_wav(c, s, e); }, -1, "WAV 路径为空"},
      {"upload_diag url", [](KesuCore* c, const char* s, char** e) { return kesu_upload_diag(c, s, "b", e); }, -3, "上传地址为空"},
      {"upload_diag bundle", [](KesuCore* c, const char* s, char** e) { return kesu_upload_diag(c, "http://x/", s, e); }, -3, "诊断包内容为空"},
  };
  ScopedCore sc;
  for (const Case& c : cases) {
    for (const char* bad : {static_cast<const char*>(nullptr), kInvalidUtf8}) {
      SCOPED_TRACE(std::string(c.name) + (bad ? " invalid" : " null"));
      EXPECT_EQ(c.call(sc.core, bad, nullptr), c.expected);  // a NULL err is accepted
      if (c.message == nullptr) continue;
      char* err = nullptr;
      EXPECT_EQ(c.call(sc.core, bad, &err), c.expected);
      CoreString message(err);
      EXPECT_EQ(message.str(), c.message);
    }
  }
}

TEST(MissingStrings, RunCommandNamesTheBadArgument) {
  ScopedCore sc;
  char* err = nullptr;
  EXPECT_EQ(kesu_run_command(sc.core, kInvalidUtf8, "文本", &err), nullptr);
  EXPECT_EQ(CoreString(err).str(), "指令不是合法 UTF-8");
  err = nullptr;
  EXPECT_EQ(kesu_run_command(sc.core, "改写", nullptr, &err), nullptr);
  EXPECT_EQ(CoreString(err).str(), "文本不是合法 UTF-8");
}

TEST(SetEngine, AcceptsOnlyTheExactEngineNames) {
  ScopedCore sc;
  for (const char* name : {"Sense", "QWEN3", "stub ", "", "whisper"}) {
    EXPECT_EQ(kesu_set_engine(sc.core, name), KESU_ERR_ARGUMENT) << name;
  }
}

TEST(SubmitResult, DetailIsOptional) {
  ScopedCore sc;
  EXPECT_EQ(kesu_submit_result(sc.core, "t9-9", "ok", nullptr), KESU_OK);
  EXPECT_EQ(kesu_submit_result(sc.core, "t9-9", "unknown", kInvalidUtf8), KESU_OK);
}

TEST(FailedSegments, EmptyListAndRetryOfAnUnknownIndex) {
  ScopedCore sc;
  EXPECT_EQ(CoreString(kesu_failed_segments(sc.core)).str(), "[]");
  EXPECT_EQ(kesu_retry_segment(sc.core, -1, nullptr), KESU_ERR_ARGUMENT);
  char* err = nullptr;
  EXPECT_EQ(kesu_retry_segment(sc.core, 3, &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str(), "第 3 段没有可重试的音频");
}

// Without the speaker model, or with an unreadable file, enrolment says why.
TEST(VoiceEnrolment, RefusalsCarryTheirReasons) {
  ScopedCore sc;
  char* err = nullptr;
  EXPECT_EQ(kesu_voice_enroll_mic(sc.core, 1, &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str().rfind("声纹模型还没下载：", 0), 0u);
  err = nullptr;
  EXPECT_EQ(kesu_voice_enroll_wav(sc.core, "no-such.wav", &err), KESU_ERR_FAILED);
  EXPECT_EQ(CoreString(err).str().rfind("读取 WAV 失败：", 0), 0u);
}

// Once kesu_core_free has begun, command exports report "shutting down". The check runs inside
// the event callback, which holds the worker (and so the shutdown) until it has looked.
TEST(Shutdown, CommandExportsRefuseOnceShutdownBegan) {
  struct Probe {
    KesuCore* core = nullptr;
    std::atomic<bool> entered{false};
    std::atomic<bool> saw_shutdown{false};
    std::map<std::string, int> results;
    std::string decode_message, config_message;
    std::string wav;
  } probe;

  TempDir dir;
  probe.wav = dir.utf8() + "/one.wav";
  ASSERT_TRUE(kesu::write_wav_16k_mono(probe.wav, std::vector<float>(1600, 0.1f)).ok());
  probe.core = kesu_core_new(dir.utf8().c_str());
  ASSERT_NE(probe.core, nullptr);
  auto on_event = [](const char* json, void* user) {
    auto* p = static_cast<Probe*>(user);
    if (std::string(json).find("\"submit_request\"") == std::string::npos) return;
    p->entered = true;
    for (int i = 0; i < 500 && kesu_cancel(p->core) != KESU_ERR_SHUTDOWN; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    p->saw_shutdown = kesu_cancel(p->core) == KESU_ERR_SHUTDOWN;
    for (const IntCase& c : int_exports()) p->results[c.name] = c.call(p->core);
    char* err = nullptr;
    kesu_decode_wav(p->core, p->wav.c_str(), &err);
    p->decode_message = CoreString(err).str();
    err = nullptr;
    kesu_set_config_json(p->core, "{}", &err);
    p->config_message = CoreString(err).str();
  };
  ASSERT_EQ(kesu_set_event_cb(probe.core, on_event, &probe), KESU_OK);
  ASSERT_EQ(kesu_debug_submit_text(probe.core, "关机测试"), KESU_OK);
  for (int i = 0; i < 500 && !probe.entered; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(probe.entered);
  kesu_core_free(probe.core);

  ASSERT_TRUE(probe.saw_shutdown);
  for (const char* name : {"set_event_cb", "hotkey_down", "hotkey_up", "cancel", "submit_result",
                           "note_foreground_app", "meter_start", "meter_stop", "retry_failed",
                           "set_engine", "debug_record", "debug_panic", "set_config_json",
                           "set_config_toml"}) {
    EXPECT_EQ(probe.results[name], KESU_ERR_SHUTDOWN) << name;
  }
  EXPECT_EQ(probe.results["debug_submit_text"], KESU_OK);
  EXPECT_EQ(probe.results["decode_wav"], KESU_ERR_FAILED);
  EXPECT_EQ(probe.decode_message, "Kesu 正在退出");
  EXPECT_EQ(probe.config_message, "核心已关机");
}

}  // namespace
