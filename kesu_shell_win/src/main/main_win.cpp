// Entry point of kesu.exe.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "main/desktop_host_win.h"
#include "main/startup.h"
#include "main/text.h"
#include "main/win_handles.h"

namespace {

// mingw's argv is in the ANSI code page; the wide command line keeps every character.
std::vector<std::string> utf8_arguments() {
  int count = 0;
  LPWSTR* raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  kesu::shell::win::LocalFreeHandle owner(reinterpret_cast<HLOCAL>(raw));
  std::vector<std::string> args;
  for (int i = 1; raw != nullptr && i < count; ++i) {
    const std::wstring arg(raw[i]);
    args.push_back(kesu::shell::utf16_to_utf8({reinterpret_cast<const char16_t*>(arg.data()), arg.size()}));
  }
  return args;
}

bool usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// A GUI program started from a console has no standard streams; the test modes still want to
// be seen there.
void attach_parent_console() {
  if (usable(::GetStdHandle(STD_OUTPUT_HANDLE)) && usable(::GetStdHandle(STD_ERROR_HANDLE))) return;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (!usable(out)) return;
  if (!usable(::GetStdHandle(STD_OUTPUT_HANDLE))) ::SetStdHandle(STD_OUTPUT_HANDLE, out);
  if (!usable(::GetStdHandle(STD_ERROR_HANDLE))) ::SetStdHandle(STD_ERROR_HANDLE, out);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace kesu::shell;
  std::vector<std::string> args = utf8_arguments();
  if (!args.empty()) attach_parent_console();
  win::DesktopHost host;
  auto opener = system_library_opener();
  return run_shell(Args(std::move(args)), host, *opener, embedded_payloads());
}
