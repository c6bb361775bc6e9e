#include <windows.h>

#include <vector>

#include "util/child_process.h"

namespace kesu {

namespace {

// Windows' own quoting rules for one argument of a command line.
std::wstring quote_argument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

struct OwnedHandle {
  HANDLE handle = nullptr;
  ~OwnedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

ChildOutcome run_child(const std::filesystem::path& program, const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout) {
  std::wstring command_line = quote_argument(program.wstring());
  for (const std::string& a : args) {
    command_line += L' ';
    command_line += quote_argument(std::filesystem::path(std::u8string(a.begin(), a.end())).wstring());
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  OwnedHandle null_out;
  null_out.handle = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
  if (null_out.handle == INVALID_HANDLE_VALUE) {
    return {std::nullopt, "启动检查进程失败（打不开 NUL）"};
  }

  // Only the NUL handle is handed down: other children of the core (downloads) must not see
  // their pipes held open by this one.
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<unsigned char> list_memory(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &list_size)) {
    return {std::nullopt, "启动检查进程失败（错误 " + std::to_string(GetLastError()) + "）"};
  }
  struct ListOwner {
    LPPROC_THREAD_ATTRIBUTE_LIST list;
    ~ListOwner() { DeleteProcThreadAttributeList(list); }
  } list_owner{attributes};
  HANDLE inherited[] = {null_out.handle};
  UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                            sizeof(inherited), nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = null_out.handle;
  startup.StartupInfo.hStdOutput = null_out.handle;
  startup.StartupInfo.hStdError = null_out.handle;
  startup.lpAttributeList = attributes;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                      &startup.StartupInfo, &process)) {
    return {std::nullopt, "启动检查进程失败（错误 " + std::to_string(GetLastError()) + "）"};
  }
  OwnedHandle process_handle{process.hProcess};
  OwnedHandle thread_handle{process.hThread};

  const DWORD waited = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count()));
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    return {std::nullopt, waited == WAIT_TIMEOUT ? "检查进程超时" : "等待检查进程失败"};
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) return {std::nullopt, "读不到检查进程的退出码"};
  return {static_cast<int>(code), {}};
}

}  // namespace kesu
