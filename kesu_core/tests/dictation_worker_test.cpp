// Whole dictations through the worker, with the simulated microphone and a recogniser the test
// controls: the event sequence, the refusals at release, failures and retries, time-outs and
// cancellation. Every path must end in idle.

#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "config/config_file.h"
#include "lib/core.h"
#include "voice/enrolment.h"
#include "voice/voice_state.h"
#include "voice/voice_print.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Cuts audio into 1-second segments; the test decides which fail, whether everything fails,
// and can hold every call until it lets go.
class FakeSpeech final : public kesu::SpeechBackend {
 public:
  kesu::Recognition recognise(std::span<const float> samples) override {
    wait_while_held();
    ++recognise_calls;
    kesu::Recognition r;
    if (fail_recognise) {
      r.error = kesu::Error{kesu::ErrorCode::other, "重试也失败"};
    } else {
      r.text = samples.empty() ? "" : text;
    }
    return r;
  }

  kesu::SegmentedDecode decode_segments(std::span<const float> samples, const kesu::ConfigRecord&,
                                        const kesu::SegmentFilter& filter) override {
    wait_while_held();
    kesu::SegmentedDecode out;
    if (whole_failures_left > 0) {
      --whole_failures_left;
      out.failure = kesu::Error{kesu::ErrorCode::other, "模型罢工"};
      return out;
    }
    for (std::size_t at = 0; at < samples.size(); at += 16000) {
      kesu::DecodedSegment s;
      s.index = static_cast<int>(out.segments.size());
      s.samples.assign(samples.begin() + at, samples.begin() + std::min(samples.size(), at + 16000));
      if (failing.count(s.index)) {
        s.error = kesu::Error{kesu::ErrorCode::other, "模拟这一段失败"};
      } else {
        s.text = text;
      }
      out.segments.push_back(std::move(s));
    }
    out.engine_wait_ms = 7;
    if (filter) {
      std::vector<std::span<const float>> spans;
      for (const auto& s : out.segments) spans.emplace_back(s.samples);
      const kesu::FilterOutcome kept = filter(spans);
      std::vector<kesu::DecodedSegment> remaining;
      for (std::size_t i = 0; i < out.segments.size(); ++i) {
        if (kept.keep[i]) remaining.push_back(std::move(out.segments[i]));
      }
      out.filtered_out = out.segments.size() - remaining.size();
      out.all_filtered = remaining.empty();
      out.segments = std::move(remaining);
    }
    return out;
  }

  std::string punctuate(std::string t, const kesu::ConfigRecord&) override { return t + "。"; }
  std::string engine_name() const override { return "fake"; }
  bool speech_model_installed() const override { return model_installed; }

  void hold() {
    std::lock_guard lock(mu_);
    held_ = true;
  }
  void let_go() {
    {
      std::lock_guard lock(mu_);
      held_ = false;
    }
    cv_.notify_all();
  }

  std::string text = "你好";
  std::set<int> failing;
  std::atomic<int> whole_failures_left{0};
  std::atomic<bool> fail_recognise{false};
  std::atomic<bool> model_installed{true};
  std::atomic<int> recognise_calls{0};

 private:
  void wait_while_held() {
    std::unique_lock lock(mu_);
    cv_.wait(lock, [&] { return !held_; });
  }
  std::mutex mu_;
  std::condition_variable cv_;
  bool held_ = false;
};

// Syllable-like tone bursts separated by short gaps, at `level`.
std::vector<float> speech_like(double seconds, float level = 0.3f) {
  std::vector<float> out(static_cast<std::size_t>(seconds * 16000));
  for (std::size_t i = 0; i < out.size(); ++i) {
    const bool voiced = (i / 4000) % 4 != 3;
    out[i] = voiced ? static_cast<float>(level * std::sin(double(i) * 2 * std::numbers::pi * 220 / 16000)) : 0.0f;
  }
  return out;
}

class Dictation : public ::testing::Test {
 protected:
  void TearDown() override {
    speech->let_go();
    core.reset();
    for (const char* name : {"KESU_MIC_WAV", "KESU_SIM_SPEED", "KESU_FORCE_MIC_FAIL_MS"}) set_env(name, nullptr);
  }

  void start(kesu::WorkerTimings timings = {}) {
    core = std::make_unique<kesu::Core>(dir.path(), kesu::CoreOptions{timings, speech, {}});
    core->shared().events.set(&EventRecorder::callback, &rec);
  }

  void microphone(const std::vector<float>& samples, const char* speed = "1") {
    const fs::path wav = dir.path() / "mic.wav";
    ASSERT_TRUE(kesu::write_wav_16k_mono(wav, samples).ok());
    set_env("KESU_MIC_WAV", wav.string().c_str());
    set_env("KESU_SIM_SPEED", speed);
  }

  void configure(const std::function<void(kesu::ConfigRecord&)>& change) {
    core->shared().config.update([&](const kesu::ConfigRecord& current) {
      auto next = std::make_shared<kesu::ConfigRecord>(current);
      change(*next);
      return next;
    });
  }

  void post(kesu::Command command) { ASSERT_EQ(core->post(std::move(command)), kesu::PostResult::queued); }

  // Presses, holds for `held` and releases.
  void press_for(std::chrono::milliseconds held) {
    post(kesu::cmd::HotkeyDown{});
    ASSERT_FALSE(rec.wait_for_phase("listening").is_null());
    std::this_thread::sleep_for(held);
    post(kesu::cmd::HotkeyUp{});
  }

  Json error_event(const std::string& code) { return rec.wait_for_error(code); }

  void answer_ok(const Json& request) {
    post(kesu::cmd::SubmitResult{request["payload"]["task_id"], "ok", std::nullopt});
  }

  // The phase after everything so far has settled.
  std::string last_phase() {
    std::this_thread::sleep_for(50ms);
    std::string phase;
    for (const Json& e : rec.events()) {
      if (e["type"] == "state") phase = e["payload"]["phase"];
    }
    return phase;
  }

  std::vector<std::string> types() {
    std::vector<std::string> out;
    for (const Json& e : rec.events()) {
      const std::string type = e["type"];
      if (type == "meter" || type == "partial_text") continue;
      out.push_back(type == "state" ? "state:" + e["payload"]["phase"].get<std::string>() : type);
    }
    return out;
  }

  TempDir dir;
  EventRecorder rec;  // declared before the core: destroyed after it stops calling
  std::shared_ptr<FakeSpeech> speech = std::make_shared<FakeSpeech>();
  std::unique_ptr<kesu::Core> core;
};

TEST_F(Dictation, PressSpeakReleaseInsertsTheText) {
  microphone(speech_like(3));
  start();
  post(kesu::cmd::NoteForegroundApp{"notepad.exe"});
  press_for(1500ms);
  const Json request = rec.wait_for_type("submit_request");
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(request["payload"]["app"], "notepad.exe");
  EXPECT_EQ(request["payload"]["mode"], "paste");
  answer_ok(request);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  EXPECT_EQ(types(), (std::vector<std::string>{"state:starting", "state:listening", "state:processing",
                                                "result", "state:inserting", "submit_request",
                                                "stats", "state:idle"}));
  const Json result = rec.wait_for_type("result")["payload"];
  EXPECT_EQ(result["task_id"], "t1-1");
  EXPECT_EQ(result["raw_text"], result["text"]);
  EXPECT_EQ(result["text"].get<std::string>().rfind("你好", 0), 0u);
  EXPECT_NEAR(result["speech_ms"].get<double>(), 1500, 250);
  EXPECT_EQ(result["engine_wait_ms"], 7);
  EXPECT_EQ(result["privacy"], false);
  EXPECT_EQ(result["history_id"], "h1");

  const Json meter = rec.wait_for_type("meter")["payload"];
  EXPECT_EQ(meter["live"], true);
  EXPECT_TRUE(meter.contains("secs"));
  const std::string history = core->shared().history.newest_json(1);
  EXPECT_NE(history.find("\"inserted\""), std::string::npos) << history;
  EXPECT_FALSE(fs::exists(dir.path() / "pending" / "last_result.txt"));
}

TEST_F(Dictation, ReleaseRefusesWhatIsNotWorthRecognising) {
  struct Case {
    const char* what;
    std::vector<float> audio;
    std::chrono::milliseconds held;
    const char* device;
    const char* code;
    std::string message;
  };
  const Case cases[] = {
      {"short press", speech_like(2), 300ms, "", "too_short",
       "按住 3"},  // the held time is measured, so only its start is certain
      {"silence", std::vector<float>(32000, 0.0f), 700ms, "", "no_audio",
       "麦克风没有收到声音：检查系统「声音 → 输入」是否选对设备，以及设备是否被静音"},
      {"whisper", speech_like(2, 0.012f), 1200ms, "", "too_quiet",
       "声音太小了（峰值 1.2%）：靠近麦克风一点，或把系统「声音 → 输入」的音量调高。这次没有上屏"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rec.reset();
    microphone(c.audio);
    start();
    press_for(c.held);
    const Json error = error_event(c.code);
    ASSERT_FALSE(error.is_null()) << Json(rec.texts()).dump();
    EXPECT_EQ(error["payload"]["message"].get<std::string>().rfind(c.message, 0), 0u)
        << error["payload"]["message"];
    EXPECT_EQ(last_phase(), "idle");
    EXPECT_TRUE(rec.wait_for_type("result", 0ms).is_null());
    core.reset();
  }
}

TEST_F(Dictation, TooShortQuotesTheHeldTimeAndTheMinimum) {
  microphone(speech_like(2));
  start();
  press_for(300ms);
  const std::string message = error_event("too_short")["payload"]["message"];
  const std::size_t at = message.find("ms 太短了（至少 400ms）：按住说完整句再松开");
  ASSERT_NE(at, std::string::npos) << message;
  const int held = std::stoi(message.substr(std::string("按住 ").size()));
  EXPECT_GE(held, 300);
  EXPECT_LT(held, 400);
}

TEST_F(Dictation, SilenceOnANamedDeviceNamesIt) {
  microphone(std::vector<float>(32000, 0.0f));
  start();
  configure([](kesu::ConfigRecord& c) { c.audio_device = "USB 麦克风"; });
  press_for(600ms);
  EXPECT_EQ(error_event("no_audio")["payload"]["message"],
            "麦克风「USB 麦克风」没有收到声音：检查它是否被静音，或换一个输入设备");
}

TEST_F(Dictation, ASecondReleaseWhileDecodingIsBusyAndTheFirstStillFinishes) {
  microphone(speech_like(2));
  start();
  speech->hold();
  press_for(800ms);
  ASSERT_FALSE(rec.wait_for_phase("processing").is_null());
  post(kesu::cmd::HotkeyDown{});  // ignored: not idle
  post(kesu::cmd::HotkeyUp{});
  EXPECT_EQ(error_event("busy")["payload"]["message"], "上一段还在识别，请稍后再试");
  speech->let_go();
  const Json request = rec.wait_for_type("submit_request");
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(request["payload"]["task_id"], "t1-1");
}

TEST_F(Dictation, AStaleAnswerLeavesTheTaskWaiting) {
  start();
  post(kesu::cmd::DebugSubmitText{"文字"});
  const Json request = rec.wait_for_type("submit_request");
  ASSERT_FALSE(request.is_null());
  post(kesu::cmd::SubmitResult{"t9-9", "ok", std::nullopt});
  EXPECT_EQ(error_event("stale_submit")["payload"]["message"], "上屏回报与当前任务不匹配，已忽略");
  EXPECT_EQ(last_phase(), "inserting");
  answer_ok(request);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());
}

TEST_F(Dictation, AFailureInPrivacyModeStaysInMemoryAndCanBeRetried) {
  microphone(speech_like(2));
  start();
  configure([](kesu::ConfigRecord& c) { c.privacy_enabled = true; });
  speech->whole_failures_left = 1;
  press_for(800ms);
  EXPECT_EQ(error_event("asr_failed")["payload"]["message"],
            "识别失败：模型罢工。隐私模式下音频没落盘，本次运行内可从菜单重试");
  EXPECT_EQ(last_phase(), "idle");
  EXPECT_FALSE(fs::exists(dir.path() / "pending" / "last_failed.wav"));

  post(kesu::cmd::RetryFailed{});
  const Json request = rec.wait_for_type("submit_request");
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(request["payload"]["task_id"], "t2-2");
  EXPECT_FALSE(fs::exists(dir.path() / "pending" / "last_result.txt"));
}

TEST_F(Dictation, AFailureKeepsTheAudioOnDiskForTheNextRun) {
  microphone(speech_like(2));
  start();
  speech->whole_failures_left = 1;
  press_for(800ms);
  EXPECT_EQ(error_event("asr_failed")["payload"]["message"],
            "识别失败：模型罢工。音频已保留 24 小时，可从菜单重试（历史 h1）");
  const fs::path failed = dir.path() / "pending" / "last_failed.wav";
  ASSERT_TRUE(fs::exists(failed));

  core.reset();  // a new run remembers nothing but the file
  rec.reset();
  start();
  post(kesu::cmd::RetryFailed{});
  const Json result = rec.wait_for_type("result");
  ASSERT_FALSE(result.is_null());
  EXPECT_NEAR(result["payload"]["speech_ms"].get<double>(), 800, 250);
}

TEST_F(Dictation, RetryWithoutUsableAudioSaysWhy) {
  start();
  post(kesu::cmd::RetryFailed{});
  EXPECT_EQ(error_event("retry_unavailable")["payload"]["message"],
            "没有可重试的音频（暂存已过期或从未失败）");
  core.reset();

  // A kept file at another rate is refused rather than recognised at the wrong speed.
  std::string wav = kesu::encode_wav_16k_mono(std::vector<float>(800, 0.1f));
  wav[24] = 0x40, wav[25] = 0x1f;  // 8000 Hz
  fs::create_directories(dir.path() / "pending");
  std::ofstream(dir.path() / "pending" / "last_failed.wav", std::ios::binary) << wav;
  rec.reset();
  start();
  post(kesu::cmd::RetryFailed{});
  EXPECT_EQ(error_event("retry_unavailable")["payload"]["message"], "暂存音频采样率 8000 不是 16000");
}

TEST_F(Dictation, WithoutASpeechModelTheFailureSaysWhatToDownload) {
  start();
  speech->model_installed = false;
  speech->whole_failures_left = 1;
  post(kesu::cmd::DecodeWav{speech_like(1)});
  EXPECT_EQ(error_event("asr_failed")["payload"]["message"],
            "语音模型还没下载：打开设置 →「引擎」页，选一个模型后点「下载选中模型」。");
}

TEST_F(Dictation, FailedSegmentsAreReportedKeptAndRetriedOneByOne) {
  start();
  speech->failing = {1};
  post(kesu::cmd::DecodeWav{speech_like(3)});
  const Json failed = rec.wait_for_type("failed_segments");
  ASSERT_FALSE(failed.is_null());
  EXPECT_EQ(failed["payload"], Json({{"count", 1}, {"indexes", {1}}}));
  EXPECT_EQ(error_event("partial_result")["payload"]["message"], "3 段里有 1 段没识别成功，已保留成功部分");
  const Json result = rec.wait_for_type("result")["payload"];
  EXPECT_EQ(result["partial"], true);
  EXPECT_EQ(result["text"], "你好你好。");
  ASSERT_EQ(result["segments"].size(), 3u);
  EXPECT_EQ(result["segments"][1], Json({{"error", "模拟这一段失败"}, {"index", 1}, {"samples", 16000}, {"text", ""}}));
  EXPECT_EQ(core->shared().failed_segments.get(), std::vector<int>{1});
  answer_ok(rec.wait_for_type("submit_request"));
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  post(kesu::cmd::RetrySegment{7});
  EXPECT_EQ(error_event("segment_not_found")["payload"]["message"], "第 7 段没有可重试的音频");

  speech->fail_recognise = true;
  post(kesu::cmd::RetrySegment{1});
  EXPECT_EQ(error_event("segment_retry_failed")["payload"]["message"], "第 1 段重试失败：重试也失败");
  speech->fail_recognise = false;
  post(kesu::cmd::RetrySegment{1});
  const Json retried = rec.wait_for_type("segment_result");
  EXPECT_EQ(retried["payload"], Json({{"chars", 2}, {"index", 1}, {"text", "你好"}}));
  EXPECT_EQ(rec.wait_for_type("segment_retry_started")["payload"], Json({{"index", 1}, {"samples", 16000}}));
  EXPECT_TRUE(core->shared().failed_segments.get().empty());
  for (int i = 0; i < 100 && core->shared().segment_retry_running.load(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(core->shared().segment_retry_running.load());
}

TEST_F(Dictation, StalledDecodeAndUnansweredInsertionTimeOut) {
  kesu::WorkerTimings timings;
  timings.decode_stall = 150ms;
  timings.submit_answer = 150ms;
  start(timings);
  speech->hold();
  post(kesu::cmd::DecodeWav{speech_like(1)});
  EXPECT_EQ(error_event("decode_stalled")["payload"]["message"], "识别超时（任务 t1-1），音频已保留，可重试");
  EXPECT_EQ(last_phase(), "idle");
  speech->let_go();
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(rec.wait_for_type("result", 0ms).is_null()) << "the late answer is dropped";

  post(kesu::cmd::RetryFailed{});  // the stalled audio was kept
  ASSERT_FALSE(rec.wait_for_type("submit_request").is_null());
  EXPECT_EQ(error_event("submit_timeout")["payload"]["message"],
            "上屏结果未知（任务 t2-2），文字已保存，可从菜单复制");
  EXPECT_EQ(last_phase(), "idle");
  EXPECT_TRUE(core->shared().last_result.get().has_value());
}

TEST_F(Dictation, CancelWorksInEveryPhaseButInsertion) {
  microphone(speech_like(5));
  start();
  post(kesu::cmd::HotkeyDown{});
  ASSERT_FALSE(rec.wait_for_phase("listening").is_null());
  post(kesu::cmd::Cancel{});
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  speech->hold();
  post(kesu::cmd::DecodeWav{speech_like(1)});
  ASSERT_FALSE(rec.wait_for_phase("processing").is_null());
  post(kesu::cmd::Cancel{});
  EXPECT_EQ(last_phase(), "idle");
  speech->let_go();

  post(kesu::cmd::DebugSubmitText{"文字"});
  ASSERT_FALSE(rec.wait_for_type("submit_request").is_null());
  post(kesu::cmd::Cancel{});
  EXPECT_EQ(error_event("cancel_rejected")["payload"]["message"], "文字已在粘贴中，无法取消");
  EXPECT_EQ(last_phase(), "inserting");
  EXPECT_TRUE(rec.wait_for_type("result", 0ms)["payload"]["text"] == "文字。");
}

TEST_F(Dictation, AnUnpluggedMicrophoneKeepsWhatWasRecorded) {
  microphone(speech_like(5));
  set_env("KESU_FORCE_MIC_FAIL_MS", "900");
  start();
  post(kesu::cmd::HotkeyDown{});
  EXPECT_EQ(error_event("mic_unplugged")["payload"]["message"], "麦克风中断了（模拟拔掉）：已保留中断前录到的内容");
  const Json result = rec.wait_for_type("result");
  ASSERT_FALSE(result.is_null());
  EXPECT_NEAR(result["payload"]["speech_ms"].get<double>(), 900, 250);
}

TEST_F(Dictation, TheLengthLimitStopsTheRecordingAndRecognisesIt) {
  microphone(speech_like(5));
  start();
  configure([](kesu::ConfigRecord& c) { c.audio_max_record_secs = 1; });
  post(kesu::cmd::HotkeyDown{});
  const Json notice = rec.wait_for_type("notice");
  EXPECT_EQ(notice["payload"], Json({{"code", "record_limit"},
                                      {"message", "到 1 秒上限了，已自动结束并开始识别（上限可在设置里调）"}}));
  ASSERT_FALSE(rec.wait_for_type("result").is_null());
}

TEST_F(Dictation, ADebugRecordingStopsByItself) {
  microphone(speech_like(5));
  start();
  post(kesu::cmd::DebugRecord{0.1f});  // raised to half a second
  const Json result = rec.wait_for_type("result");
  ASSERT_FALSE(result.is_null());
  EXPECT_NEAR(result["payload"]["speech_ms"].get<double>(), 500, 200);
}

TEST_F(Dictation, ALongMonologueIsRecognisedWhileSpeaking) {
  microphone(speech_like(20), "4");
  start();
  // The whole 20 s at four times the pace, then a little longer: a loaded machine (Wine in CI)
  // still gets time to cut the pieces before the release.
  press_for(6500ms);
  const Json result = rec.wait_for_type("result", 10s);
  ASSERT_FALSE(result.is_null());
  const Json& segments = result["payload"]["segments"];
  std::size_t background = 0;
  for (const Json& e : rec.events()) background += e["type"] == "partial_text";
  EXPECT_GE(background, 3u);
  // Pieces cut while speaking are whole pieces of at least 4 s; the decode at release only
  // cuts the rest into its own (1 s) segments.
  ASSERT_GE(segments.size(), 2u);
  EXPECT_GE(segments[0]["samples"].get<std::size_t>(), 64000u);
  EXPECT_LT(result["payload"]["speech_ms"].get<double>(), 20500);
}

// One-second segments, each all one value: 0.1 is the user's voice, 0.2 someone else's.
std::vector<float> voices(std::initializer_list<int> who) {
  std::vector<float> out;
  for (const int w : who) out.insert(out.end(), 16000, w == 1 ? 0.1f : 0.2f);
  return out;
}

TEST_F(Dictation, TheVoiceLockSkipsOtherVoices) {
  start();
  std::ofstream(dir.path() / "voice_print.bin") << kesu::render_voice_print({"2026-12-10 09:30:00", {1.0f, 0.0f}});
  const fs::path model = dir.path() / "models" / "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx";
  fs::create_directories(model.parent_path());
  std::ofstream(model) << "model";
  core->shared().voice_gate.use_embedder([](std::span<const float> s) -> std::optional<kesu::Embedding> {
    if (s.empty()) return std::nullopt;
    return s[0] == 0.1f ? kesu::Embedding{1.0f, 0.0f} : kesu::Embedding{0.0f, 1.0f};
  });
  configure([](kesu::ConfigRecord& c) { c.audio_voice_lock = true; });

  post(kesu::cmd::DecodeWav{voices({1, 2, 1, 2, 1})});
  EXPECT_EQ(rec.wait_for_type("notice")["payload"],
            Json({{"code", "voice_skipped"}, {"message", "略过 2 段不像你的声音的内容（设置里可关「只录我的声音」）"}}));
  const Json request = rec.wait_for_type("submit_request");
  ASSERT_FALSE(request.is_null());
  EXPECT_EQ(rec.wait_for_type("result")["payload"]["segments"].size(), 3u);
  answer_ok(request);
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  // Half or more of at least three: the voice print evidently does not fit, keep everything.
  rec.reset();
  post(kesu::cmd::DecodeWav{voices({1, 2, 1, 2})});
  const Json all = rec.wait_for_type("result");
  ASSERT_FALSE(all.is_null());
  EXPECT_EQ(all["payload"]["segments"].size(), 4u);
  EXPECT_TRUE(rec.wait_for_type("notice", 0ms).is_null());
  answer_ok(rec.wait_for_type("submit_request"));
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  rec.reset();
  post(kesu::cmd::DecodeWav{voices({2, 2})});
  EXPECT_EQ(rec.wait_for_type("notice")["payload"]["code"], "voice_all_skipped");
  EXPECT_EQ(last_phase(), "idle");
  EXPECT_TRUE(rec.wait_for_type("result", 0ms).is_null());
}

// Holds the worker inside the delivery of one event type until let go, so commands pile up
// behind it the way they do behind a slow device or disk.
class StuckDelivery {
 public:
  explicit StuckDelivery(EventRecorder& rec, std::string type) : rec_(rec), type_(std::move(type)) {}
  static void callback(const char* json, void* user) {
    auto* self = static_cast<StuckDelivery*>(user);
    self->rec_.record(json);
    if (Json::parse(json)["type"] != self->type_) return;
    std::unique_lock lock(self->mu_);
    self->stuck_ = true;
    self->cv_.notify_all();
    self->cv_.wait(lock, [&] { return self->let_go_; });
  }
  bool wait_until_stuck() {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, 5s, [&] { return stuck_; });
  }
  void let_go() {
    std::lock_guard lock(mu_);
    let_go_ = true;
    cv_.notify_all();
  }

 private:
  EventRecorder& rec_;
  const std::string type_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stuck_ = false;
  bool let_go_ = false;
};

TEST_F(Dictation, AFloodIsRefusedAndShutdownDropsWhatNobodyWaitsFor) {
  microphone(speech_like(2));
  start();
  StuckDelivery stuck(rec, "hotwords_changed");
  core->shared().events.set(&StuckDelivery::callback, &stuck);
  post(kesu::cmd::HotwordsChanged{1});
  ASSERT_TRUE(stuck.wait_until_stuck());

  std::size_t queued = 0;
  for (int i = 0; i < 1000; ++i) {
    const kesu::Command press = i % 2 ? kesu::Command(kesu::cmd::HotkeyUp{}) : kesu::Command(kesu::cmd::HotkeyDown{});
    const kesu::PostResult result = core->post(press);
    ASSERT_NE(result, kesu::PostResult::shutting_down);
    if (result == kesu::PostResult::queued) ++queued;
  }
  EXPECT_EQ(queued, kesu::CommandQueue::kDefaultCapacity);
  // Configuration changes are never refused: only the newest waits.
  for (int i = 1; i <= 300; ++i) {
    configure([i](kesu::ConfigRecord& c) { c.polish_model = "模型" + std::to_string(i); });
    post(kesu::cmd::ConfigChanged{core->shared().config.snapshot(), core->shared().config.generation()});
  }

  std::thread closing([&] { core->shutdown(); });
  for (int i = 0; i < 500 && !core->exiting(); ++i) std::this_thread::sleep_for(2ms);
  std::this_thread::sleep_for(100ms);  // shutdown has queued its command by now
  stuck.let_go();
  closing.join();

  for (const std::string& t : types()) EXPECT_NE(t, "state:starting") << "a queued press opened the microphone";
  EXPECT_EQ(kesu::load_config(dir.path()).polish_model, "模型300") << "the newest configuration was saved";
}

TEST_F(Dictation, AStalledDecodeKeepsEveryOtherDecodeAway) {
  kesu::WorkerTimings timings;
  timings.decode_stall = 150ms;
  start(timings);
  speech->hold();
  post(kesu::cmd::DecodeWav{speech_like(1)});
  ASSERT_FALSE(error_event("decode_stalled").is_null());
  ASSERT_EQ(last_phase(), "idle");

  // Idle, but the stalled recogniser still works: nothing starts beside it, and a cancel in
  // idle does not make the worker forget it.
  post(kesu::cmd::DecodeWav{speech_like(1)});
  post(kesu::cmd::RetryFailed{});
  post(kesu::cmd::DebugSubmitText{"文字"});
  post(kesu::cmd::Cancel{});
  post(kesu::cmd::HotkeyDown{});
  post(kesu::cmd::HotkeyUp{});
  post(kesu::cmd::RetrySegment{0});
  EXPECT_EQ(last_phase(), "idle");
  std::vector<std::string> busy;
  for (const Json& e : rec.events()) {
    if (e["type"] == "error" && e["payload"]["code"] == "busy") busy.push_back(e["payload"]["message"]);
  }
  EXPECT_EQ(busy, (std::vector<std::string>{"正在处理上一次录音，稍后再试", "正在录音或识别，稍后再重试",
                                            "正在处理上一次录音，稍后再试", "上一段还在识别，请稍后再试",
                                            "正在识别，稍后再重试这一段"}));

  // Once the stalled thread has answered, its kept audio can be retried.
  speech->let_go();
  for (int i = 0; i < 100; ++i) {
    rec.reset();
    post(kesu::cmd::RetryFailed{});
    if (!rec.wait_for_type("submit_request", 200ms).is_null()) break;
  }
  EXPECT_FALSE(rec.wait_for_type("submit_request", 0ms).is_null());
}

TEST_F(Dictation, AnEnrolmentAndADictationNeverRecordAtOnce) {
  microphone(speech_like(5));
  const fs::path model = kesu::speaker_model_path(dir.path());
  fs::create_directories(model.parent_path());
  std::ofstream(model) << "model";
  const kesu::Embedder embed = [](std::span<const float>) { return std::optional<kesu::Embedding>({1.0f, 0.5f}); };
  start();
  const kesu::ConfigRecord config = *core->shared().config.snapshot();

  post(kesu::cmd::HotkeyDown{});
  ASSERT_FALSE(rec.wait_for_phase("listening").is_null());
  const kesu::EnrolOutcome refused = kesu::enrol_from_microphone(3, config, embed, core->shared().capture_slot);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kesu::user_message(refused.error()), "正在听写录音，说完再录声纹");
  post(kesu::cmd::Cancel{});
  ASSERT_FALSE(rec.wait_for_phase("idle").is_null());

  // The other way round a press is refused at once, before the user speaks into nothing.
  std::optional<kesu::EnrolOutcome> enrolled;
  std::thread enrolment([&] { enrolled = kesu::enrol_from_microphone(3, config, embed, core->shared().capture_slot); });
  for (int i = 0; i < 1000 && core->shared().capture_slot.holder() != kesu::CaptureUser::enrolment; ++i) {
    std::this_thread::sleep_for(2ms);
  }
  post(kesu::cmd::HotkeyDown{});
  EXPECT_EQ(error_event("busy")["payload"]["message"], "正在录声纹，录完再按住说话");
  enrolment.join();
  ASSERT_TRUE(enrolled.has_value());
  EXPECT_TRUE(enrolled->ok()) << kesu::user_message(enrolled->error());
  int listening = 0;
  for (const std::string& t : types()) listening += t == "state:listening";
  EXPECT_EQ(listening, 1);
  EXPECT_EQ(core->shared().capture_slot.holder(), kesu::CaptureUser::none);
}

}  // namespace
