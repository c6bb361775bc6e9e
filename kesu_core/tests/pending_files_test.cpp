#include <chrono>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "pipeline/pending_files.h"
#include "support/event_recorder.h"

namespace {

namespace fs = std::filesystem;

TEST(PendingFiles, WriteReadDeleteLastResult) {
  kesu_test::TempDir dir;
  const kesu::PendingFiles files(dir.path());
  EXPECT_FALSE(files.read_last_result().has_value());
  ASSERT_TRUE(files.write_last_result("第一版").ok());
  ASSERT_TRUE(files.write_last_result("第二版").ok());  // replaced whole
  EXPECT_EQ(files.read_last_result(), "第二版");
  EXPECT_FALSE(fs::exists(files.last_result_path().string() + ".tmp"));
  files.delete_last_result();
  EXPECT_FALSE(files.read_last_result().has_value());
  files.delete_last_result();  // deleting nothing is fine
}

TEST(PendingFiles, WriteFailureIsReportedNotThrown) {
  kesu_test::TempDir dir;
  std::ofstream(dir.path() / "pending") << "a file where the folder should be";
  const kesu::PendingFiles files(dir.path());
  const kesu::Status written = files.write_last_result("x");
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().code, kesu::ErrorCode::last_result_write_failed);
  EXPECT_EQ(kesu::user_message(written.error()).rfind("暂存结果写入失败：", 0), 0u);
  EXPECT_GT(written.error().detail.size(), 0u);
}

TEST(PendingFiles, OnlyFilesOlderThanADayExpire) {
  kesu_test::TempDir dir;
  fs::create_directories(dir.path() / "pending");
  const auto now = fs::file_time_type::clock::now();
  struct Case {
    const char* name;
    std::chrono::seconds age;
    bool kept;
  };
  const Case cases[] = {
      {"fresh.txt", std::chrono::seconds(10), true},
      {"almost.txt", std::chrono::seconds(86400 - 60), true},
      {"old.wav", std::chrono::seconds(86400 + 60), false},
  };
  for (const Case& c : cases) {
    std::ofstream(dir.path() / "pending" / c.name) << "x";
    fs::last_write_time(dir.path() / "pending" / c.name, now - c.age);
  }
  kesu::PendingFiles(dir.path()).remove_expired();
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(dir.path() / "pending" / c.name), c.kept) << c.name;
  }
}

}  // namespace
