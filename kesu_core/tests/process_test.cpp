// The process layer against a small child program built with the tests (natively, and as a
// Windows program under Wine).

#include "models/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/event_recorder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using kesu::CapturedRun;
using kesu::ChildProcess;
using kesu_test::TempDir;

std::filesystem::path own_directory() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH];
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return std::filesystem::path(buffer).parent_path();
#else
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

std::string probe() {
#ifdef _WIN32
  const auto path = own_directory() / "kesu_process_probe.exe";
#else
  const auto path = own_directory() / "kesu_process_probe";
#endif
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ProcessTest, CapturesBothOutputsAndTheExitCode) {
  const CapturedRun run = kesu::run_captured({probe(), "out:标准输出", "err:出错了", "exit:3"});
  ASSERT_EQ(run.end, CapturedRun::End::exited) << run.error;
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.out, "标准输出\n");
  EXPECT_EQ(run.err, "出错了\n");
}

TEST(ProcessTest, ArgumentsArriveUnchanged) {
  const std::vector<std::string> args = {
      "plain",           "with space",
      "quote\"inside",   "trailing\\",
      "back\\\\\"slash", "",
      "中文 参数",       "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"};
  std::vector<std::string> command = {probe()};
  command.insert(command.end(), args.begin(), args.end());
  const CapturedRun run = kesu::run_captured(command);
  ASSERT_EQ(run.end, CapturedRun::End::exited) << run.error;
  std::string expected;
  for (const std::string& a : args) expected += a + "\n";
  EXPECT_EQ(run.out, expected);
}

TEST(ProcessTest, AMissingProgramIsAStartFailureWithAReason) {
  const CapturedRun run = kesu::run_captured({"kesu-no-such-program-here"});
  EXPECT_EQ(run.end, CapturedRun::End::start_failed);
  EXPECT_FALSE(run.error.empty());

  std::string error;
  kesu_test::TempDir dir;
  EXPECT_EQ(ChildProcess::start({"kesu-no-such-program-here"}, dir.path() / "err.txt", error),
            nullptr);
  EXPECT_FALSE(error.empty());
}

TEST(ProcessTest, ChildErrorOutputGoesToTheFileAndItsExitCodeIsSeen) {
  kesu_test::TempDir dir;
  const auto err_file = dir.path() / "curl.err";
  std::ofstream(err_file) << "old content that must go";
  std::string error;
  auto child = ChildProcess::start(
      {probe(), "out:discarded", "err:line one", "err:line two", "exit:7"}, err_file, error);
  ASSERT_NE(child, nullptr) << error;
  std::optional<int> code;
  while (!(code = child->poll())) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(*code, 7);
  EXPECT_EQ(read_file(err_file), "line one\nline two\n");
}

TEST(ProcessTest, AnUnwritableErrorFileOnlyDiscardsTheErrorOutput) {
  kesu_test::TempDir dir;
  std::string error;
  auto child =
      ChildProcess::start({probe(), "err:lost", "exit:0"}, dir.path() / "missing" / "e", error);
  ASSERT_NE(child, nullptr) << error;
  std::optional<int> code;
  while (!(code = child->poll())) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(*code, 0);
}

TEST(ProcessTest, KillEndsARunningChild) {
  kesu_test::TempDir dir;
  std::string error;
  auto child = ChildProcess::start({probe(), "sleep:60000"}, dir.path() / "e", error);
  ASSERT_NE(child, nullptr) << error;
  EXPECT_FALSE(child->poll().has_value());
  child->kill();  // returns only once the child is gone
  EXPECT_TRUE(child->poll().has_value());
}

TEST(ProcessTest, ACancelledCaptureKillsTheChild) {
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  const CapturedRun run = kesu::run_captured({probe(), "out:begun", "sleep:60000"}, &cancel);
  canceller.join();
  EXPECT_EQ(run.end, CapturedRun::End::cancelled);
}

#ifdef _WIN32
// The shell ends without shutting the core down; a download it started must not run on.
TEST(ProcessTest, AChildDoesNotOutliveTheProcessThatStartedIt) {
  TempDir dir;
  const auto err_file = dir.path() / "pid.txt";
  const std::u8string u8 = err_file.u8string();
  const CapturedRun run =
      kesu::run_captured({probe(), "orphan:" + std::string(u8.begin(), u8.end())});
  ASSERT_EQ(run.exit_code, 0) << run.error;
  unsigned long pid = 0;
  std::ifstream(err_file) >> pid;
  ASSERT_NE(pid, 0u);
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (child == nullptr) return;  // already gone
  EXPECT_EQ(WaitForSingleObject(child, 10000), WAIT_OBJECT_0);
  CloseHandle(child);
}
#endif

}  // namespace
