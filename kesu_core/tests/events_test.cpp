// The event stream as a host sees it: envelope text, sequence numbers, callback replacement and
// silence after kesu_core_free.

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;

// Runs one stub dictation to its end: text in, submit request answered with "ok".
void run_stub_dictation(KesuCore* core, EventRecorder& rec, const char* text) {
  ASSERT_EQ(kesu_debug_submit_text(core, text), KESU_OK);
  const Json request = rec.wait_for([&](const Json& e) {
    return e["type"] == "submit_request" && e["payload"]["text"] == text;
  });
  ASSERT_FALSE(request.is_null());
  const std::string task = request["payload"]["task_id"];
  ASSERT_EQ(kesu_submit_result(core, task.c_str(), "ok", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for([&](const Json& e) {
                    return e["type"] == "state" && e["payload"]["phase"] == "idle" &&
                           e["session"] == request["session"];
                  }).is_null());
}

TEST(Events, IdleStateEnvelopeIsCompactAndSorted) {
  EventRecorder rec;  // outlives the core, whose callbacks write into it
  ScopedCore sc;
  rec.attach(sc.core);
  kesu_set_test_mode(sc.core, 1);
  run_stub_dictation(sc.core, rec, "你好");
  // processing(1) result(2) inserting(3) submit_request(4) stats(5) idle(6)
  EXPECT_EQ(rec.texts().back(),
            R"({"generation":1,"payload":{"phase":"idle"},"schema":1,"seq":6,"session":1,"type":"state"})");
}

TEST(Events, WorkerSequenceNumbersAreConsecutiveAcrossDictations) {
  EventRecorder rec;  // outlives the core, whose callbacks write into it
  ScopedCore sc;
  rec.attach(sc.core);
  kesu_set_test_mode(sc.core, 1);
  run_stub_dictation(sc.core, rec, "一");
  run_stub_dictation(sc.core, rec, "二");
  const std::vector<Json> events = rec.events();
  ASSERT_EQ(events.size(), 12u);
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i]["seq"], i + 1);
    EXPECT_EQ(events[i]["schema"], 1);
    EXPECT_EQ(events[i]["session"], i < 6 ? 1 : 2);
    EXPECT_EQ(events[i]["generation"], i < 6 ? 1 : 2);
  }
}

TEST(Events, WithoutCallbackEventsAreDroppedAndNumbersMoveOn) {
  EventRecorder rec;
  ScopedCore sc;
  kesu_set_test_mode(sc.core, 1);
  ASSERT_EQ(kesu_debug_submit_text(sc.core, "没人听"), KESU_OK);
  // Wait until the last result shows the dictation was handled, then answer it blindly.
  for (int i = 0; i < 500; ++i) {
    CoreString last(kesu_get_last_result(sc.core));
    if (last.str() == "没人听") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // The slot is filled a moment before the task starts waiting for its answer: an answer that
  // arrives first is "stale", so answer until the worker is idle again.
  rec.attach(sc.core);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(kesu_submit_result(sc.core, "t1-1", "ok", nullptr), KESU_OK);
    const Json answer = rec.wait_for([](const Json& e) {
      return (e["type"] == "state" && e["payload"]["phase"] == "idle") ||
             (e["type"] == "error" && e["payload"]["code"] == "stale_submit");
    });
    if (!answer.is_null() && answer["type"] == "state") break;
    rec.reset();
  }
  run_stub_dictation(sc.core, rec, "有人听");
  // The slot is filled just before "result" (2): "processing" (1) surely went to nobody, the
  // events after it may race with attach.
  std::vector<Json> second;
  for (const Json& e : rec.events()) {
    EXPECT_GE(e["seq"], 2);
    if (e["session"] == 2) second.push_back(e);
  }
  ASSERT_FALSE(second.empty());
  EXPECT_GT(second.front()["seq"], 6);  // numbering went on while nobody listened
}

TEST(Events, ReplacedAndClearedCallbacks) {
  EventRecorder first, second;
  ScopedCore sc;
  kesu_set_test_mode(sc.core, 1);
  first.attach(sc.core);
  run_stub_dictation(sc.core, first, "第一");
  const std::size_t first_count = first.texts().size();

  second.attach(sc.core);
  run_stub_dictation(sc.core, second, "第二");
  EXPECT_EQ(first.texts().size(), first_count);
  EXPECT_EQ(second.texts().size(), 6u);

  ASSERT_EQ(kesu_clear_event_cb(sc.core), KESU_OK);
  ASSERT_EQ(kesu_debug_submit_text(sc.core, "第三"), KESU_OK);
  std::string last;
  for (int i = 0; i < 500 && last != "第三"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    last = CoreString(kesu_get_last_result(sc.core)).str();
  }
  EXPECT_EQ(last, "第三");
  ASSERT_EQ(kesu_debug_panic(sc.core), KESU_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(first.texts().size(), first_count);
  EXPECT_EQ(second.texts().size(), 6u);
}

TEST(Events, NothingArrivesAfterFreeReturns) {
  static std::atomic<int> delivered{0};
  for (int round = 0; round < 5; ++round) {
    TempDir dir;
    KesuCore* core = kesu_core_new(dir.utf8().c_str());
    ASSERT_NE(core, nullptr);
    delivered = 0;
    kesu_set_event_cb(
        core,
        [](const char*, void*) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
          delivered.fetch_add(1);
        },
        nullptr);
    kesu_set_test_mode(core, 1);
    for (int i = 0; i < 20; ++i) kesu_debug_submit_text(core, "忙");
    kesu_core_free(core);
    const int at_free = delivered.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(delivered.load(), at_free);
  }
}

}  // namespace
