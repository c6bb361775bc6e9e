// Every export from eight threads at once, device calls included, as the header allows. The mix
// runs twice: through the audio library (the machine's devices; the PulseAudio virtual
// microphones in the native run, none under the sanitizers or Wine) and with the simulated
// microphone, so recording and metering really run where there is no device. A crash, a
// sanitizer report or a result outside the documented codes fails it.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;
using namespace std::chrono_literals;

constexpr int kThreads = 8;
// Through the audio library every capture opened by the worker and every listing initialises
// the library (about a second each under ThreadSanitizer), so that mix is shorter.
constexpr int kCallsPerThreadLibrary = 40;
constexpr int kCallsPerThreadSimulated = 300;
constexpr auto kTimeLimit = 3s;  // the rounds stop early when the machine is slow

// What one call must return: a documented code, or for strings JSON, text or nothing.
enum class Returns { code, json, text, maybe_text };

struct Call {
  const char* name;
  int weight;  // device calls come up more often: they are where the library state is shared
  Returns returns;
  std::function<std::string(KesuCore*)> run;  // the string result, or the code as text
};

std::string code(int rc) { return std::to_string(rc); }
std::string text(char* s) {
  CoreString owned(s);
  return owned.s ? owned.str() : std::string("\x01null");
}
// `err` by reference: an argument copied before the call beside it would still be null.
std::string text_and_message(char* s, char*& err) {
  kesu_string_free(err);
  return text(s);
}
std::string code_and_message(int rc, char*& err) {
  kesu_string_free(err);
  return code(rc);
}

// Answers every submit request from inside the callback, as a real shell may, and checks that
// every event is whole JSON.
struct Host {
  KesuCore* core = nullptr;
  std::atomic<int> events{0};
  std::atomic<int> broken{0};
  static void callback(const char* json, void* user) {
    auto* host = static_cast<Host*>(user);
    host->events.fetch_add(1);
    const Json event = Json::parse(json, nullptr, /*allow_exceptions=*/false);
    if (!event.is_object()) {
      host->broken.fetch_add(1);
      return;
    }
    if (event["type"] == "submit_request") {
      const std::string task = event["payload"].value("task_id", "");
      kesu_submit_result(host->core, task.c_str(), "ok", nullptr);
    }
  }
};

std::vector<Call> every_export(const std::string& wav, Host& host) {
  return {
      {"list_devices", 6, Returns::json, [](KesuCore* c) { return text(kesu_list_devices(c)); }},
      {"diagnose", 3, Returns::text, [](KesuCore* c) { return text(kesu_diagnose(c)); }},
      {"meter_start", 4, Returns::code, [](KesuCore* c) { return code(kesu_meter_start(c)); }},
      {"meter_stop", 3, Returns::code, [](KesuCore* c) { return code(kesu_meter_stop(c)); }},
      {"hotkey_down", 3, Returns::code, [](KesuCore* c) { return code(kesu_hotkey_down(c)); }},
      {"hotkey_up", 2, Returns::code, [](KesuCore* c) { return code(kesu_hotkey_up(c)); }},
      {"cancel", 2, Returns::code, [](KesuCore* c) { return code(kesu_cancel(c)); }},
      {"debug_record", 1, Returns::code, [](KesuCore* c) { return code(kesu_debug_record(c, 1)); }},
      {"voice_enroll_mic", 1, Returns::code,
       [](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_voice_enroll_mic(c, 3, &err), err);
       }},
      {"abi_version", 1, Returns::code, [](KesuCore*) { return code(kesu_abi_version() > 0 ? 0 : -3); }},
      {"set_event_cb", 2, Returns::code,
       [&host](KesuCore* c) { return code(kesu_set_event_cb(c, &Host::callback, &host)); }},
      {"clear_event_cb", 1, Returns::code, [](KesuCore* c) { return code(kesu_clear_event_cb(c)); }},
      {"set_test_mode", 1, Returns::code, [](KesuCore* c) { return code(kesu_set_test_mode(c, 1)); }},
      {"submit_result", 1, Returns::code,
       [](KesuCore* c) { return code(kesu_submit_result(c, "t1-1", "ok", nullptr)); }},
      {"note_foreground_app", 1, Returns::code,
       [](KesuCore* c) { return code(kesu_note_foreground_app(c, "notepad.exe")); }},
      {"retry_failed", 1, Returns::code, [](KesuCore* c) { return code(kesu_retry_failed(c)); }},
      {"set_engine", 1, Returns::code, [](KesuCore* c) { return code(kesu_set_engine(c, "stub")); }},
      {"debug_submit_text", 1, Returns::code,
       [](KesuCore* c) { return code(kesu_debug_submit_text(c, "并发")); }},
      {"decode_wav", 1, Returns::code,
       [wav](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_decode_wav(c, wav.c_str(), &err), err);
       }},
      {"get_last_result", 1, Returns::maybe_text, [](KesuCore* c) { return text(kesu_get_last_result(c)); }},
      {"clear_last_result", 1, Returns::code, [](KesuCore* c) { return code(kesu_clear_last_result(c)); }},
      {"drop_last_result", 1, Returns::code, [](KesuCore* c) { return code(kesu_drop_last_result(c)); }},
      {"failed_segments", 1, Returns::json, [](KesuCore* c) { return text(kesu_failed_segments(c)); }},
      {"retry_segment", 1, Returns::code,
       [](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_retry_segment(c, 0, &err), err);
       }},
      {"get_config_json", 1, Returns::json, [](KesuCore* c) { return text(kesu_get_config_json(c)); }},
      {"get_config_toml", 1, Returns::text, [](KesuCore* c) { return text(kesu_get_config_toml(c)); }},
      {"set_config_json", 2, Returns::code,
       [n = std::make_shared<std::atomic<int>>(0)](KesuCore* c) {
         // Switching the device between listings is what a settings page does.
         static constexpr std::array kPatches = {
             R"({"device":""})", R"({"device":"vmic16"})", R"({"history_enabled":false})",
             R"({"device":"没有这个麦克风"})", R"({"history_enabled":true})", R"({"denoise":false})"};
         char* err = nullptr;
         return code_and_message(
             kesu_set_config_json(c, kPatches[static_cast<std::size_t>(n->fetch_add(1)) % kPatches.size()], &err),
             err);
       }},
      {"set_config_toml", 1, Returns::code,
       [](KesuCore* c) {
         CoreString toml(kesu_get_config_toml(c));
         char* err = nullptr;
         return code_and_message(kesu_set_config_toml(c, toml.s ? toml.s : "", &err), err);
       }},
      {"get_history", 1, Returns::json, [](KesuCore* c) { return text(kesu_get_history(c, 5)); }},
      {"delete_history", 1, Returns::code, [](KesuCore* c) { return code(kesu_delete_history(c, "h1")); }},
      {"clear_history", 1, Returns::code, [](KesuCore* c) { return code(kesu_clear_history(c)); }},
      {"get_stats", 1, Returns::json, [](KesuCore* c) { return text(kesu_get_stats(c)); }},
      {"get_hotwords", 1, Returns::json, [](KesuCore* c) { return text(kesu_get_hotwords(c)); }},
      {"set_hotwords", 1, Returns::code,
       [](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_set_hotwords(c, R"([{"from":"科苏","to":"Kesu"}])", &err), err);
       }},
      {"get_profiles", 1, Returns::json, [](KesuCore* c) { return text(kesu_get_profiles(c)); }},
      {"set_profiles", 1, Returns::code,
       [](KesuCore* c) {
         CoreString profiles(kesu_get_profiles(c));
         char* err = nullptr;
         return code_and_message(kesu_set_profiles(c, profiles.s ? profiles.s : "", &err), err);
       }},
      {"set_active_profile", 1, Returns::code,
       [](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_set_active_profile(c, "日常", &err), err);
       }},
      {"models_list", 1, Returns::json, [](KesuCore* c) { return text(kesu_models_list(c)); }},
      // Not kesu_models_pull: a download falls back to the public release address.
      {"polish_models", 1, Returns::maybe_text,
       [](KesuCore* c) {
         char* err = nullptr;
         return text_and_message(kesu_polish_models(c, &err), err);
       }},
      {"polish_test", 1, Returns::maybe_text,
       [](KesuCore* c) {
         char* err = nullptr;
         return text_and_message(kesu_polish_test(c, &err), err);
       }},
      {"run_command", 1, Returns::maybe_text,
       [](KesuCore* c) {
         char* err = nullptr;
         return text_and_message(kesu_run_command(c, "改写", "文本", &err), err);
       }},
      {"lan_log", 1, Returns::json, [](KesuCore* c) { return text(kesu_lan_log(c)); }},
      {"upload_diag", 1, Returns::code,
       [](KesuCore* c) {
         char* msg = nullptr;
         return code_and_message(kesu_upload_diag(c, "http://127.0.0.1:1/diag", "{}", &msg), msg);
       }},
      {"voice_state", 1, Returns::json, [](KesuCore* c) { return text(kesu_voice_state(c)); }},
      {"voice_enroll_wav", 1, Returns::code,
       [wav](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_voice_enroll_wav(c, wav.c_str(), &err), err);
       }},
      {"voice_clear", 1, Returns::code,
       [](KesuCore* c) {
         char* err = nullptr;
         return code_and_message(kesu_voice_clear(c, &err), err);
       }},
  };
}

// Empty when `result` is what the export may return.
std::string judge(const Call& call, const std::string& result) {
  const bool null = result == "\x01null";
  switch (call.returns) {
    case Returns::code: {
      const int rc = std::stoi(result);
      return rc <= 0 && rc >= -5 ? std::string() : "code " + result;
    }
    case Returns::json:
      return !null && Json::accept(result) ? std::string() : "not JSON: " + result.substr(0, 200);
    case Returns::text:
      return !null && !result.empty() ? std::string() : "no text";
    case Returns::maybe_text:
      return {};
  }
  return "unknown";
}

class ExportStress : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<float> tone(24000);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.3f * static_cast<float>(std::sin(i * 0.05));
    ASSERT_TRUE(kesu::write_wav_16k_mono(files.path() / "tone.wav", tone).ok());
  }
  // The worker reads the microphone choice at every capture, so it is made before the core
  // starts and undone only after the core is gone.
  void TearDown() override {
    sc.reset();
    set_env("KESU_MIC_WAV", nullptr);
  }

  void start_core(bool simulated_microphone) {
    set_env("KESU_MIC_WAV", simulated_microphone ? wav().c_str() : nullptr);
    sc.emplace();
    ASSERT_NE(sc->core, nullptr);
    host.core = sc->core;
    ASSERT_EQ(kesu_set_event_cb(sc->core, &Host::callback, &host), KESU_OK);
    ASSERT_EQ(kesu_set_test_mode(sc->core, 1), KESU_OK);
    // Every network call stays on this machine and is refused at once.
    ASSERT_EQ(kesu_set_config_json(sc->core, R"({"polish_endpoint":"http://127.0.0.1:1/v1"})", nullptr),
              KESU_OK);
    ASSERT_EQ(kesu_set_engine(sc->core, "stub"), KESU_OK);
  }

  std::string wav() const { return files.utf8() + "/tone.wav"; }

  void run_mix(int calls_per_thread) {
    KesuCore* const core = sc->core;
    const std::vector<Call> calls = every_export(wav(), host);
    std::vector<std::size_t> deck;  // each call as often as its weight
    for (std::size_t i = 0; i < calls.size(); ++i) deck.insert(deck.end(), calls[i].weight, i);

    std::mutex failures_mu;
    std::vector<std::string> failures;
    std::vector<int> made(calls.size());
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        std::minstd_rand pick(static_cast<unsigned>(1234 + t));
        std::vector<int> counts(calls.size());
        for (int i = 0; i < calls_per_thread && std::chrono::steady_clock::now() < deadline; ++i) {
          const std::size_t which = deck[pick() % deck.size()];
          const std::string problem = judge(calls[which], calls[which].run(core));
          ++counts[which];
          if (!problem.empty()) {
            std::lock_guard lock(failures_mu);
            failures.push_back(std::string(calls[which].name) + ": " + problem);
          }
        }
        std::lock_guard lock(failures_mu);
        for (std::size_t i = 0; i < counts.size(); ++i) made[i] += counts[i];
      });
    }
    for (std::thread& t : threads) t.join();

    EXPECT_TRUE(failures.empty()) << failures.size() << " bad results, first: " << failures.front();
    EXPECT_EQ(host.broken.load(), 0);
    for (const char* device_call : {"list_devices", "meter_start", "hotkey_down"}) {
      const auto at = std::find_if(calls.begin(), calls.end(),
                                   [&](const Call& c) { return std::string(c.name) == device_call; });
      EXPECT_GT(made[static_cast<std::size_t>(at - calls.begin())], 0) << device_call;
    }
    // The core still serves afterwards, once the worker has worked through what is queued (a
    // full queue refuses commands for a while).
    const auto once_there_is_room = [](const auto& command) {
      int rc = command();
      for (int i = 0; rc == KESU_ERR_FAILED && i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rc = command();
      }
      return rc;
    };
    EXPECT_EQ(once_there_is_room([&] { return kesu_cancel(core); }), KESU_OK);
    EXPECT_EQ(once_there_is_room([&] { return kesu_meter_stop(core); }), KESU_OK);
    const Json list = Json::parse(CoreString(kesu_list_devices(core)).str());
    EXPECT_TRUE(list["devices"].is_array()) << list.dump();
  }

  TempDir files;
  Host host;  // outlives the core, whose threads call into it until it is freed
  std::optional<ScopedCore> sc;
};

TEST_F(ExportStress, EveryExportFromEightThreadsThroughTheAudioLibrary) {
  ASSERT_NO_FATAL_FAILURE(start_core(/*simulated_microphone=*/false));
  run_mix(kCallsPerThreadLibrary);
}

TEST_F(ExportStress, EveryExportFromEightThreadsWithTheSimulatedMicrophone) {
  ASSERT_NO_FATAL_FAILURE(start_core(/*simulated_microphone=*/true));
  run_mix(kCallsPerThreadSimulated);
  EXPECT_GT(host.events.load(), 0);
}

}  // namespace
