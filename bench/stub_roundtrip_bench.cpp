// Round trip of one stub dictation through the C interface: kesu_debug_submit_text until the
// worker is idle again after the host answered "ok". Measures the core's own overhead (queue,
// worker, event building and delivery), which every real dictation pays on top of recognition.
//
//   stub_roundtrip_bench [dictations=2000]

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "kesu_core.h"

namespace {

struct Host {
  KesuCore* core = nullptr;
  std::mutex mu;
  std::condition_variable cv;
  bool idle_after_submit = false;  // guarded by mu
  bool submitted = false;          // callback thread only
  long events = 0;                 // callback thread only
};

void on_event(const char* json, void* user) {
  auto* host = static_cast<Host*>(user);
  ++host->events;
  if (std::strstr(json, "\"type\":\"submit_request\"") != nullptr) {
    const char* id = std::strstr(json, "\"task_id\":\"") + 11;
    const char* end = std::strchr(id, '"');
    const std::string task(id, end);
    kesu_submit_result(host->core, task.c_str(), "ok", nullptr);
    host->submitted = true;
  } else if (host->submitted && std::strstr(json, "\"phase\":\"idle\"") != nullptr) {
    host->submitted = false;
    std::lock_guard lock(host->mu);
    host->idle_after_submit = true;
    host->cv.notify_one();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const auto dir = std::filesystem::temp_directory_path() / "kesu-bench";
  std::filesystem::create_directories(dir);

  Host host;
  host.core = kesu_core_new(dir.string().c_str());
  if (host.core == nullptr) return 1;
  kesu_set_test_mode(host.core, 1);
  kesu_set_event_cb(host.core, on_event, &host);

  std::vector<double> micros;
  micros.reserve(count);
  const auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    kesu_debug_submit_text(host.core, "今天的会议改到下午三点。");
    std::unique_lock lock(host.mu);
    host.cv.wait(lock, [&] { return host.idle_after_submit; });
    host.idle_after_submit = false;
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  const double total_s =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  kesu_core_free(host.core);
  std::filesystem::remove_all(dir);

  std::sort(micros.begin(), micros.end());
  std::printf("stub dictations: %d in %.3f s (%.0f/s), %ld events\n", count, total_s,
              count / total_s, host.events);
  std::printf("round trip µs: median %.1f  p95 %.1f  max %.1f\n", micros[micros.size() / 2],
              micros[micros.size() * 95 / 100], micros.back());
  return 0;
}
