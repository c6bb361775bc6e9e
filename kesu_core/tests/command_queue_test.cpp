// The worker's queue: a runaway host is refused instead of growing memory, configuration changes
// collapse into the newest, answers of the core's own threads and shutdown always get in, and
// shutdown keeps only what protects the user's data.

#include <memory>

#include <gtest/gtest.h>

#include "config/config_record.h"
#include "pipeline/command_queue.h"
#include "pipeline/command_rules.h"

namespace {

using namespace std::chrono_literals;
using kesu::Command;
using kesu::Pushed;
namespace cmd = kesu::cmd;

cmd::ConfigChanged config_change(std::uint64_t generation) {
  auto record = std::make_shared<kesu::ConfigRecord>(kesu::default_config("."));
  record->polish_model = "g" + std::to_string(generation);
  return {record, generation};
}

TEST(CommandQueue, HostCommandsAreBoundedButAnswersAndShutdownAlwaysGetIn) {
  kesu::CommandQueue queue(3);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(queue.push(cmd::HotkeyDown{}), Pushed::queued);
  EXPECT_EQ(queue.push(cmd::HotkeyUp{}), Pushed::full);
  EXPECT_EQ(queue.push(cmd::DecodeWav{std::vector<float>(16000)}), Pushed::full);
  EXPECT_EQ(queue.push(cmd::DecodeDone{}), Pushed::queued);
  EXPECT_EQ(queue.push(cmd::PieceDone{}), Pushed::queued);
  EXPECT_EQ(queue.push(config_change(1)), Pushed::queued);
  EXPECT_EQ(queue.push(cmd::Shutdown{}), Pushed::queued);

  // Shutdown jumps ahead of the backlog.
  std::optional<Command> first = queue.pop_for(0ms);
  ASSERT_TRUE(first);
  EXPECT_TRUE(std::holds_alternative<cmd::Shutdown>(*first));
  // Taking one out makes room for one more.
  ASSERT_TRUE(queue.pop_for(0ms));
  EXPECT_EQ(queue.push(cmd::Cancel{}), Pushed::queued);
  EXPECT_EQ(queue.push(cmd::Cancel{}), Pushed::full);

  const std::deque<Command> left = queue.close_and_take();
  EXPECT_EQ(left.size(), 6u);
  EXPECT_TRUE(std::holds_alternative<cmd::Cancel>(left.back()));
  EXPECT_EQ(queue.push(cmd::DecodeDone{}), Pushed::closed);
  EXPECT_EQ(queue.size(), 0u);
}

TEST(CommandQueue, ConfigurationChangesCollapseIntoTheNewest) {
  kesu::CommandQueue queue(4);
  ASSERT_EQ(queue.push(cmd::HotkeyDown{}), Pushed::queued);
  for (std::uint64_t g = 1; g <= 1000; ++g) ASSERT_EQ(queue.push(config_change(g)), Pushed::queued);
  ASSERT_EQ(queue.push(config_change(500)), Pushed::queued);  // a racing setter's older record
  ASSERT_EQ(queue.push(cmd::HotwordsChanged{1}), Pushed::queued);
  ASSERT_EQ(queue.push(cmd::HotwordsChanged{7}), Pushed::queued);
  ASSERT_EQ(queue.size(), 3u);

  const std::deque<Command> left = queue.close_and_take();
  const auto& change = std::get<cmd::ConfigChanged>(left[1]);
  EXPECT_EQ(change.generation, 1000u);
  EXPECT_EQ(change.record->polish_model, "g1000");
  EXPECT_EQ(std::get<cmd::HotwordsChanged>(left[2]).count, 7u);
}

TEST(CommandQueue, WaitingForOneAnswerLeavesTheRestInOrderAndFreesItsRoom) {
  kesu::CommandQueue queue(2);
  ASSERT_EQ(queue.push(cmd::HotkeyUp{}), Pushed::queued);
  ASSERT_EQ(queue.push(cmd::PieceDone{1, 9, "文", {}, 5}), Pushed::queued);
  ASSERT_EQ(queue.push(cmd::Cancel{}), Pushed::queued);
  EXPECT_EQ(queue.push(cmd::Cancel{}), Pushed::full);
  const std::optional<Command> answer = queue.pop_matching(
      [](const Command& c) { return std::holds_alternative<cmd::Cancel>(c); }, 0ms);
  ASSERT_TRUE(answer);
  EXPECT_EQ(queue.push(cmd::MeterStart{}), Pushed::queued);
  const std::deque<Command> left = queue.close_and_take();
  ASSERT_EQ(left.size(), 3u);
  EXPECT_TRUE(std::holds_alternative<cmd::HotkeyUp>(left[0]));
  EXPECT_TRUE(std::holds_alternative<cmd::PieceDone>(left[1]));
  EXPECT_TRUE(std::holds_alternative<cmd::MeterStart>(left[2]));
}

TEST(CommandRules, OnlyDataKeepingCommandsOutliveShutdown) {
  struct Case {
    const char* what;
    Command command;
    bool matters;
  };
  const Case cases[] = {
      {"the newest configuration reaches the file", config_change(3), true},
      {"a confirmed insertion is recorded", cmd::SubmitResult{"t1-1", "ok", std::nullopt}, true},
      {"a press must not open the microphone", cmd::HotkeyDown{}, false},
      {"a debug recording neither", cmd::DebugRecord{2}, false},
      {"nor the meter", cmd::MeterStart{}, false},
      {"a file decode is work nobody waits for", cmd::DecodeWav{}, false},
      {"so is a retry", cmd::RetryFailed{}, false},
      {"an engine switch would load a model", cmd::SetEngine{"stub"}, false},
      {"a late answer of a helper", cmd::DecodeDone{}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(kesu::matters_at_shutdown(c.command), c.matters) << c.what;
}

}  // namespace
