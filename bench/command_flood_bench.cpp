// A host that floods the core through its C interface:
//  1. eight threads send hotkey commands (down, up, cancel, foreground app) for a while; then
//     kesu_core_free is timed, since it must return within a few seconds however much was sent;
//  2. one thread sends 20 KB configuration patches for a while; the peak growth of the
//     process's resident memory is printed, then kesu_core_free is timed again.
// The simulated microphone (a WAV file) stands in for a device, so every accepted press really
// opens a capture. Linux only: memory is read from /proc.
//
//   command_flood_bench [flood_seconds=15] [patch_seconds=10]   (0 skips that part)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav.h"
#include "kesu_core.h"

namespace {

using Clock = std::chrono::steady_clock;

long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

std::vector<float> speech_like(std::size_t n) {
  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const bool voiced = (i / 4000) % 4 != 3;
    out[i] = voiced ? static_cast<float>(0.3 * std::sin(double(i) * 2 * std::numbers::pi * 220 / 16000)) : 0.0f;
  }
  return out;
}

struct Counts {
  std::atomic<long> sent{0};
  std::atomic<long> refused{0};  // any result other than 0
  std::atomic<long> events{0};
};

void count_event(const char*, void* user) { static_cast<Counts*>(user)->events.fetch_add(1); }

double free_ms(KesuCore* core) {
  const auto began = Clock::now();
  kesu_core_free(core);
  return std::chrono::duration<double, std::milli>(Clock::now() - began).count();
}

void hotkey_flood(const std::string& dir, int seconds) {
  Counts counts;
  KesuCore* core = kesu_core_new(dir.c_str());
  if (core == nullptr) std::exit(1);
  kesu_set_test_mode(core, 1);
  kesu_set_event_cb(core, count_event, &counts);
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (long i = 0; Clock::now() < until; ++i) {
        int rc = 0;
        switch ((i + t) % 4) {
          case 0: rc = kesu_hotkey_down(core); break;
          case 1: rc = kesu_note_foreground_app(core, "flood.exe"); break;
          case 2: rc = kesu_hotkey_up(core); break;
          default: rc = kesu_cancel(core); break;
        }
        counts.sent.fetch_add(1);
        if (rc != KESU_OK) counts.refused.fetch_add(1);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::printf("hotkey flood: %d s, 8 threads, %ld calls (%ld refused), %ld events so far\n", seconds,
              counts.sent.load(), counts.refused.load(), counts.events.load());
  const double ms = free_ms(core);
  std::printf("  kesu_core_free after the flood: %.0f ms\n", ms);
}

void patch_flood(const std::string& dir, int seconds) {
  Counts counts;
  KesuCore* core = kesu_core_new(dir.c_str());
  if (core == nullptr) std::exit(1);
  kesu_set_event_cb(core, count_event, &counts);
  const long base = resident_kib();
  std::atomic<long> peak{base};
  std::atomic<bool> done{false};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak.load(), resident_kib());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const auto began = Clock::now();
  const auto until = began + std::chrono::seconds(seconds);
  for (long i = 0; Clock::now() < until; ++i) {
    // Each patch differs from the last, about 20 KB of text.
    const std::string model = std::string(20 * 1024, static_cast<char>('a' + i % 26));
    const std::string patch = R"({"polish_model":")" + model + R"("})";
    char* err = nullptr;
    const int rc = kesu_set_config_json(core, patch.c_str(), &err);
    kesu_string_free(err);
    counts.sent.fetch_add(1);
    if (rc != KESU_OK) counts.refused.fetch_add(1);
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
  const long at_end = resident_kib();
  std::printf("patch loop: %.0f s, %ld patches of 20 KB (%ld refused), %ld events so far\n", elapsed,
              counts.sent.load(), counts.refused.load(), counts.events.load());
  std::printf("  resident memory: peak growth %.1f MB (%.1f MB/s), growth at the end %.1f MB\n",
              double(peak - base) / 1024.0, double(peak - base) / 1024.0 / elapsed,
              double(at_end - base) / 1024.0);
  const double ms = free_ms(core);
  done = true;
  sampler.join();
  std::printf("  kesu_core_free after the loop: %.0f ms\n", ms);
}

}  // namespace

int main(int argc, char** argv) {
  const int flood_seconds = argc > 1 ? std::max(0, std::atoi(argv[1])) : 15;
  const int patch_seconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 10;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear even when a slow free is cut short
  const auto scratch = std::filesystem::temp_directory_path() / "kesu-flood-bench";
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch / "core");
  const auto wav = scratch / "mic.wav";
  if (const kesu::Status written = kesu::write_wav_16k_mono(wav, speech_like(3 * 16000)); !written) {
    std::fprintf(stderr, "%s\n", kesu::user_message(written.error()).c_str());
    return 1;
  }
  setenv("KESU_MIC_WAV", wav.string().c_str(), 1);
  const std::string dir = (scratch / "core").string();
  if (flood_seconds > 0) hotkey_flood(dir, flood_seconds);
  if (patch_seconds > 0) patch_flood(dir, patch_seconds);
  std::filesystem::remove_all(scratch);
  return 0;
}
