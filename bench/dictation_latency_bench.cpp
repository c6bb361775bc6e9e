// Release-to-text latency of whole dictations through the C interface, with the simulated
// microphone at real-time pace and whatever engine the configuration gives, for several
// dictation lengths: background recognition should keep it nearly flat as dictations grow.
// Then the core's CPU use while it sits idle.
//
//   dictation_latency_bench [speech.wav] [core-dir]
//     speech.wav  16 kHz mono speech, repeated to each length (default: synthetic voiced bursts)
//     core-dir    the data folder with the models to use (default: a fresh temporary one)

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav.h"
#include "kesu_core.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Host {
  KesuCore* core = nullptr;
  std::mutex mu;
  std::condition_variable cv;
  Clock::time_point requested{};  // guarded by mu
  bool done = false;              // guarded by mu
};

void on_event(const char* json, void* user) {
  auto* host = static_cast<Host*>(user);
  const bool request = std::strstr(json, "\"type\":\"submit_request\"") != nullptr;
  const bool refused = std::strstr(json, "\"type\":\"error\"") != nullptr;
  if (request) {
    const char* id = std::strstr(json, "\"task_id\":\"") + 11;
    const char* end = std::strchr(id, '"');
    const std::string task(id, end);
    kesu_submit_result(host->core, task.c_str(), "ok", nullptr);
  }
  if (request || refused) {
    if (refused) std::fprintf(stderr, "  %s\n", json);
    std::lock_guard lock(host->mu);
    host->requested = Clock::now();
    host->done = true;
    host->cv.notify_one();
  }
}

std::vector<float> synthetic_speech(std::size_t n) {
  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const bool voiced = (i / 4000) % 4 != 3;
    out[i] = voiced ? static_cast<float>(0.3 * std::sin(double(i) * 2 * std::numbers::pi * 220 / 16000)) : 0.0f;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<float> source;
  if (argc > 1) {
    kesu::WavRead read = kesu::read_wav_16k_mono(argv[1]);
    if (!read.samples || read.samples->empty()) {
      std::fprintf(stderr, "%s\n", read.error.c_str());
      return 1;
    }
    source = std::move(*read.samples);
  }
  const auto scratch = std::filesystem::temp_directory_path() / "kesu-latency-bench";
  std::filesystem::create_directories(scratch);
  const std::string dir = argc > 2 ? argv[2] : scratch.string();

  std::printf("%-10s %12s %12s\n", "dictation", "release→text", "per second");
  for (const int seconds : {3, 10, 20, 40}) {
    const std::size_t n = static_cast<std::size_t>(seconds) * 16000 + 8000;
    std::vector<float> audio = source.empty() ? synthetic_speech(n) : std::vector<float>();
    while (audio.size() < n) audio.insert(audio.end(), source.begin(), source.end());
    audio.resize(n);
    const auto wav = scratch / "mic.wav";
    if (auto error = kesu::write_wav_16k_mono(wav, audio)) {
      std::fprintf(stderr, "%s\n", error->c_str());
      return 1;
    }
#ifdef _WIN32
    _putenv_s("KESU_MIC_WAV", wav.string().c_str());
#else
    setenv("KESU_MIC_WAV", wav.string().c_str(), 1);
#endif
    Host host;
    host.core = kesu_core_new(dir.c_str());
    if (host.core == nullptr) return 1;
    kesu_set_test_mode(host.core, 1);
    kesu_set_event_cb(host.core, on_event, &host);
    kesu_hotkey_down(host.core);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto released = Clock::now();
    kesu_hotkey_up(host.core);
    std::unique_lock lock(host.mu);
    host.cv.wait_for(lock, std::chrono::seconds(120), [&] { return host.done; });
    const double ms = std::chrono::duration<double, std::milli>(host.requested - released).count();
    lock.unlock();
    kesu_core_free(host.core);
    std::printf("%-10s %10.0fms %10.1fms\n", (std::to_string(seconds) + " s").c_str(), ms, ms / seconds);
  }

  KesuCore* idle = kesu_core_new(dir.c_str());
  if (idle == nullptr) return 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::clock_t before = std::clock();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double cpu_ms = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
  kesu_core_free(idle);
  std::printf("idle core: %.1f ms CPU in 10 s (%.3f %%)\n", cpu_ms, cpu_ms / 100.0);
  return 0;
}
