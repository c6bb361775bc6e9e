// The process layer against a small child program built with the tests (natively, and as a
// Windows program under Wine).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/event_recorder.h"
#include "util/child_process.h"
#include "util/paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using kesu::ChildProcess;
using kesu::ChildResult;
using kesu::ChildSpec;
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

// A child whose error output goes to `err_file`, as the downloads start curl.
ChildSpec with_error_file(std::vector<std::string> argv, const std::filesystem::path& err_file) {
  ChildSpec spec;
  spec.argv = std::move(argv);
  spec.err = ChildSpec::Output::to_file;
  spec.err_file = err_file;
  return spec;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::optional<int> wait_for_exit(ChildProcess& child) {
  for (;;) {
    const kesu::Result<std::optional<int>> state = child.poll();
    if (!state.ok() || state->has_value()) return state.ok() ? *state : std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(ProcessTest, CapturesBothOutputsAndTheExitCode) {
  const ChildResult run = kesu::run_captured({probe(), "out:标准输出", "err:出错了", "exit:3"});
  ASSERT_EQ(run.end, ChildResult::End::exited) << (run.error ? kesu::user_message(*run.error) : "");
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
  const ChildResult run = kesu::run_captured(command);
  ASSERT_EQ(run.end, ChildResult::End::exited) << (run.error ? kesu::user_message(*run.error) : "");
  std::string expected;
  for (const std::string& a : args) expected += a + "\n";
  EXPECT_EQ(run.out, expected);
}

TEST(ProcessTest, AMissingProgramIsAStartFailureWithAReason) {
  const ChildResult run = kesu::run_captured({"kesu-no-such-program-here"});
  EXPECT_EQ(run.end, ChildResult::End::start_failed);
  ASSERT_TRUE(run.error.has_value());
  EXPECT_EQ(run.error->code, kesu::ErrorCode::child_start_failed);
  EXPECT_FALSE(kesu::user_message(*run.error).empty());

  kesu_test::TempDir dir;
  const auto child = ChildProcess::start(
      with_error_file({"kesu-no-such-program-here"}, dir.path() / "err.txt"));
  ASSERT_FALSE(child.ok());
  EXPECT_EQ(child.error().code, kesu::ErrorCode::child_start_failed);
  EXPECT_FALSE(kesu::user_message(child.error()).empty());
}

TEST(ProcessTest, ChildErrorOutputGoesToTheFileAndItsExitCodeIsSeen) {
  kesu_test::TempDir dir;
  const auto err_file = dir.path() / "curl.err";
  std::ofstream(err_file) << "old content that must go";
  auto started = ChildProcess::start(with_error_file(
      {probe(), "out:discarded", "err:line one", "err:line two", "exit:7"}, err_file));
  ASSERT_TRUE(started.ok()) << kesu::user_message(started.error());
  const auto code = wait_for_exit(**started);
  EXPECT_EQ(code, std::optional<int>(7));
  EXPECT_EQ(read_file(err_file), "line one\nline two\n");
}

TEST(ProcessTest, AnUnwritableErrorFileOnlyDiscardsTheErrorOutput) {
  kesu_test::TempDir dir;
  auto started = ChildProcess::start(
      with_error_file({probe(), "err:lost", "exit:0"}, dir.path() / "missing" / "e"));
  ASSERT_TRUE(started.ok()) << kesu::user_message(started.error());
  const auto code = wait_for_exit(**started);
  EXPECT_EQ(code, std::optional<int>(0));
}

TEST(ProcessTest, KillEndsARunningChild) {
  kesu_test::TempDir dir;
  auto started = ChildProcess::start(with_error_file({probe(), "sleep:60000"}, dir.path() / "e"));
  ASSERT_TRUE(started.ok()) << kesu::user_message(started.error());
  ChildProcess& child = **started;
  EXPECT_FALSE(child.poll().value().has_value());
  child.kill();  // returns only once the child is gone
  EXPECT_TRUE(child.poll().value().has_value());
}

TEST(ProcessTest, ACancelledCaptureKillsTheChild) {
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  const ChildResult run = kesu::run_captured({probe(), "out:begun", "sleep:60000"}, &cancel);
  canceller.join();
  EXPECT_EQ(run.end, ChildResult::End::cancelled);
}

// Whether the process with this id has ended (a zombie nobody reaps counts as ended).
bool process_gone(unsigned long pid) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return true;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
#else
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const std::size_t after_name = line.rfind(')');
  return after_name != std::string::npos && line.compare(after_name, 3, ") Z") == 0;
#endif
}

unsigned long pid_in(const std::filesystem::path& file) {
  unsigned long pid = 0;
  std::ifstream(file) >> pid;
  return pid;
}

// Kills are checked by their effect: when run_child returns, the child no longer exists.
TEST(ProcessTest, ATimeOutOrACancelKillsTheChild) {
  using Output = ChildSpec::Output;
  using End = ChildResult::End;
  struct Case {
    const char* what;
    Output out, err;
    std::optional<std::chrono::milliseconds> timeout;
    bool cancel;  // set once the child has written its id
    End expected;
  };
  const Case cases[] = {
      {"time-out, outputs discarded (the model check)", Output::discard, Output::discard,
       std::chrono::milliseconds(300), false, End::timed_out},
      {"time-out while both outputs are read", Output::capture, Output::capture,
       std::chrono::milliseconds(300), false, End::timed_out},
      {"cancel while both outputs are read", Output::capture, Output::capture, std::nullopt, true,
       End::cancelled},
      {"cancel with the error output in a file", Output::discard, Output::to_file, std::nullopt,
       true, End::cancelled},
      {"cancel before a generous time-out", Output::capture, Output::discard,
       std::chrono::milliseconds(600000), true, End::cancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto pid_file = dir.path() / "pid";
    ChildSpec spec;
    spec.argv = {probe(), "out:begun", "pid:" + kesu::path_to_utf8(pid_file), "sleep:60000"};
    spec.out = c.out;
    spec.err = c.err;
    spec.err_file = dir.path() / "err";
    spec.timeout = c.timeout;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    if (c.cancel) spec.cancel = &cancel;
    std::thread canceller([&] {
      while (c.cancel && !done && !std::filesystem::exists(pid_file)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      cancel = true;
    });
    const ChildResult run = kesu::run_child(spec);
    done = true;
    canceller.join();
    EXPECT_EQ(run.end, c.expected) << (run.error ? kesu::user_message(*run.error) : "");
    const unsigned long pid = pid_in(pid_file);
    if (pid != 0) {
      EXPECT_TRUE(process_gone(pid));
    }
  }
}

TEST(ProcessTest, AChildEndingInTimeIsNotDisturbedByTheLimit) {
  ChildSpec spec;
  spec.argv = {probe(), "err:done", "exit:4"};
  spec.err = ChildSpec::Output::capture;
  spec.timeout = std::chrono::milliseconds(600000);
  const ChildResult run = kesu::run_child(spec);
  EXPECT_EQ(run.end, ChildResult::End::exited) << (run.error ? kesu::user_message(*run.error) : "");
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_EQ(run.err, "done\n");
  EXPECT_EQ(run.out, "");
}

// The shell ends without shutting the core down; a download it started must not run on.
TEST(ProcessTest, AChildDoesNotOutliveTheProcessThatStartedIt) {
  TempDir dir;
  const auto err_file = dir.path() / "pid.txt";
  const ChildResult run = kesu::run_captured({probe(), "orphan:" + kesu::path_to_utf8(err_file)});
  ASSERT_EQ(run.exit_code, 0) << (run.error ? kesu::user_message(*run.error) : "");
  const unsigned long pid = pid_in(err_file);
  ASSERT_NE(pid, 0u);
  // The system ends it at once; the bound only keeps a broken build from hanging the suite.
  for (int i = 0; i < 1000 && !process_gone(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(process_gone(pid));
}

// Round trips through a real Windows program are checked above under Wine; these are the
// boundaries of the quoting rules, checked everywhere.
TEST(ProcessTest, WindowsCommandLineQuoting) {
  struct Case {
    std::vector<std::string> argv;
    std::string line;
  };
  const Case cases[] = {
      {{"plain", "a\\b"}, "plain a\\b"},  // backslashes alone stay literal
      {{"p", ""}, "p \"\""},              // an empty argument survives
      {{"p", "with space"}, "p \"with space\""},
      {{"p", "tab\there"}, "p \"tab\there\""},
      {{"p", "a\"b"}, "p \"a\\\"b\""},        // a quote is escaped
      {{"p", "a\\\"b"}, "p \"a\\\\\\\"b\""},  // and the backslash before it doubled
      {{"p", "end\\"}, "p end\\"},            // unquoted: a trailing one is literal
      {{"p", "x y\\"}, "p \"x y\\\\\""},      // quoted: doubled before the closing quote
      {{"C:\\Program Files\\tool.exe", "中文 参数"},
       "\"C:\\Program Files\\tool.exe\" \"中文 参数\""},
  };
  for (const Case& c : cases) EXPECT_EQ(kesu::windows_command_line(c.argv), c.line) << c.line;
}

}  // namespace
