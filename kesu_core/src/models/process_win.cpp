#include <windows.h>

#include <system_error>
#include <thread>

#include "models/process.h"
#include "util/windows_error.h"

namespace kesu {

namespace {

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

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string system_message(DWORD code) {
  return windows_message(code) + " (" + std::to_string(code) + ")";
}

// One argument quoted so that the C runtime's command-line parser gives it back unchanged.
void append_quoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

Handle inheritable_null(DWORD access) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return Handle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                            0, nullptr));
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

// Starts the program with exactly the three given handles inherited (a handle list, so pipes
// of children started at the same time on other threads never leak into this one), without a
// console window.
Spawned spawn(const std::vector<std::string>& args, HANDLE in, HANDLE out, HANDLE err,
              std::string& error) {
  if (args.empty()) {
    error = "没有要运行的程序";
    return {};
  }
  std::wstring line;
  for (const std::string& a : args) {
    if (!line.empty()) line += L' ';
    append_quoted(line, widen(a));
  }
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    error = system_message(GetLastError());
    return {};
  }
  HANDLE inherited[3] = {in, out, err};
  DWORD count = 3;
  if (out == err) count = 2;  // the same handle may be listed only once
  UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                            count * sizeof(HANDLE), nullptr, nullptr);
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  si.StartupInfo.hStdInput = in;
  si.StartupInfo.hStdOutput = out;
  si.StartupInfo.hStdError = err;
  si.lpAttributeList = attributes;
  PROCESS_INFORMATION pi{};
  const BOOL ok =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT,
                     nullptr, nullptr, &si.StartupInfo, &pi);
  const DWORD code = GetLastError();
  DeleteProcThreadAttributeList(attributes);
  if (!ok) {
    error = system_message(code);
    return {};
  }
  CloseHandle(pi.hThread);
  Spawned spawned{Handle(pi.hProcess), {}};
  spawned.job = kill_on_close_job(spawned.process.get());
  return spawned;
}

int exit_code_of(HANDLE process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return -1;
  return static_cast<int>(code);
}

void kill_and_wait(HANDLE process) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
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
  ~PipeReader() {
    if (thread_.joinable()) thread_.join();
  }
  void finish() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  Handle pipe_;
  std::thread thread_;
};

}  // namespace

std::string system_tool(const std::string& name) {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return name;
  const std::filesystem::path candidate = std::filesystem::path(dir) / (widen(name) + L".exe");
  std::error_code ec;
  if (!std::filesystem::exists(candidate, ec)) return name;
  const std::u8string u8 = candidate.u8string();
  return std::string(u8.begin(), u8.end());
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

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& args,
                                                  const std::filesystem::path& stderr_file,
                                                  std::string& error) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  Handle err_file(CreateFileW(stderr_file.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Handle in = inheritable_null(GENERIC_READ);
  Handle out = inheritable_null(GENERIC_WRITE);
  Handle err = err_file ? std::move(err_file) : inheritable_null(GENERIC_WRITE);
  auto impl = std::make_unique<Impl>();
  impl->child = spawn(args, in.get(), out.get(), err.get(), error);
  if (!impl->child) return nullptr;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

std::optional<int> ChildProcess::poll() {
  if (impl_->exit_code) return impl_->exit_code;
  const DWORD r = WaitForSingleObject(impl_->child.process.get(), 0);
  if (r == WAIT_TIMEOUT) return std::nullopt;
  if (r != WAIT_OBJECT_0) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  }
  impl_->exit_code = exit_code_of(impl_->child.process.get());
  return impl_->exit_code;
}

void ChildProcess::kill() {
  if (impl_ == nullptr || impl_->exit_code) return;
  kill_and_wait(impl_->child.process.get());
  impl_->exit_code = exit_code_of(impl_->child.process.get());
}

CapturedRun run_captured(const std::vector<std::string>& args, const std::atomic<bool>* cancel) {
  CapturedRun run;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE raw[4] = {};
  if (!CreatePipe(&raw[0], &raw[1], &sa, 0) || !CreatePipe(&raw[2], &raw[3], &sa, 0)) {
    for (HANDLE h : raw) {
      if (h != nullptr) CloseHandle(h);
    }
    run.end = CapturedRun::End::start_failed;
    run.error = system_message(GetLastError());
    return run;
  }
  Handle out_read(raw[0]), out_write(raw[1]), err_read(raw[2]), err_write(raw[3]);
  SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read.get(), HANDLE_FLAG_INHERIT, 0);
  Handle in = inheritable_null(GENERIC_READ);
  Spawned child = spawn(args, in.get(), out_write.get(), err_write.get(), run.error);
  const HANDLE process = child.process.get();
  if (!child) {
    run.end = CapturedRun::End::start_failed;
    return run;
  }
  // The child holds its own copies now; ours would keep the readers from ever seeing the end.
  out_write.reset();
  err_write.reset();
  in.reset();
  PipeReader out_reader(std::move(out_read), run.out);
  PipeReader err_reader(std::move(err_read), run.err);
  for (;;) {
    const DWORD r = WaitForSingleObject(process, 120);
    if (r == WAIT_OBJECT_0) break;
    if (r != WAIT_TIMEOUT || (cancel != nullptr && cancel->load())) {
      kill_and_wait(process);
      out_reader.finish();
      err_reader.finish();
      run.end = CapturedRun::End::cancelled;
      return run;
    }
  }
  out_reader.finish();
  err_reader.finish();
  run.exit_code = exit_code_of(process);
  return run;
}

}  // namespace kesu
