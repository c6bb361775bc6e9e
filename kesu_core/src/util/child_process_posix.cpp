#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "util/child_process.h"

extern char** environ;

namespace kesu {

namespace {

// Frees the file actions however the function returns.
struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { posix_spawn_file_actions_init(&actions); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
};

std::string describe_status(int status) {
  if (WIFSIGNALED(status)) return "检查进程被信号 " + std::to_string(WTERMSIG(status)) + " 结束";
  return "检查进程异常结束";
}

}  // namespace

ChildOutcome run_child(const std::filesystem::path& program, const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout) {
  std::vector<std::string> owned;
  owned.reserve(args.size() + 1);
  owned.push_back(program.string());
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);

  FileActions files;
  posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &files.actions, nullptr, argv.data(), environ);
  if (rc != 0) return {std::nullopt, "启动检查进程失败：" + std::string(std::strerror(rc))};

  const auto give_up = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return {WEXITSTATUS(status), {}};
      return {std::nullopt, describe_status(status)};
    }
    if (done < 0 && errno != EINTR) return {std::nullopt, "等待检查进程失败"};
    if (std::chrono::steady_clock::now() >= give_up) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return {std::nullopt, "检查进程超时"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace kesu
