#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "util/child_process.h"

extern char** environ;

namespace kesu {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at the cancel flag and the clock.
constexpr auto kCheckInterval = std::chrono::milliseconds(20);

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

// Keeps descriptors the child receives away from 0-2 (a host may run with standard streams
// closed), so moving them into place there can never overwrite one not yet moved.
Fd above_standard(Fd fd) {
  if (fd.get() < 0 || fd.get() > 2) return fd;
  return Fd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}

// Both ends close on exec; the child gets its end only by being moved onto 0-2.
bool make_pipe(Fd& read_end, Fd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end = Fd(fds[0]);
  write_end = above_standard(Fd(fds[1]));
  return write_end.get() >= 0;
}

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The program as execve needs it: names without a slash are looked up in PATH here, because
// between fork and exec the child may call nothing that could allocate or take a lock.
std::optional<std::string> find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = std::min(dirs.find(':', begin), dirs.size());
    const std::string dir = end == begin ? "." : dirs.substr(begin, end - begin);
    const std::string candidate = dir + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (end == dirs.size()) return std::nullopt;
    begin = end + 1;
  }
}

// The child side of fork: only async-signal-safe calls. Reports a failure as its errno through
// `status_fd` (closed on a successful exec).
[[noreturn]] void become_child(pid_t parent, const int (&streams)[3], const char* program,
                               char* const* argv, int status_fd) {
  // Killed with the thread that started it (that thread waits for or owns the child). Checking
  // the parent afterwards closes the gap where it died before the signal was asked for.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
  for (int i = 0; i < 3; ++i) {
    if (::dup2(streams[i], i) < 0) {
      const int e = errno;
      (void)!::write(status_fd, &e, sizeof e);
      ::_exit(127);
    }
  }
  ::execve(program, argv, environ);
  const int e = errno;
  (void)!::write(status_fd, &e, sizeof e);
  ::_exit(127);
}

Error start_error(int system_code) {
  return {ErrorCode::child_start_failed, std::strerror(system_code)};
}

// Starts `args` with the three standard streams as given (-1: the null device).
Result<pid_t> spawn(const std::vector<std::string>& args, int out_fd, int err_fd) {
  if (args.empty()) return Error{ErrorCode::no_program, {}};
  const std::optional<std::string> program = find_program(args[0]);
  if (!program) return start_error(ENOENT);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const Fd null_device = above_standard(Fd(::open("/dev/null", O_RDWR | O_CLOEXEC)));
  Fd status_read, status_write;
  if (null_device.get() < 0 || !make_pipe(status_read, status_write)) return start_error(errno);
  const int streams[3] = {null_device.get(), out_fd >= 0 ? out_fd : null_device.get(),
                          err_fd >= 0 ? err_fd : null_device.get()};
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return start_error(errno);
  if (pid == 0) become_child(parent, streams, program->c_str(), argv.data(), status_write.get());

  status_write.reset();
  int child_errno = 0;
  ssize_t n;
  do {
    n = ::read(status_read.get(), &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return pid;  // the exec went through and closed the pipe
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return start_error(child_errno);
}

void kill_and_reap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// An output file for the child; an unopenable one only discards that output (-1).
Fd open_output(ChildSpec::Output how, const std::filesystem::path& file) {
  if (how != ChildSpec::Output::to_file) return Fd();
  return above_standard(Fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)));
}

// Why a wait for the child should stop early, if it should.
class Watch {
 public:
  explicit Watch(const ChildSpec& spec)
      : cancel_(spec.cancel),
        deadline_(spec.timeout ? std::optional(Clock::now() + *spec.timeout) : std::nullopt) {}

  std::optional<ChildResult::End> reason() const {
    if (cancel_ != nullptr && cancel_->load()) return ChildResult::End::cancelled;
    if (deadline_ && Clock::now() >= *deadline_) return ChildResult::End::timed_out;
    return std::nullopt;
  }

  // How long one wait may block before the flag and the clock are looked at again.
  std::chrono::milliseconds step() const {
    if (!deadline_) return kCheckInterval;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    return std::clamp(left, std::chrono::milliseconds(0),
                      std::chrono::milliseconds(kCheckInterval));
  }

 private:
  const std::atomic<bool>* cancel_;
  std::optional<Clock::time_point> deadline_;
};

}  // namespace

std::string system_tool(const std::string& name) { return name; }

std::string error_text(const std::error_code& ec) { return ec.message(); }

struct ChildProcess::Impl {
  pid_t pid = -1;
  std::optional<int> exit_code;  // set once the child has been reaped
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() { kill(); }

Result<std::unique_ptr<ChildProcess>> ChildProcess::start(const ChildSpec& spec) {
  const Fd out_file = open_output(spec.out, spec.out_file);
  const Fd err_file = open_output(spec.err, spec.err_file);
  const Result<pid_t> pid = spawn(spec.argv, out_file.get(), err_file.get());
  if (!pid) return pid.error();
  auto impl = std::make_unique<Impl>();
  impl->pid = *pid;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

Result<std::optional<int>> ChildProcess::poll() {
  if (impl_->exit_code) return impl_->exit_code;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(impl_->pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return Error{ErrorCode::child_wait_failed, std::strerror(errno)};
  if (r == 0) return std::optional<int>();  // still running
  impl_->exit_code = exit_code_of(status);
  return impl_->exit_code;
}

void ChildProcess::kill() {
  if (impl_ == nullptr || impl_->exit_code) return;
  kill_and_reap(impl_->pid);
  impl_->exit_code = 128 + SIGKILL;
}

ChildResult run_child(const ChildSpec& spec) {
  ChildResult run;
  const Watch watch(spec);
  Fd pipes[2][2];  // [out, err][read, write]
  const ChildSpec::Output modes[2] = {spec.out, spec.err};
  for (int i = 0; i < 2; ++i) {
    if (modes[i] == ChildSpec::Output::capture && !make_pipe(pipes[i][0], pipes[i][1])) {
      run.end = ChildResult::End::start_failed;
      run.error = start_error(errno);
      return run;
    }
  }
  const Fd out_file = open_output(spec.out, spec.out_file);
  const Fd err_file = open_output(spec.err, spec.err_file);
  const int out_fd = modes[0] == ChildSpec::Output::capture ? pipes[0][1].get() : out_file.get();
  const int err_fd = modes[1] == ChildSpec::Output::capture ? pipes[1][1].get() : err_file.get();
  const Result<pid_t> spawned = spawn(spec.argv, out_fd, err_fd);
  if (!spawned) {
    run.end = ChildResult::End::start_failed;
    run.error = spawned.error();
    return run;
  }
  const pid_t pid = *spawned;
  pipes[0][1].reset();
  pipes[1][1].reset();

  const auto stop = [&](ChildResult::End why) {
    kill_and_reap(pid);
    run.end = why;
    return run;
  };

  // Read both pipes until the child closes them, so neither can fill up and stall it.
  pollfd fds[2] = {{pipes[0][0].get(), POLLIN, 0}, {pipes[1][0].get(), POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_pipes = (fds[0].fd >= 0) + (fds[1].fd >= 0);
  char buffer[8192];
  while (open_pipes > 0) {
    if (const auto why = watch.reason()) return stop(*why);
    const int ready = ::poll(fds, 2, static_cast<int>(watch.step().count()));
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
  // honouring the cancel flag and the time-out.
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      run.exit_code = exit_code_of(status);
      if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
      return run;
    }
    if (r < 0 && errno != EINTR) return run;
    if (const auto why = watch.reason()) return stop(*why);
    std::this_thread::sleep_for(std::min(watch.step(), std::chrono::milliseconds(10)));
  }
}

}  // namespace kesu
