#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "events/event_sink.h"

namespace {

struct Captured {
  std::vector<std::string> texts;
};

void capture(const char* json, void* user) { static_cast<Captured*>(user)->texts.emplace_back(json); }

TEST(EventSink, CoreLevelEventsCarryZeroCountersAndParsedPayload) {
  kesu::EventSink sink;
  Captured got;
  sink.set(capture, &got);
  sink.emit_core_event("history_changed", R"({"total":3})");
  sink.emit_core_event("history_changed", "garbage");
  ASSERT_EQ(got.texts.size(), 2u);
  EXPECT_EQ(got.texts[0],
            R"({"generation":0,"payload":{"total":3},"schema":1,"seq":0,"session":0,"type":"history_changed"})");
  EXPECT_EQ(got.texts[1],
            R"({"generation":0,"payload":{},"schema":1,"seq":0,"session":0,"type":"history_changed"})");
}

TEST(EventSink, WithoutCallbackEventsAreDropped) {
  kesu::EventSink sink;
  sink.emit_core_event("model_done", "{}");  // must simply do nothing
  Captured got;
  sink.set(capture, &got);
  sink.clear();
  sink.emit_core_event("model_done", "{}");
  EXPECT_TRUE(got.texts.empty());
}

// Shutdown relies on this: once clear_and_drain returns, no callback is running or will run.
TEST(EventSink, DrainWaitsForACallbackAlreadyRunning) {
  kesu::EventSink sink;
  struct Slow {
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
  } slow;
  sink.set(
      [](const char*, void* user) {
        auto* s = static_cast<Slow*>(user);
        s->inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s->finished = true;
      },
      &slow);
  std::thread emitter([&] { sink.emit_core_event("model_progress", "{}"); });
  while (!slow.inside) std::this_thread::yield();
  sink.clear_and_drain();
  EXPECT_TRUE(slow.finished);
  emitter.join();
}

TEST(EventSink, DrainFromInsideACallbackDoesNotWaitForItself) {
  kesu::EventSink sink;
  sink.set([](const char*, void* user) { static_cast<kesu::EventSink*>(user)->clear_and_drain(); },
           &sink);
  sink.emit_core_event("model_done", "{}");
  SUCCEED();
}

}  // namespace
