// Release-to-text latency of whole dictations through the C interface, with the simulated
// microphone at real-time pace and whatever engine the configuration gives, for several
// dictation lengths: background recognition should keep it nearly flat as dictations grow.
// Each length runs twice in one core, so the first dictation after start can be compared with
// the next one. The core's "VAD 就绪" timing lines are read back from standard error: after the
// first use, segmenting a short clip should cost a small fraction of a long recording's tail.
// Then the core's CPU use while it sits idle.
//
//   dictation_latency_bench [speech.wav] [core-dir]
//     speech.wav  16 kHz mono speech, repeated to each length (default: synthetic voiced bursts)
//     core-dir    the data folder with the models to use (default: a fresh temporary one)
//   Standard error goes to {temp}/kesu-latency-bench/core.log.

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

void set_env(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// The core's log (this process's standard error, redirected to a file) from `offset` on.
struct CoreLog {
  std::filesystem::path file;
  std::streamoff offset = 0;

  // The last "VAD 就绪 {ms}ms" since the previous call, or -1.
  double last_vad_ms() {
    std::fflush(stderr);
    std::ifstream in(file, std::ios::binary);
    in.seekg(offset);
    std::stringstream text;
    text << in.rdbuf();
    offset += static_cast<std::streamoff>(text.str().size());
    double ms = -1;
    std::string line;
    while (std::getline(text, line)) {
      const auto at = line.find("VAD 就绪 ");
      if (at != std::string::npos) ms = std::atof(line.c_str() + at + std::strlen("VAD 就绪 "));
    }
    return ms;
  }
};

struct Dictation {
  double release_to_text_ms = 0;
  double vad_ms = -1;
};

Dictation dictate(Host& host, double seconds, CoreLog& log) {
  {
    std::lock_guard lock(host.mu);
    host.done = false;
  }
  kesu_hotkey_down(host.core);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const auto released = Clock::now();
  kesu_hotkey_up(host.core);
  std::unique_lock lock(host.mu);
  host.cv.wait_for(lock, std::chrono::seconds(120), [&] { return host.done; });
  Dictation out;
  out.release_to_text_ms = std::chrono::duration<double, std::milli>(host.requested - released).count();
  lock.unlock();
  // Let the dictation's last log lines land, and the core return to idle.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  out.vad_ms = log.last_vad_ms();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<float> source;
  if (argc > 1) {
    kesu::WavRead read = kesu::read_wav_16k_mono(argv[1]);
    if (!read.samples || read.samples->empty()) {
      std::fprintf(stderr, "%s\n", read.error ? kesu::user_message(*read.error).c_str() : "");
      return 1;
    }
    source = std::move(*read.samples);
  }
  const auto scratch = std::filesystem::temp_directory_path() / "kesu-latency-bench";
  std::filesystem::create_directories(scratch);
  const std::string dir = argc > 2 ? argv[2] : scratch.string();

  CoreLog log{scratch / "core.log"};
  std::fflush(stderr);
  if (std::freopen(log.file.string().c_str(), "w", stderr) == nullptr) return 1;
  set_env("KESU_DEBUG_TIMING", "1");

  std::printf("%-10s %14s %14s %8s %12s %12s\n", "dictation", "first (ms)", "second (ms)",
              "ratio", "VAD 1st (ms)", "VAD 2nd (ms)");
  std::map<double, double> steady_vad;
  for (const double seconds : {0.5, 3.0, 10.0, 20.0, 40.0}) {
    const std::size_t n = static_cast<std::size_t>(seconds * 16000) + 8000;
    std::vector<float> audio = source.empty() ? synthetic_speech(n) : std::vector<float>();
    while (audio.size() < n) audio.insert(audio.end(), source.begin(), source.end());
    audio.resize(n);
    const auto wav = scratch / "mic.wav";
    if (const kesu::Status written = kesu::write_wav_16k_mono(wav, audio); !written) {
      std::printf("%s\n", kesu::user_message(written.error()).c_str());
      return 1;
    }
    set_env("KESU_MIC_WAV", wav.string());
    Host host;
    host.core = kesu_core_new(dir.c_str());
    if (host.core == nullptr) return 1;
    kesu_set_test_mode(host.core, 1);
    kesu_set_event_cb(host.core, on_event, &host);
    (void)log.last_vad_ms();
    // A user takes a moment between start and the first dictation.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const Dictation first = dictate(host, seconds, log);
    const Dictation second = dictate(host, seconds, log);
    kesu_core_free(host.core);
    steady_vad[seconds] = second.vad_ms;
    char label[16];
    std::snprintf(label, sizeof label, "%g s", seconds);
    std::printf("%-10s %14.0f %14.0f %8.2f %12.1f %12.1f\n", label, first.release_to_text_ms,
                second.release_to_text_ms, first.release_to_text_ms / second.release_to_text_ms,
                first.vad_ms, second.vad_ms);
    std::fflush(stdout);
  }
  if (steady_vad[0.5] >= 0 && steady_vad[20.0] > 0) {
    std::printf("VAD 就绪, 0.5 s clip / 20 s dictation's tail (second dictations): %.2f\n",
                steady_vad[0.5] / steady_vad[20.0]);
  }

  // Whole recordings segmented at once (a WAV file decoded), in one core after its first use:
  // what is left of the segmentation's cost should be the work on the samples alone.
  {
    Host host;
    host.core = kesu_core_new(dir.c_str());
    if (host.core == nullptr) return 1;
    kesu_set_test_mode(host.core, 1);
    kesu_set_event_cb(host.core, on_event, &host);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    (void)log.last_vad_ms();
    std::map<double, double> vad;
    for (int round = 0; round < 2; ++round) {
      for (const double seconds : {0.5, 20.0}) {
        const std::size_t n = static_cast<std::size_t>(seconds * 16000);
        std::vector<float> audio = source.empty() ? synthetic_speech(n) : std::vector<float>();
        while (audio.size() < n) audio.insert(audio.end(), source.begin(), source.end());
        audio.resize(n);
        const auto wav = scratch / "whole.wav";
        if (!kesu::write_wav_16k_mono(wav, audio)) return 1;
        {
          std::lock_guard lock(host.mu);
          host.done = false;
        }
        if (kesu_decode_wav(host.core, wav.string().c_str(), nullptr) != 0) return 1;
        std::unique_lock lock(host.mu);
        host.cv.wait_for(lock, std::chrono::seconds(120), [&] { return host.done; });
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        vad[seconds] = log.last_vad_ms();
      }
    }
    kesu_core_free(host.core);
    std::printf("VAD 就绪, whole recordings: 0.5 s %.1f ms, 20 s %.1f ms, ratio %.3f\n", vad[0.5],
                vad[20.0], vad[20.0] > 0 ? vad[0.5] / vad[20.0] : 0.0);
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
