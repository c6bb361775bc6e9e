#include "main/message_window_win.h"

#include <memory>

#include "inject/insertion_result.h"
#include "main/dictation_win.h"
#include "main/logs.h"
#include "main/text.h"
#include "tray/desktop_tray_win.h"

namespace kesu::shell::win {

namespace {

std::string hex(UINT_PTR v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, MessageWindowContext& ctx) {
  switch (msg) {
    case kMsgCoreEvent: {
      if (wp == 0 || lp == 0) return 0;
      // The buffer was allocated by the callback and is ours from here on.
      std::unique_ptr<char16_t[]> units(reinterpret_cast<char16_t*>(lp));
      if (ctx.intake != nullptr) ctx.intake->on_event_units({units.get(), static_cast<std::size_t>(wp)});
      return 0;
    }
    case kMsgTray:
      if (ctx.tray != nullptr) ctx.tray->on_icon_message(lp);
      return 0;
    case kMsgHookKey:
      if (ctx.dictation != nullptr) ctx.dictation->on_hook_key(wp);
      return 0;
    case WM_INPUT:
      if (ctx.dictation != nullptr) ctx.dictation->on_raw_input(lp);
      break;  // the default procedure cleans up after the record
    case kMsgOpenSettings:
      if (ctx.state != nullptr && ctx.state->views.settings != nullptr) {
        ctx.state->views.settings->open(0);
      }
      return 0;
    case kMsgInsertionResult:
      if (ctx.dictation != nullptr) {
        ctx.dictation->on_insertion_result(lp);
      } else {
        delete reinterpret_cast<InsertionResult*>(lp);
      }
      return 0;
    case kMsgAlreadyRunning:
      if (ctx.state != nullptr && ctx.state->views.tray != nullptr) {
        ctx.state->views.tray->set_tooltip(kAlreadyRunningNotice);
      }
      return 0;
    case WM_TIMER:
      if (wp == kTrayTimerId) {
        trace("tray-timer：复检图标");
        if (ctx.tray != nullptr) ctx.tray->check_icon();
        return 0;
      }
      break;
    case WM_POWERBROADCAST:
      // After sleep the system may have dropped the hook: arm the capture again.
      if ((wp == 7 || wp == 18) && ctx.dictation != nullptr) ctx.dictation->on_resume();
      return TRUE;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      if (ctx.taskbar_created != 0 && msg == ctx.taskbar_created) {
        trace("taskbar-created：重加托盘图标");
        if (ctx.tray != nullptr) ctx.tray->check_icon();
        return 0;
      }
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK message_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* ctx = reinterpret_cast<MessageWindowContext*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (ctx == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return handle(hwnd, msg, wp, lp, *ctx);
  } catch (...) {
    stderr_line("[kesu] 消息窗口处理消息时出错（已忽略）：msg=" + hex(msg));
    return 0;
  }
}

}  // namespace

DestroyWindowHandle create_message_window(MessageWindowContext& context) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &message_window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = kMessageWindowClass;
  ::RegisterClassExW(&wc);
  // A real top-level window that is never shown: it receives the "TaskbarCreated" broadcast.
  HWND hwnd = ::CreateWindowExW(0, kMessageWindowClass, L"言至", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance, &context);
  if (hwnd == nullptr) stderr_line("[kesu] 建消息窗口失败：" + std::to_string(::GetLastError()));
  return DestroyWindowHandle(hwnd);
}

void windowed_event_callback(const char* json, void* user) {
  try {
    if (json == nullptr || user == nullptr) return;
    const std::u16string text = utf8_to_utf16(json);
    if (text.empty()) return;
    std::unique_ptr<char16_t[]> units(new char16_t[text.size()]);
    std::copy(text.begin(), text.end(), units.get());
    if (::PostMessageW(static_cast<HWND>(user), kMsgCoreEvent, text.size(),
                       reinterpret_cast<LPARAM>(units.get()))) {
      (void)units.release();  // the window frees it
    }
  } catch (...) {
    // Nothing may unwind into the core's thread; a lost event is all that happens.
  }
}

}  // namespace kesu::shell::win
