#include "overlay/overlay_win.h"

#include <cstdio>
#include <vector>

#include "main/logs.h"
#include "main/text.h"
#include "overlay/overlay_pixels.h"

namespace kesu::shell::win {

namespace {

constexpr wchar_t kOverlayClass[] = L"KesuOverlay";
constexpr DWORD kOverlayExStyles =
    WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_TRANSPARENT;
static_assert(kOverlayExStyles == 0x080800A8);

std::wstring wide(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  return {units.begin(), units.end()};
}

FontHandle make_font(int height, int weight, const wchar_t* face) {
  return FontHandle(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face));
}
constexpr wchar_t kTextFace[] = L"Microsoft YaHei UI";
constexpr wchar_t kGlyphFace[] = L"Segoe MDL2 Assets";

// Looked up at run time: older systems lack these calls.
template <class Fn>
Fn user32_fn(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 == nullptr ? nullptr
                           : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

int kind_for(int y) {
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  return height > 0 && y > 2 * height / 3 ? 1 : 0;
}

// The theme answer is read once: a light theme (or an unreadable setting) means dark text.
bool light_theme() {
  static const bool light = [] {
    DWORD value = 0, size = sizeof value;
    const LSTATUS rc = ::RegGetValueW(HKEY_CURRENT_USER,
                                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return rc != ERROR_SUCCESS || value != 0;
  }();
  return light;
}

void draw_text(HDC dc, std::string_view text, int height, int weight, const wchar_t* face,
               COLORREF colour, RECT rect, UINT format) {
  if (text.empty()) return;
  const FontHandle font = make_font(height, weight, face);
  const Selection chosen(dc, font.get());
  ::SetTextColor(dc, colour);
  const std::wstring w = wide(text);
  ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &rect,
              format | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

bool owned_by_this_thread(HWND hwnd) {
  return ::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId();
}

// Renders and hides also run on the animation and timer threads, which must never wait for the
// user-interface thread: from there the window is changed asynchronously.
void show_from_any_thread(HWND hwnd, int command) {
  if (owned_by_this_thread(hwnd)) {
    ::ShowWindow(hwnd, command);
  } else {
    ::ShowWindowAsync(hwnd, command);
  }
}

RECT win_rect(const overlay::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace

struct WinOverlay::ProbeDetails {
  DWORD thread = 0;
  bool gti_ok = false;
  DWORD error = 0;
  HWND caret = nullptr;
  RECT caret_rect{};
  POINT screen{};
  bool converted = false;
  RECT window{};
};

WinOverlay::WinOverlay() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &::DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = kOverlayClass;
  ::RegisterClassExW(&wc);
  window_ = DestroyWindowHandle(::CreateWindowExW(kOverlayExStyles, kOverlayClass, L"言至", WS_POPUP,
                                                  0, 0, 190, 56, nullptr, nullptr, instance, nullptr));
  if (!window_) stderr_line("[kesu] 建状态浮窗失败：" + std::to_string(::GetLastError()));
}

CaretProbe WinOverlay::probe(ProbeDetails* details) {
  ProbeDetails local;
  ProbeDetails& d = details != nullptr ? *details : local;
  HWND fg = ::GetForegroundWindow();
  if (fg == nullptr) return {};
  d.thread = ::GetWindowThreadProcessId(fg, nullptr);
  if (d.thread != 0) {
    const DWORD self = ::GetCurrentThreadId();
    const bool attached = d.thread != self && ::AttachThreadInput(self, d.thread, TRUE);
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    d.gti_ok = ::GetGUIThreadInfo(d.thread, &gti) != FALSE;
    d.error = ::GetLastError();
    if (d.gti_ok && gti.hwndCaret != nullptr) {
      d.caret = gti.hwndCaret;
      d.caret_rect = gti.rcCaret;
      d.screen = POINT{gti.rcCaret.left, gti.rcCaret.bottom};
      d.converted = ::ClientToScreen(gti.hwndCaret, &d.screen) != FALSE;
    }
    if (attached) ::AttachThreadInput(self, d.thread, FALSE);
    if (d.converted) {
      return {d.screen.x, d.screen.y, static_cast<ProbeKind>(kind_for(d.screen.y))};
    }
  }
  if (::GetWindowRect(fg, &d.window) && d.window.bottom > 0 && d.window.left + d.window.right > 1) {
    const int x = (d.window.left + d.window.right) / 2;
    return {x, d.window.bottom, static_cast<ProbeKind>(kind_for(d.window.bottom))};
  }
  POINT p{};
  if (::GetCursorPos(&p)) return {p.x, p.y, static_cast<ProbeKind>(kind_for(p.y))};
  return {};
}

CaretProbe WinOverlay::caret_probe() { return probe(nullptr); }

std::string WinOverlay::probe_line() {
  ProbeDetails d;
  (void)probe(&d);
  char line[320];
  std::snprintf(line, sizeof line,
                "PROBE fg_thread=%lu gti_ok=%s err=%lu caret_hwnd=%p rc=(%ld,%ld,%ld,%ld) "
                "screen=(%ld,%ld) conv=%s win=(%ld,%ld,%ld,%ld)",
                static_cast<unsigned long>(d.thread), d.gti_ok ? "true" : "false",
                static_cast<unsigned long>(d.error), static_cast<void*>(d.caret), d.caret_rect.left,
                d.caret_rect.top, d.caret_rect.right, d.caret_rect.bottom, d.screen.x, d.screen.y,
                d.converted ? "true" : "false", d.window.left, d.window.top, d.window.right,
                d.window.bottom);
  return line;
}

std::optional<std::pair<int, int>> WinOverlay::cursor() {
  POINT p{};
  if (!::GetCursorPos(&p)) return std::nullopt;
  return std::pair{static_cast<int>(p.x), static_cast<int>(p.y)};
}

double WinOverlay::dpi_scale(int x, int y) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const GetDpiForMonitorFn get_dpi = [] {
    HMODULE shcore = ::LoadLibraryW(L"shcore.dll");  // kept for the life of the process
    return shcore == nullptr ? nullptr
                             : reinterpret_cast<GetDpiForMonitorFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
  }();
  if (get_dpi == nullptr) return 1;
  HMONITOR monitor = ::MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST);
  UINT dpi_x = 0, dpi_y = 0;
  if (monitor == nullptr || FAILED(get_dpi(monitor, 0 /* effective */, &dpi_x, &dpi_y)) || dpi_x == 0) {
    return 1;
  }
  return dpi_x / 96.0;
}

overlay::Rect WinOverlay::work_area(int x, int y) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST);
  if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info)) {
    return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
  }
  return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

int WinOverlay::text_width(std::string_view text, int font_height) {
  if (text.empty()) return 0;
  const ScreenDC screen;
  if (screen.get() == nullptr) return 0;
  const FontHandle font = make_font(font_height, 600, kTextFace);
  const Selection chosen(screen.get(), font.get());
  const std::wstring w = wide(text);
  SIZE size{};
  if (!::GetTextExtentPoint32W(screen.get(), w.c_str(), static_cast<int>(w.size()), &size)) return 0;
  return size.cx;
}

void WinOverlay::draw(const overlay::Frame& f) {
  HWND hwnd = window_.get();
  const ScreenDC screen;
  MemoryDCHandle memory(::CreateCompatibleDC(screen.get()));
  if (!memory) return;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = f.W;
  bmi.bmiHeader.biHeight = -f.H;  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapHandle bitmap(::CreateDIBSection(screen.get(), &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return;

  const overlay::Pixels px{static_cast<std::uint32_t*>(bits), f.W, f.H};
  overlay::paint_shapes(px, f);
  bool ulw_ok = false;
  {
    const Selection chosen(memory.get(), bitmap.get());
    HDC dc = memory.get();
    ::SetBkMode(dc, TRANSPARENT);
    const overlay::Sizes& s = f.s;
    if (f.badge) {
      draw_text(dc, "\xEE\x9C\x8F" /* U+E70F */, s.badge_font, 400, kGlyphFace, RGB(240, 240, 240),
                win_rect(*f.badge), DT_CENTER | DT_VCENTER);
    }
    draw_text(dc, f.main_text, s.text_font, 500, kTextFace, RGB(255, 255, 255), win_rect(f.text_rect),
              DT_LEFT | DT_VCENTER);
    // The dim cursor is white at a quarter strength over the panel.
    const COLORREF cursor = f.cursor_bright ? RGB(255, 255, 255) : RGB(106, 106, 110);
    draw_text(dc, "_", s.cursor_font, 600, kTextFace, cursor, win_rect(f.cursor_rect),
              DT_LEFT | DT_VCENTER);
    draw_text(dc, f.hint, s.hint_font, 400, kTextFace, RGB(255, 255, 255), win_rect(f.hint_rect),
              DT_CENTER | DT_TOP);
    ::GdiFlush();

    // The hint's tint follows what lies below the window.
    int lumas[9];
    int readable = 0;
    for (int k = 0; k < 9; ++k) {
      const int sx = f.pos.x + static_cast<int>((k + 0.5) * f.W / 9);
      const COLORREF c = ::GetPixel(screen.get(), sx, f.pos.y + f.H + 3);
      if (c == CLR_INVALID) continue;
      lumas[readable++] = overlay::luma(GetRValue(c), GetGValue(c), GetBValue(c));
    }
    overlay::alpha_pass(px, f, overlay::hint_grey(lumas, readable, light_theme()));

    POINT dst{f.pos.x, f.pos.y};
    SIZE size{f.W, f.H};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ulw_ok = ::UpdateLayeredWindow(hwnd, screen.get(), &dst, &size, dc, &src, 0, &blend, ULW_ALPHA) != FALSE;
  }
  if (raw_debug_on()) {
    char line[200];
    std::snprintf(line, sizeof line, "render w=%d h=%d pos=(%d,%d) scale=%g ulw_ok=%s visible=%s hwnd=%p\n",
                  f.W, f.H, f.pos.x, f.pos.y, f.s.t, ulw_ok ? "true" : "false",
                  ::IsWindowVisible(hwnd) ? "true" : "false", static_cast<void*>(hwnd));
    raw_debug(line);
  }
  bitmap.reset();
  memory.reset();
  const bool own = owned_by_this_thread(hwnd);
  show_from_any_thread(hwnd, SW_SHOWNOACTIVATE);
  ::SetWindowPos(hwnd, HWND_TOPMOST, f.pos.x, f.pos.y, f.W, f.H,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW | (own ? 0 : SWP_ASYNCWINDOWPOS));
  ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | (own ? RDW_UPDATENOW : 0));
}

void WinOverlay::show() { show_from_any_thread(window_.get(), SW_SHOWNA); }

// The timed hides run on their own threads.
void WinOverlay::hide() { show_from_any_thread(window_.get(), SW_HIDE); }

std::string dpi_report_line() {
  using GetThreadContextFn = HANDLE(WINAPI*)();
  using AwarenessFn = int(WINAPI*)(HANDLE);
  using SystemDpiFn = UINT(WINAPI*)();
  const auto context = user32_fn<GetThreadContextFn>("GetThreadDpiAwarenessContext");
  const auto awareness = user32_fn<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  const auto system = user32_fn<SystemDpiFn>("GetDpiForSystem");
  const int aware = context != nullptr && awareness != nullptr ? awareness(context()) : -1;
  UINT dpi = 96;
  if (system != nullptr) {
    dpi = system();
  } else {
    const ScreenDC screen;
    if (screen.get() != nullptr) dpi = static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY));
  }
  return "DPI awareness=" + std::to_string(aware) + " system=" + std::to_string(dpi);
}

}  // namespace kesu::shell::win
