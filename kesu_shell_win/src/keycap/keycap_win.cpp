#include "keycap/keycap_win.h"

#include <cstdio>
#include <cwchar>
#include <exception>
#include <memory>

#include "keycap/key_capture.h"
#include "main/logs.h"
#include "main/text.h"
#include "main/win_handles.h"

namespace kesu::shell::win {

namespace {

constexpr UINT kTextFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

std::wstring wide(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  return std::wstring(units.begin(), units.end());
}

COLORREF colour(KeyCapColour c) { return RGB(c.r, c.g, c.b); }

std::string hex(UINT v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

FontHandle make_font(float scale) {
  const std::wstring face(kKeyCapFont.begin(), kKeyCapFont.end());
  return FontHandle(::CreateFontW(-keycap_scaled(kKeyCapFontHeight, scale), 0, 0, 0, FW_NORMAL,
                                  FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

// One control's data, owned by its window from WM_NCCREATE to WM_NCDESTROY.
struct KeyCapData {
  KeyCapData(std::string_view value, float owner_scale)
      : capture(value), scale(owner_scale > 0.0f ? owner_scale : 1.0f), font(make_font(scale)) {}

  KeyCapture capture;
  float scale;
  FontHandle font;
  // The last key press went to the recording, so the character message that follows it must
  // not reach the default handling (Alt+letter would open the window menu or beep).
  bool swallow_chars = false;
};

ModifierState modifiers_now() {
  // GetKeyState: the key state as of the message being handled, not the hardware's now.
  const auto held = [](int vk) { return (::GetKeyState(vk) & 0x8000) != 0; };
  ModifierState m;
  m.ctrl = held(VK_CONTROL);
  m.alt = held(VK_MENU);
  m.shift = held(VK_SHIFT);
  m.right_win = held(VK_RWIN);
  m.win = m.right_win || held(VK_LWIN);
  m.right_ctrl = held(VK_RCONTROL);
  return m;
}

KeyEvent key_event(UINT msg) {
  switch (msg) {
    case WM_KEYUP:
      return KeyEvent::up;
    case WM_SYSKEYDOWN:
      return KeyEvent::sys_down;
    case WM_SYSKEYUP:
      return KeyEvent::sys_up;
    default:
      return KeyEvent::down;
  }
}

void paint(HWND hwnd, const KeyCapData& data) {
  PaintScope paint(hwnd);
  if (paint.dc() == nullptr) return;
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int w = client.right;
  const int h = client.bottom;
  if (w <= 0 || h <= 0) return;

  // Drawn into a memory bitmap and copied in one go, so typing never flickers.
  MemoryDCHandle memory(::CreateCompatibleDC(paint.dc()));
  BitmapHandle bitmap(::CreateCompatibleBitmap(paint.dc(), w, h));
  if (!memory || !bitmap) return;
  Selection bitmap_selected(memory.get(), bitmap.get());
  HDC dc = memory.get();

  DeleteObjectHandle background(::CreateSolidBrush(colour(keycap_colour::kBackground)));
  ::FillRect(dc, &client, static_cast<HBRUSH>(background.get()));

  const KeyCapBorder border = key_capture_border(::GetFocus() == hwnd);
  DeleteObjectHandle pen(::CreatePen(PS_SOLID, border.width, colour(border.colour)));
  {
    Selection pen_selected(dc, pen.get());
    Selection brush_selected(dc, ::GetStockObject(NULL_BRUSH));
    const int corner = keycap_scaled(kKeyCapCorner, data.scale);
    ::RoundRect(dc, 0, 0, w, h, corner, corner);
  }

  const KeyCapCaption caption = data.capture.caption();
  const std::wstring text = wide(caption.text);
  RECT text_rect{keycap_scaled(kKeyCapTextLeft, data.scale), 0,
                 w - keycap_scaled(kKeyCapTextRight, data.scale), h};
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour(caption.colour));
  {
    Selection font_selected(
        dc, data.font ? static_cast<HGDIOBJ>(data.font.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_rect, kTextFormat);
  }

  ::BitBlt(paint.dc(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
}

// The parent may destroy the control while it handles the notification: nothing of the
// control may be touched after this call.
void notify_parent(HWND hwnd) {
  HWND parent = ::GetParent(hwnd);
  if (parent == nullptr) return;
  const int id = ::GetDlgCtrlID(hwnd);
  ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0),
                 reinterpret_cast<LPARAM>(hwnd));
}

LRESULT on_key(HWND hwnd, KeyCapData& data, UINT msg, WPARAM wp, LPARAM lp) {
  const bool press = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
  if (!data.capture.armed()) {
    if (press) {
      data.swallow_chars = false;
      return ::DefWindowProcW(hwnd, msg, wp, lp);  // Alt+F4 and the like keep working
    }
    // A release after a recording stays here: the default handling of a lone Alt or F10
    // release would put the top-level window into menu mode.
    return 0;
  }
  if (press) data.swallow_chars = true;
  const KeyMessage message{key_event(msg), static_cast<unsigned>(wp), ((lp >> 24) & 1) != 0};
  const bool recorded = data.capture.key(message, modifiers_now());
  ::InvalidateRect(hwnd, nullptr, FALSE);
  if (recorded) notify_parent(hwnd);
  return 0;
}

LRESULT handle(HWND hwnd, KeyCapData& data, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;  // Tab, Enter and Esc are keys to record, not dialog navigation
    case WM_LBUTTONDOWN:
      // A click on the focused control after a recording arms it again.
      if (::GetFocus() == hwnd) {
        data.capture.focus_gained();
        ::InvalidateRect(hwnd, nullptr, FALSE);
      } else {
        ::SetFocus(hwnd);
      }
      return 0;
    case WM_SETFOCUS:
      data.capture.focus_gained();
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS:
      data.capture.focus_lost();
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
      return on_key(hwnd, data, msg, wp, lp);
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_DEADCHAR:
    case WM_SYSDEADCHAR:
      if (data.swallow_chars) return 0;
      break;
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      paint(hwnd, data);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      // create_key_capture hands its data over; a control made by class name alone starts empty.
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
      auto* handed = static_cast<std::unique_ptr<KeyCapData>*>(create->lpCreateParams);
      std::unique_ptr<KeyCapData> data = handed != nullptr && *handed
                                             ? std::move(*handed)
                                             : std::make_unique<KeyCapData>("", 1.0f);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data.release()));
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
      std::unique_ptr<KeyCapData> data(
          reinterpret_cast<KeyCapData*>(::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0)));
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* data = reinterpret_cast<KeyCapData*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (data == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return handle(hwnd, *data, msg, wp, lp);
  } catch (const std::exception& e) {
    stderr_line("[kesu] 按键录入框处理消息时出错（已忽略）：msg=" + hex(msg) + " " + e.what());
  } catch (...) {
    stderr_line("[kesu] 按键录入框处理消息时出错（已忽略）：msg=" + hex(msg));
  }
  return 0;
}

bool class_ready() {
  // Registered once per process, at the first control.
  static const bool ready = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = &window_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kKeyCapClass;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return ready;
}

KeyCapData* data_of(HWND control) {
  wchar_t name[32] = {};
  if (control == nullptr || ::GetClassNameW(control, name, 32) == 0 ||
      std::wcscmp(name, kKeyCapClass) != 0) {
    return nullptr;
  }
  return reinterpret_cast<KeyCapData*>(::GetWindowLongPtrW(control, GWLP_USERDATA));
}

}  // namespace

HWND create_key_capture(HWND parent, int x, int y, int width, int height, int id,
                        std::string_view value, float scale) {
  try {
    if (!class_ready()) {
      stderr_line("[kesu] 按键录入框的窗口类注册失败");
      return nullptr;
    }
    // Owned here until WM_NCCREATE takes it over; freed here if the window never gets that far.
    auto data = std::make_unique<KeyCapData>(value, scale);
    HWND hwnd = ::CreateWindowExW(0, kKeyCapClass, L"", WS_CHILD | WS_VISIBLE, x, y, width, height,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  ::GetModuleHandleW(nullptr), &data);
    if (hwnd == nullptr) {
      stderr_line("[kesu] 建按键录入框失败：" + std::to_string(::GetLastError()));
    }
    return hwnd;
  } catch (const std::exception& e) {
    stderr_line(std::string("[kesu] 建按键录入框失败：") + e.what());
    return nullptr;
  }
}

std::string key_capture_value(HWND control) {
  const KeyCapData* data = data_of(control);
  return data != nullptr ? data->capture.value() : std::string();
}

void set_key_capture_value(HWND control, std::string_view value) {
  KeyCapData* data = data_of(control);
  if (data == nullptr) return;
  data->capture.set_value(value);
  ::InvalidateRect(control, nullptr, FALSE);
}

}  // namespace kesu::shell::win
