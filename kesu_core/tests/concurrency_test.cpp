// Exports called from many threads while events flow, and repeated create/free. These exist for
// the sanitizer builds: ThreadSanitizer checks the locking, AddressSanitizer the life cycle.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;

// The host answers every submit request from inside the callback, as a real shell may.
void answering_callback(const char* json, void* user) {
  auto* core = static_cast<KesuCore*>(user);
  const Json event = Json::parse(json);
  if (event["type"] == "submit_request") {
    const std::string task = event["payload"]["task_id"];
    kesu_submit_result(core, task.c_str(), "ok", nullptr);
  }
}

TEST(Concurrency, ManyThreadsCallExportsWhileEventsFlow) {
  ScopedCore sc;
  ASSERT_NE(sc.core, nullptr);
  kesu_set_test_mode(sc.core, 1);
  kesu_set_event_cb(sc.core, answering_callback, sc.core);

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; i < 200; ++i) kesu_debug_submit_text(sc.core, ("第" + std::to_string(i)).c_str());
  });
  threads.emplace_back([&] {
    while (!stop) {
      kesu_string_free(kesu_get_last_result(sc.core));
      kesu_string_free(kesu_failed_segments(sc.core));
      kesu_note_foreground_app(sc.core, "app.exe");
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      kesu_submit_result(sc.core, "t0-0", "ok", nullptr);
      kesu_cancel(sc.core);
      kesu_clear_last_result(sc.core);
      kesu_set_test_mode(sc.core, 1);
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 200 && !stop; ++i) {
      kesu_set_event_cb(sc.core, answering_callback, sc.core);
      if (i % 3 == 0) kesu_clear_event_cb(sc.core);
    }
    kesu_set_event_cb(sc.core, answering_callback, sc.core);
  });
  threads[0].join();
  threads[3].join();
  stop = true;
  threads[1].join();
  threads[2].join();
  SUCCEED();
}

TEST(Concurrency, RepeatedCreateAndFreeWithWorkInFlight) {
  std::atomic<int> events{0};
  for (int round = 0; round < 30; ++round) {
    TempDir dir;
    KesuCore* core = kesu_core_new(dir.utf8().c_str());
    ASSERT_NE(core, nullptr);
    kesu_set_test_mode(core, 1);
    kesu_set_event_cb(
        core, [](const char*, void* user) { static_cast<std::atomic<int>*>(user)->fetch_add(1); },
        &events);
    const int before = events.load();
    kesu_debug_submit_text(core, "来回");
    kesu_debug_panic(core);
    // Free once the dictation is under way: commands still queued are dropped by the shutdown,
    // work already started is what must end cleanly.
    for (int i = 0; i < 500 && events.load() == before; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kesu_core_free(core);
  }
  EXPECT_GT(events.load(), 0);
}

// The store exports on several threads while configuration changes make the worker reload the
// hotwords and reopen the history.
TEST(Concurrency, StoreExportsWhileTheWorkerReloads) {
  ScopedCore sc;
  ASSERT_NE(sc.core, nullptr);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; i < 40; ++i) {
      kesu_set_config_json(sc.core, i % 2 ? R"({"history_enabled":true})" : R"({"history_enabled":false})",
                           nullptr);
    }
    stop = true;
  });
  threads.emplace_back([&] {
    while (!stop) {
      kesu_string_free(kesu_get_history(sc.core, 10));
      kesu_string_free(kesu_get_stats(sc.core));
      kesu_delete_history(sc.core, "h1");
      kesu_clear_history(sc.core);
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i == 0 || !stop; ++i) {
      kesu_set_hotwords(sc.core, R"([{"from":"a","to":"b"}])", nullptr);
      kesu_string_free(kesu_get_hotwords(sc.core));
      kesu_set_active_profile(sc.core, i % 2 ? "邮件" : "日常", nullptr);
      kesu_string_free(kesu_get_profiles(sc.core));
    }
  });
  for (std::thread& t : threads) t.join();
  CoreString hotwords(kesu_get_hotwords(sc.core));
  EXPECT_EQ(Json::parse(hotwords.str())["rules"].size(), 1u);
}

// Holds the worker inside the delivery of "hotwords_changed" until let go.
struct StuckWorker {
  std::mutex mu;
  std::condition_variable cv;
  bool stuck = false;
  bool let_go = false;

  static void callback(const char* json, void* user) {
    if (Json::parse(json)["type"] != "hotwords_changed") return;
    auto* self = static_cast<StuckWorker*>(user);
    std::unique_lock lock(self->mu);
    self->stuck = true;
    self->cv.notify_all();
    self->cv.wait(lock, [&] { return self->let_go; });
  }
  bool wait_until_stuck() {
    std::unique_lock lock(mu);
    return cv.wait_for(lock, std::chrono::seconds(5), [&] { return stuck; });
  }
  void release() {
    std::lock_guard lock(mu);
    let_go = true;
    cv.notify_all();
  }
};

// A host that sends faster than the worker works is refused with a message instead of queuing
// without end; a configuration change is never refused.
TEST(Concurrency, AFullQueueRefusesCommandsWithAMessage) {
  ScopedCore sc;
  ASSERT_NE(sc.core, nullptr);
  const std::filesystem::path wav = sc.dir.path() / "one.wav";
  ASSERT_TRUE(kesu::write_wav_16k_mono(wav, std::vector<float>(16000, 0.1f)).ok());
  StuckWorker worker;
  kesu_set_event_cb(sc.core, &StuckWorker::callback, &worker);
  ASSERT_EQ(kesu_set_hotwords(sc.core, R"([{"from":"a","to":"b"}])", nullptr), KESU_OK);
  ASSERT_TRUE(worker.wait_until_stuck());

  int refused = 0;
  for (int i = 0; i < 1000; ++i) {
    const int rc = kesu_note_foreground_app(sc.core, "app.exe");
    ASSERT_TRUE(rc == KESU_OK || rc == KESU_ERR_FAILED) << rc;
    refused += rc == KESU_ERR_FAILED;
  }
  EXPECT_GT(refused, 0);
  EXPECT_EQ(kesu_hotkey_down(sc.core), KESU_ERR_FAILED);
  EXPECT_EQ(kesu_debug_submit_text(sc.core, "文字"), KESU_ERR_FAILED);
  char* err = nullptr;
  EXPECT_EQ(kesu_decode_wav(sc.core, (sc.dir.utf8() + "/one.wav").c_str(), &err), KESU_ERR_FAILED);
  CoreString message(err);
  EXPECT_EQ(message.str(), "Kesu 忙不过来：还有太多命令没处理完，请稍后再试");
  EXPECT_EQ(kesu_set_config_json(sc.core, R"({"history_enabled":false})", nullptr), KESU_OK);
  worker.release();
}

}  // namespace
