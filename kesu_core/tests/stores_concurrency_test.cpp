// A simulated worker and the exports' side work on the three stores at once. Run under
// ThreadSanitizer this checks their locking; everywhere it checks that the files stay readable.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/config_record.h"
#include "hotwords/hotword_json.h"
#include "pipeline/shared_state.h"
#include "store/history_format.h"
#include "support/event_recorder.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(StoresConcurrency, WorkerAndExportsAtOnce) {
  kesu_test::TempDir dir;
  kesu::SharedState shared(dir.path(), kesu::default_config(dir.path()));
  constexpr int kRounds = 60;
  std::atomic<bool> stop{false};
  std::atomic<int> applied{0};

  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      const std::string text = shared.hotwords.apply("深度求索说 abc " + std::to_string(i));
      applied += !text.empty();
      const std::string id = shared.history.record_result(
          {text, "app.exe", 1000, 100, 1, static_cast<std::uint64_t>(i)});
      shared.history.set_status(id, "inserted");
      (void)shared.history.record_failure("app.exe", 500, true);
      (void)shared.profiles.active_profile();
      if (i % 10 == 0) {
        shared.hotwords.reload(dir.path() / "hotwords.toml");
        shared.history.apply_settings(i % 20 == 0, 50);
      }
    }
    stop = true;
  });
  std::thread history_exports([&] {
    while (!stop) {
      (void)shared.history.newest_json(20);
      (void)shared.history.stats().dump();
      (void)shared.history.remove("h3");
      if (applied % 7 == 0) (void)shared.history.clear();
    }
  });
  std::thread service_exports([&] {
    for (int i = 0; !stop; ++i) {
      const std::string rules = R"([{"from":"深度求索","to":"DeepSeek"},{"from":"abc","to":")" +
                                std::to_string(i) + R"("}])";
      EXPECT_TRUE(shared.hotwords.save_and_replace(
          kesu::HotwordTable(kesu::hotwords_from_json(rules).value(), dir.path() / "hotwords.toml")).ok());
      (void)shared.hotwords.table()->rules().size();
      EXPECT_TRUE(shared.profiles.set_profiles_json(R"([{"name":"甲"},{"name":"乙"}])").ok());
      EXPECT_TRUE(shared.profiles.set_active(i % 2 ? "甲" : "乙").ok());
      (void)shared.profiles.to_json().dump();
    }
  });
  worker.join();
  history_exports.join();
  service_exports.join();

  EXPECT_EQ(applied, kRounds);
  EXPECT_TRUE(kesu::parse_history(read_text(dir.path() / "history.json")));
  EXPECT_TRUE(kesu::parse_stats(read_text(dir.path() / "stats.json")));
  EXPECT_FALSE(kesu::load_hotwords(dir.path() / "hotwords.toml").error());
  EXPECT_EQ(kesu::load_profiles(dir.path() / "profiles.toml").profiles.size(), 2u);
}

}  // namespace
