#include <chrono>

#include <gtest/gtest.h>

#include "pipeline/command_queue.h"
#include "pipeline/task_tracker.h"

namespace {

using namespace std::chrono_literals;
using kesu::SteadyClock;
using kesu::TaskStage;

TEST(TaskTracker, DeadlinesPerStage) {
  const auto t0 = SteadyClock::time_point{} + 1000s;
  kesu::TaskTracker tracker;
  EXPECT_FALSE(tracker.deadline().has_value());

  tracker.enter("t1-1", TaskStage::decoding, t0);
  EXPECT_FALSE(tracker.expired(t0 + 59s));
  EXPECT_TRUE(tracker.expired(t0 + 60s));

  tracker.enter("t1-1", TaskStage::awaiting_submit, t0);
  EXPECT_FALSE(tracker.expired(t0 + 5999ms));
  EXPECT_TRUE(tracker.expired(t0 + 6s));
  EXPECT_EQ(tracker.task_id(), "t1-1");

  tracker.finish();
  EXPECT_EQ(tracker.stage(), TaskStage::none);
  EXPECT_FALSE(tracker.expired(t0 + 1h));
}

TEST(TaskTracker, WorkerWaitFollowsTheNearestDeadline) {
  const auto now = SteadyClock::time_point{} + 1000s;
  struct Case {
    std::optional<SteadyClock::time_point> deadline;
    std::chrono::milliseconds expected;
    const char* why;
  };
  const Case cases[] = {
      {std::nullopt, 15ms, "nothing pending: the idle tick"},
      {now + 1s, 15ms, "far deadline: still the idle tick"},
      {now + 4ms, 4ms, "near deadline: wake for it"},
      {now + 1500us, 2ms, "rounded up, never early"},
      {now, 1ms, "due now"},
      {now - 5s, 1ms, "overdue"},
  };
  for (const Case& c : cases) EXPECT_EQ(kesu::worker_wait(now, c.deadline), c.expected) << c.why;
}

TEST(CommandQueue, DeliversInOrderTimesOutAndRefusesOnceClosed) {
  kesu::CommandQueue queue;
  ASSERT_EQ(queue.push(kesu::cmd::NoteForegroundApp{"a"}), kesu::Pushed::queued);
  ASSERT_EQ(queue.push(kesu::cmd::Cancel{}), kesu::Pushed::queued);
  auto first = queue.pop_for(0ms);
  ASSERT_TRUE(first && std::holds_alternative<kesu::cmd::NoteForegroundApp>(*first));
  auto second = queue.pop_for(0ms);
  ASSERT_TRUE(second && std::holds_alternative<kesu::cmd::Cancel>(*second));
  EXPECT_FALSE(queue.pop_for(5ms).has_value());
  EXPECT_FALSE(queue.closed());

  queue.close();
  EXPECT_TRUE(queue.closed());
  EXPECT_EQ(queue.push(kesu::cmd::Cancel{}), kesu::Pushed::closed);
  EXPECT_FALSE(queue.pop_for(1s).has_value());  // returns at once when closed
}

}  // namespace
