#include <windows.h>

#include <algorithm>
#include <system_error>
#include <thread>

#include "util/child_process.h"
#include "util/paths.h"
#include "util/utf8.h"
#include "util/windows_error.h"

namespace kesu {

namespace {

// How often a wait looks at the cancel flag.
constexpr DWORD kCancelCheckMs = 120;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() { reset(); }
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset() {
    if (h_ != nullptr) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

class AttributeList {
 public:
  explicit AttributeList(DWORD count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (InitializeProcThreadAttributeList(list, count, 0, &size)) list_ = list;
  }
  ~AttributeList() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }
  AttributeList(const AttributeList&) = delete;
  AttributeList& operator=(const AttributeList&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<unsigned char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

std::wstring widen(const std::string& utf8) { return path_from_utf8(utf8_lossy(utf8)).wstring(); }

std::string system_message(DWORD code) {
  return windows_message(code) + " (" + std::to_string(code) + ")";
}

Handle inheritable_null(DWORD access) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return Handle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                            0, nullptr));
}

// An output file for the child; an unopenable one only discards that output.
Handle open_output(ChildSpec::Output how, const std::filesystem::path& file) {
  if (how != ChildSpec::Output::to_file) return {};
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return Handle(CreateFileW(file.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A started child and the job that ties its life to ours: the shell ends without shutting the
// core down, and a download must not run on with nobody waiting for it.
struct Spawned {
  Handle process;
  Handle job;
  explicit operator bool() const { return static_cast<bool>(process); }
};

Handle kill_on_close_job(HANDLE process) {
  Handle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return {};
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits) ||
      !AssignProcessToJobObject(job.get(), process)) {
    return {};  // the child still runs; it only is not tied to this process
  }
  return job;
}

Error start_error(DWORD code) { return {ErrorCode::child_start_failed, system_message(code)}; }

// Starts the program with exactly the three given handles inherited (a handle list, so pipes
// of children started at the same time on other threads never leak into this one), without a
// console window. The child is held suspended until it is in its job, so nothing it starts
// itself can escape the job.
Result<Spawned> spawn(const std::vector<std::string>& args, HANDLE in, HANDLE out, HANDLE err) {
  if (args.empty()) return Error{ErrorCode::no_program, {}};
  std::wstring line = widen(windows_command_line(args));
  // The same handle may be listed only once.
  std::vector<HANDLE> inherited = {in};
  for (HANDLE h : {out, err}) {
    if (std::find(inherited.begin(), inherited.end(), h) == inherited.end()) inherited.push_back(h);
  }
  const AttributeList attributes(1);
  if (attributes.get() == nullptr ||
      !UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                 inherited.data(), inherited.size() * sizeof(HANDLE), nullptr,
                                 nullptr)) {
    return start_error(GetLastError());
  }
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  si.StartupInfo.hStdInput = in;
  si.StartupInfo.hStdOutput = out;
  si.StartupInfo.hStdError = err;
  si.lpAttributeList = attributes.get();
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT |
                          CREATE_UNICODE_ENVIRONMENT,
                      nullptr, nullptr, &si.StartupInfo, &pi)) {
    return start_error(GetLastError());
  }
  const Handle thread(pi.hThread);
  Spawned spawned{Handle(pi.hProcess), {}};
  spawned.job = kill_on_close_job(spawned.process.get());
  ResumeThread(thread.get());
  return spawned;
}

int exit_code_of(HANDLE process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return -1;
  return static_cast<int>(code);
}

// Ends the child and whatever it started (they share its job), so no grandchild keeps an output
// pipe open.
void kill_and_wait(const Spawned& child) {
  if (!child.job || !TerminateJobObject(child.job.get(), 1))
    TerminateProcess(child.process.get(), 1);
  WaitForSingleObject(child.process.get(), INFINITE);
}

// Reads a pipe to its end on its own thread.
class PipeReader {
 public:
  PipeReader(Handle pipe, std::string& sink)
      : pipe_(std::move(pipe)), thread_([this, &sink] {
          char buffer[8192];
          DWORD n = 0;
          while (ReadFile(pipe_.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
            sink.append(buffer, n);
          }
        }) {}
  ~PipeReader() { finish(); }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;
  void finish() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  Handle pipe_;
  std::thread thread_;
};

// A pipe whose write end the child inherits and whose read end stays ours.
bool make_pipe(Handle& read_end, Handle& write_end) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, &sa, 0)) return false;
  read_end = Handle(r);
  write_end = Handle(w);
  return SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

}  // namespace

std::string system_tool(const std::string& name) {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return name;
  const std::filesystem::path candidate = std::filesystem::path(dir) / widen(name + ".exe");
  std::error_code ec;
  if (!std::filesystem::exists(candidate, ec)) return name;
  return path_to_utf8(candidate);
}

std::string error_text(const std::error_code& ec) {
  if (ec.category() == std::system_category())
    return system_message(static_cast<DWORD>(ec.value()));
  return ec.message();
}

struct ChildProcess::Impl {
  Spawned child;
  std::optional<int> exit_code;  // set once the child has ended
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() { kill(); }

Result<std::unique_ptr<ChildProcess>> ChildProcess::start(const ChildSpec& spec) {
  const Handle in = inheritable_null(GENERIC_READ);
  const Handle null_out = inheritable_null(GENERIC_WRITE);
  const Handle out_file = open_output(spec.out, spec.out_file);
  const Handle err_file = open_output(spec.err, spec.err_file);
  auto impl = std::make_unique<Impl>();
  Result<Spawned> spawned = spawn(spec.argv, in.get(), out_file ? out_file.get() : null_out.get(),
                                  err_file ? err_file.get() : null_out.get());
  if (!spawned) return spawned.error();
  impl->child = std::move(spawned).value();
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

Result<std::optional<int>> ChildProcess::poll() {
  if (impl_->exit_code) return impl_->exit_code;
  const DWORD r = WaitForSingleObject(impl_->child.process.get(), 0);
  if (r == WAIT_TIMEOUT) return std::optional<int>();  // still running
  if (r != WAIT_OBJECT_0) {
    return Error{ErrorCode::child_wait_failed, system_message(GetLastError())};
  }
  impl_->exit_code = exit_code_of(impl_->child.process.get());
  return impl_->exit_code;
}

void ChildProcess::kill() {
  if (impl_ == nullptr || impl_->exit_code) return;
  kill_and_wait(impl_->child);
  impl_->exit_code = exit_code_of(impl_->child.process.get());
}

ChildResult run_child(const ChildSpec& spec) {
  ChildResult run;
  Handle pipes[2][2];  // [out, err][read, write]
  const ChildSpec::Output modes[2] = {spec.out, spec.err};
  for (int i = 0; i < 2; ++i) {
    if (modes[i] == ChildSpec::Output::capture && !make_pipe(pipes[i][0], pipes[i][1])) {
      run.end = ChildResult::End::start_failed;
      run.error = start_error(GetLastError());
      return run;
    }
  }
  Handle in = inheritable_null(GENERIC_READ);
  Handle null_out = inheritable_null(GENERIC_WRITE);
  Handle files[2] = {open_output(spec.out, spec.out_file), open_output(spec.err, spec.err_file)};
  HANDLE streams[2];
  for (int i = 0; i < 2; ++i) {
    streams[i] = pipes[i][1] ? pipes[i][1].get() : files[i] ? files[i].get() : null_out.get();
  }
  Result<Spawned> spawned = spawn(spec.argv, in.get(), streams[0], streams[1]);
  if (!spawned) {
    run.end = ChildResult::End::start_failed;
    run.error = spawned.error();
    return run;
  }
  const Spawned child = std::move(spawned).value();
  // The child holds its own copies now; ours would keep the readers from ever seeing the end.
  for (auto& pipe : pipes) pipe[1].reset();
  in.reset();
  null_out.reset();
  std::optional<PipeReader> readers[2];
  std::string* sinks[2] = {&run.out, &run.err};
  for (int i = 0; i < 2; ++i) {
    if (pipes[i][0]) readers[i].emplace(std::move(pipes[i][0]), *sinks[i]);
  }

  const auto started = std::chrono::steady_clock::now();
  for (;;) {
    DWORD wait = INFINITE;
    if (spec.cancel != nullptr) wait = kCancelCheckMs;
    if (spec.timeout) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(
          *spec.timeout - (std::chrono::steady_clock::now() - started));
      wait = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, wait));
    }
    const DWORD r = WaitForSingleObject(child.process.get(), wait);
    if (r == WAIT_OBJECT_0) break;
    const bool cancelled = spec.cancel != nullptr && spec.cancel->load();
    const bool timed_out =
        spec.timeout && std::chrono::steady_clock::now() - started >= *spec.timeout;
    if (r != WAIT_TIMEOUT || cancelled || timed_out) {
      kill_and_wait(child);
      for (auto& reader : readers) reader.reset();
      run.end = timed_out && !cancelled ? ChildResult::End::timed_out : ChildResult::End::cancelled;
      return run;
    }
  }
  for (auto& reader : readers) reader.reset();
  run.exit_code = exit_code_of(child.process.get());
  return run;
}

}  // namespace kesu
