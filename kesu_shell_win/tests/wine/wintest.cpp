// A small Windows program the Wine tests use to look at the desktop independently of the shell:
// what Wine's notepad holds, the clipboard, and a clipboard kept busy on purpose.
//   kesu_wintest notepad-text | notepad-reset | notepad-wait NEEDLE TIMEOUT_MS
//                | clipboard-get | clipboard-set TEXT | clipboard-hold MS
//                | shell-window-front | post-resume

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string to_utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

void out(const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

HWND notepad_edit(HWND* top = nullptr) {
  HWND w = ::FindWindowW(L"Notepad", nullptr);
  if (top != nullptr) *top = w;
  return w == nullptr ? nullptr : ::FindWindowExW(w, nullptr, L"Edit", nullptr);
}

std::wstring window_text(HWND edit) {
  const LRESULT n = ::SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const LRESULT got = ::SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

// Wall-clock seconds since 1970, with sub-millisecond digits: comparable with Linux's clock.
double unix_now() {
  FILETIME ft;
  ::GetSystemTimePreciseAsFileTime(&ft);
  const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

int notepad_reset() {
  HWND top = nullptr;
  HWND edit = notepad_edit(&top);
  if (edit == nullptr) return 1;
  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  ::SetForegroundWindow(top);
  const DWORD thread = ::GetWindowThreadProcessId(top, nullptr);
  ::AttachThreadInput(::GetCurrentThreadId(), thread, TRUE);
  ::SetFocus(edit);
  ::AttachThreadInput(::GetCurrentThreadId(), thread, FALSE);
  return 0;
}

int notepad_wait(const std::wstring& needle, DWORD timeout_ms) {
  const ULONGLONG until = ::GetTickCount64() + timeout_ms;
  std::wstring last;
  do {
    if (HWND edit = notepad_edit()) {
      last = window_text(edit);
      if (last.find(needle) != std::wstring::npos) {
        char line[64];
        std::snprintf(line, sizeof line, "SEEN %.4f\n", unix_now());
        out(line);
        return 0;
      }
    }
    ::Sleep(2);
  } while (::GetTickCount64() < until);
  out("TIMEOUT " + to_utf8(last) + "\n");
  return 1;
}

bool open_clipboard() {
  for (int i = 0; i < 200; ++i) {
    if (::OpenClipboard(nullptr)) return true;
    ::Sleep(10);
  }
  return false;
}

int clipboard_get() {
  if (!open_clipboard()) return 1;
  std::wstring text;
  if (HANDLE h = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(h))) {
      text = p;
      ::GlobalUnlock(h);
    }
  }
  ::CloseClipboard();
  out(to_utf8(text));
  return 0;
}

int clipboard_set(const std::wstring& text) {
  if (!open_clipboard()) return 1;
  ::EmptyClipboard();
  HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (auto* p = static_cast<wchar_t*>(::GlobalLock(mem))) {
    std::copy(text.c_str(), text.c_str() + text.size() + 1, p);
    ::GlobalUnlock(mem);
  }
  const bool ok = ::SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
  ::CloseClipboard();
  return ok ? 0 : 1;
}

int clipboard_hold(DWORD ms) {
  // Held by a window of this process, as a real program holds it.
  HWND owner = ::CreateWindowExW(0, L"STATIC", L"kesu-wintest", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
  bool opened = false;
  for (int i = 0; i < 200 && !opened; ++i) {
    opened = ::OpenClipboard(owner) != FALSE;
    if (!opened) ::Sleep(10);
  }
  if (!opened) return 1;
  out("HELD\n");
  ::Sleep(ms);
  ::CloseClipboard();
  return 0;
}

}  // namespace

int wmain() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  ::LocalFree(argv);
  if (args.empty()) return 2;
  const std::wstring& cmd = args[0];
  const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
  if (cmd == L"notepad-text") {
    HWND edit = notepad_edit();
    if (edit == nullptr) return 1;
    out(to_utf8(window_text(edit)));
    return 0;
  }
  if (cmd == L"notepad-reset") return notepad_reset();
  if (cmd == L"notepad-wait") return notepad_wait(arg(1), static_cast<DWORD>(_wtoi(arg(2).c_str())));
  if (cmd == L"clipboard-get") return clipboard_get();
  if (cmd == L"clipboard-set") return clipboard_set(arg(1));
  if (cmd == L"send-mask") {
    // Tap of an unassigned key, as the shell sends while an Alt push-to-talk key is held.
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = 0xE8;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return ::SendInput(2, in, sizeof(INPUT)) == 2 ? 0 : 1;
  }
  if (cmd == L"try-open") {
    const bool ok = ::OpenClipboard(nullptr) != FALSE;
    if (ok) ::CloseClipboard();
    out(ok ? "OPENED\n" : "BUSY\n");
    return 0;
  }
  if (cmd == L"shell-window-front") {
    // The shell's hidden message window, shown and put in front: a window of the shell itself.
    HWND w = ::FindWindowW(L"KesuMessageWindow", nullptr);
    if (w == nullptr) return 1;
    ::SetWindowPos(w, HWND_TOP, 100, 100, 320, 200, SWP_SHOWWINDOW);
    return ::SetForegroundWindow(w) ? 0 : 1;
  }
  if (cmd == L"post-resume") {
    HWND w = ::FindWindowW(L"KesuMessageWindow", nullptr);
    return w != nullptr && ::PostMessageW(w, WM_POWERBROADCAST, 7, 0) ? 0 : 1;
  }
  if (cmd == L"clipboard-hold") return clipboard_hold(static_cast<DWORD>(_wtoi(arg(1).c_str())));
  if (cmd == L"tray-delete" || cmd == L"tray-present") {
    // The shell's icon as the notification area knows it: removed (as an Explorer restart
    // loses it), or probed with a tooltip change that fails when the icon is gone.
    HWND w = ::FindWindowW(L"KesuMessageWindow", nullptr);
    if (w == nullptr) return 1;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = w;
    nid.uID = 1;
    if (cmd == L"tray-delete") return ::Shell_NotifyIconW(NIM_DELETE, &nid) ? 0 : 1;
    nid.uFlags = NIF_TIP;
    std::wcscpy(nid.szTip, L"言至：探测");
    const bool present = ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
    out(present ? "PRESENT\n" : "ABSENT\n");
    return 0;
  }
  if (cmd == L"taskbar-created") {
    const UINT msg = ::RegisterWindowMessageW(L"TaskbarCreated");
    return ::PostMessageW(HWND_BROADCAST, msg, 0, 0) ? 0 : 1;
  }
  if (cmd == L"window-rect") {
    // A visible top-level window of the class: "RECT left top right bottom".
    HWND w = ::FindWindowW(arg(1).c_str(), nullptr);
    RECT r{};
    if (w == nullptr || !::IsWindowVisible(w) || !::GetWindowRect(w, &r)) {
      out("NONE\n");
      return 1;
    }
    out("RECT " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
        " " + std::to_string(r.bottom) + "\n");
    return 0;
  }
  return 2;
}
