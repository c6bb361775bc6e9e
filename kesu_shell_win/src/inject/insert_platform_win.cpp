#include "inject/insert_platform_win.h"

#include <cstring>

#include "main/foreground_win.h"
#include "main/message_pump_win.h"
#include "main/text.h"

namespace kesu::shell::win {

namespace {

HWND hwnd(WindowId w) { return reinterpret_cast<HWND>(w); }
WindowId id(HWND w) { return reinterpret_cast<WindowId>(w); }

// Not SMTO_BLOCK: while the target answers, this thread still serves requests sent to its
// clipboard owner window, which the target may make in the middle of a paste.
constexpr UINT kSendFlags = SMTO_NORMAL | SMTO_ABORTIFHUNG;

std::string narrow(const wchar_t* text, std::size_t n) {
  return utf16_to_utf8({reinterpret_cast<const char16_t*>(text), n});
}

class HandleOwner {
 public:
  explicit HandleOwner(HANDLE h) : h_(h) {}
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  ~HandleOwner() {
    if (h_ != nullptr) ::CloseHandle(h_);
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// Elevation of a process; nullopt when its token cannot be read.
std::optional<bool> elevated(HANDLE process, bool* denied) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
    *denied = ::GetLastError() == ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  HandleOwner owner(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return std::nullopt;
  return elevation.TokenIsElevated != 0;
}

}  // namespace

WinInsertPlatform::WinInsertPlatform(bool serve_messages)
    : owner_(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr)),
      serve_messages_(serve_messages) {}

WindowId WinInsertPlatform::foreground() { return id(::GetForegroundWindow()); }

void WinInsertPlatform::bring_to_front(WindowId window) {
  if (::SetForegroundWindow(hwnd(window))) return;
  const DWORD fg_thread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
  const DWORD self = ::GetCurrentThreadId();
  const bool attached = fg_thread != 0 && fg_thread != self && ::AttachThreadInput(self, fg_thread, TRUE);
  ::SetForegroundWindow(hwnd(window));
  if (attached) ::AttachThreadInput(self, fg_thread, FALSE);
}

std::string WinInsertPlatform::class_name(WindowId window) {
  wchar_t name[65];
  const int n = window == 0 ? 0 : ::GetClassNameW(hwnd(window), name, 65);
  return narrow(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string WinInsertPlatform::title(WindowId window) {
  wchar_t text[256];
  const int n = window == 0 ? 0 : ::GetWindowTextW(hwnd(window), text, 256);
  return narrow(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::uint32_t WinInsertPlatform::process_id(WindowId window) {
  DWORD pid = 0;
  if (window != 0) ::GetWindowThreadProcessId(hwnd(window), &pid);
  return pid;
}

std::uint32_t WinInsertPlatform::thread_id(WindowId window) {
  return window == 0 ? 0 : ::GetWindowThreadProcessId(hwnd(window), nullptr);
}

bool WinInsertPlatform::is_own_process(WindowId window) {
  return window != 0 && process_id(window) == ::GetCurrentProcessId();
}

std::string WinInsertPlatform::image_name(WindowId window) { return process_image_name(process_id(window)); }

bool WinInsertPlatform::blocked_by_elevation(WindowId window) {
  bool denied = false;
  if (elevated(::GetCurrentProcess(), &denied).value_or(false)) return false;
  HandleOwner process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id(window)));
  if (process.get() == nullptr) return false;
  denied = false;
  const auto target = elevated(process.get(), &denied);
  // A token this process may not even read belongs to a program above it.
  return target.value_or(denied);
}

WindowId WinInsertPlatform::focus_window() {
  HWND fg = ::GetForegroundWindow();
  if (fg == nullptr) return 0;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(fg, nullptr), &info)) return 0;
  return id(info.hwndFocus);
}

std::optional<std::string> WinInsertPlatform::window_text(WindowId window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd(window), WM_GETTEXTLENGTH, 0, 0, kSendFlags,
                             300, &length) ||
      length < 1 || length > 1000000) {
    return std::nullopt;
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(hwnd(window), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             kSendFlags, 300, &got) ||
      got == 0) {
    return std::nullopt;
  }
  return narrow(text.data(), std::min<std::size_t>(got, length));
}

bool WinInsertPlatform::send_paste_message(WindowId window) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(hwnd(window), WM_PASTE, 0, 0, kSendFlags, 300,
                               &result) != 0;
}

ClipboardWrite WinInsertPlatform::write_clipboard(std::string_view text) {
  if (!::OpenClipboard(owner_.get())) return ClipboardWrite::OpenFailed;
  ::EmptyClipboard();
  const std::u16string units = utf8_to_utf16(text);
  bool set = false;
  if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (units.size() + 1) * sizeof(char16_t))) {
    if (void* p = ::GlobalLock(memory)) {
      std::memcpy(p, units.c_str(), (units.size() + 1) * sizeof(char16_t));
      ::GlobalUnlock(memory);
      set = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!set) ::GlobalFree(memory);  // the clipboard owns it only once set
  }
  ::CloseClipboard();
  return set ? ClipboardWrite::Written : ClipboardWrite::SetFailed;
}

std::optional<std::string> WinInsertPlatform::read_clipboard() {
  if (!::OpenClipboard(owner_.get())) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
      const std::size_t max = ::GlobalSize(data) / sizeof(wchar_t);
      text = narrow(p, wcsnlen(p, max));
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

bool WinInsertPlatform::send_key(std::uint16_t vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return ::SendInput(1, &in, sizeof in) == 1;
}

unsigned WinInsertPlatform::send_unicode(std::u16string_view units) {
  std::vector<INPUT> events;
  for (char16_t unit : units) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wScan = unit;
    in.ki.dwFlags = KEYEVENTF_UNICODE;
    events.push_back(in);
    in.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    events.push_back(in);
  }
  return ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

bool WinInsertPlatform::post_char(WindowId window, char16_t unit) {
  return ::PostMessageW(hwnd(window), WM_CHAR, unit, 1) != 0;
}

void WinInsertPlatform::sleep(std::chrono::milliseconds duration) {
  // The waits serve this thread's messages: the target may ask the clipboard owner window for
  // the text while it pastes, and must not wait on us meanwhile.
  if (!serve_messages_) {
    ::Sleep(static_cast<DWORD>(duration.count()));
    return;
  }
  serve_messages_for(duration);
}

}  // namespace kesu::shell::win
