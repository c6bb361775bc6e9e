#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "models/process.h"

extern char** environ;

namespace kesu {

namespace {

// An owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Both ends close on exec; the child gets its end only through a dup2 file action.
bool make_pipe(Fd& read_end, Fd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end = Fd(fds[0]);
  write_end = Fd(fds[1]);
  return true;
}

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Starts `args` with the three standard streams as given (-1: the null device).
pid_t spawn(const std::vector<std::string>& args, int out_fd, int err_fd, std::string& error) {
  if (args.empty()) {
    error = "没有要运行的程序";
    return -1;
  }
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  if (out_fd >= 0) {
    posix_spawn_file_actions_adddup2(actions.get(), out_fd, 1);
  } else {
    posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
  }
  if (err_fd >= 0) {
    posix_spawn_file_actions_adddup2(actions.get(), err_fd, 2);
  } else {
    posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
  if (rc != 0) {
    error = std::strerror(rc);
    return -1;
  }
  return pid;
}

void kill_and_reap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string system_tool(const std::string& name) { return name; }

std::string error_text(const std::error_code& ec) { return ec.message(); }

struct ChildProcess::Impl {
  pid_t pid = -1;
  std::optional<int> exit_code;  // set once the child has been reaped
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() { kill(); }

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& args,
                                                  const std::filesystem::path& stderr_file,
                                                  std::string& error) {
  Fd err_file(::open(stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  auto impl = std::make_unique<Impl>();
  impl->pid = spawn(args, -1, err_file.get(), error);
  if (impl->pid < 0) return nullptr;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

std::optional<int> ChildProcess::poll() {
  if (impl_->exit_code) return impl_->exit_code;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(impl_->pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r < 0) throw std::system_error(errno, std::generic_category());
  if (r == 0) return std::nullopt;
  impl_->exit_code = exit_code_of(status);
  return impl_->exit_code;
}

void ChildProcess::kill() {
  if (impl_ == nullptr || impl_->exit_code) return;
  kill_and_reap(impl_->pid);
  impl_->exit_code = 128 + SIGKILL;
}

CapturedRun run_captured(const std::vector<std::string>& args, const std::atomic<bool>* cancel) {
  CapturedRun run;
  Fd out_read, out_write, err_read, err_write;
  if (!make_pipe(out_read, out_write) || !make_pipe(err_read, err_write)) {
    run.end = CapturedRun::End::start_failed;
    run.error = std::strerror(errno);
    return run;
  }
  const pid_t pid = spawn(args, out_write.get(), err_write.get(), run.error);
  if (pid < 0) {
    run.end = CapturedRun::End::start_failed;
    return run;
  }
  out_write.reset();
  err_write.reset();

  // Read both pipes until the child closes them, so neither can fill up and stall it.
  pollfd fds[2] = {{out_read.get(), POLLIN, 0}, {err_read.get(), POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  char buffer[8192];
  while (open_pipes > 0) {
    if (cancel != nullptr && cancel->load()) {
      kill_and_reap(pid);
      run.end = CapturedRun::End::cancelled;
      return run;
    }
    const int ready = ::poll(fds, 2, 120);
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  // The pipes are closed; the child is ending (or left them to a grandchild): wait, still
  // honouring the cancel flag.
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      run.exit_code = exit_code_of(status);
      return run;
    }
    if (r < 0 && errno != EINTR) return run;
    if (cancel != nullptr && cancel->load()) {
      kill_and_reap(pid);
      run.end = CapturedRun::End::cancelled;
      return run;
    }
    ::usleep(20 * 1000);
  }
}

}  // namespace kesu
