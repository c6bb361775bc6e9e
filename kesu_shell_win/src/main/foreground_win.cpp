#include "main/foreground_win.h"

#include "main/text.h"

namespace kesu::shell::win {

std::string process_image_name(DWORD pid) {
  if (pid == 0) return {};
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return {};
  wchar_t path[512];
  DWORD size = 512;
  const BOOL ok = ::QueryFullProcessImageNameW(process, 0, path, &size);
  ::CloseHandle(process);
  if (!ok) return {};
  const std::string full = utf16_to_utf8({reinterpret_cast<const char16_t*>(path), size});
  const std::size_t cut = full.find_last_of("\\/");
  return cut == std::string::npos ? full : full.substr(cut + 1);
}

std::string WinForegroundProbe::app_name() {
  HWND fg = ::GetForegroundWindow();
  if (fg == nullptr) return {};
  DWORD pid = 0;
  ::GetWindowThreadProcessId(fg, &pid);
  return process_image_name(pid);
}

std::uintptr_t WinForegroundProbe::window() {
  return reinterpret_cast<std::uintptr_t>(::GetForegroundWindow());
}

bool WinForegroundProbe::belongs_to_this_process(std::uintptr_t window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &pid);
  return pid == ::GetCurrentProcessId();
}

}  // namespace kesu::shell::win
