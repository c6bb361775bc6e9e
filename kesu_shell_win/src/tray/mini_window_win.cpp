#include "tray/mini_window_win.h"

#include <windowsx.h>

#include <cstdio>

#include "main/logs.h"
#include "main/text.h"
#include "main/win_handles.h"

namespace kesu::shell::win {

namespace {

constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

std::wstring wide(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  return std::wstring(units.begin(), units.end());
}
std::wstring wide(std::u16string_view units) { return std::wstring(units.begin(), units.end()); }

COLORREF colour(MiniColour c) { return RGB(c.r, c.g, c.b); }
RECT rect(const MiniRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// The system DPI, looked up at run time because older systems lack the call; 0 when unknown.
unsigned system_dpi() {
  using GetDpiFn = UINT(WINAPI*)();
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return 0;
  auto get_dpi = reinterpret_cast<GetDpiFn>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForSystem")));
  return get_dpi != nullptr ? get_dpi() : 0;
}

RECT work_area() {
  RECT work{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || work.right <= work.left) {
    work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  return work;
}

DeleteObjectHandle make_font(std::u16string_view face, int size, int weight) {
  const std::wstring name = wide(face);
  return DeleteObjectHandle(::CreateFontW(-size, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          CLEARTYPE_QUALITY, DEFAULT_PITCH, name.c_str()));
}

void draw_text(HDC dc, HGDIOBJ font, MiniColour c, std::wstring_view text, const MiniRect& where) {
  if (font == nullptr) return;
  Selection selected(dc, font);
  ::SetTextColor(dc, colour(c));
  RECT r = rect(where);
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, kTextFormat);
}

std::string hex(UINT v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

}  // namespace

MiniWindow::~MiniWindow() {
  if (HWND hwnd = window()) ::DestroyWindow(hwnd);
}

HWND MiniWindow::window() const {
  std::lock_guard lock(window_mu_);
  return window_;
}

bool MiniWindow::create(MiniCallbacks callbacks, std::function<std::string()> hotkey_display_name) {
  if (window() != nullptr) return true;
  callbacks_ = std::move(callbacks);
  hotkey_name_ = std::move(hotkey_display_name);
  layout_ = MiniLayout(mini_scale_percent(system_dpi()));

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DROPSHADOW;
  wc.lpfnWndProc = &MiniWindow::window_proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kMiniWindowClass;
  ::RegisterClassExW(&wc);  // fails harmlessly when already registered

  const RECT work = work_area();
  const MiniPoint at = layout_.position({work.left, work.top, work.right, work.bottom});
  const int w = layout_.width();
  const int h = layout_.height();
  HWND hwnd =
      ::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kMiniWindowClass,
                        L"言至", WS_POPUP, at.x, at.y, w, h, nullptr, nullptr, instance, this);
  if (hwnd == nullptr) {
    stderr_line("[kesu] 建迷你窗失败：" + std::to_string(::GetLastError()));
    return false;
  }
  {
    std::lock_guard lock(window_mu_);
    window_ = hwnd;
  }
  const int corner = layout_.corner();
  HRGN region = ::CreateRoundRectRgn(0, 0, w + 1, h + 1, corner, corner);
  // On success the window owns the region.
  if (region != nullptr && !::SetWindowRgn(hwnd, region, TRUE)) ::DeleteObject(region);
  return true;
}

void MiniWindow::set_phase(std::string_view phase) {
  {
    std::lock_guard lock(status_mu_);
    phase_ = std::string(phase);
  }
  repaint();
}

void MiniWindow::set_saved_minutes(std::int64_t minutes) {
  {
    std::lock_guard lock(status_mu_);
    saved_minutes_ = minutes;
  }
  repaint();
}

void MiniWindow::repaint() {
  if (HWND hwnd = window()) ::InvalidateRect(hwnd, nullptr, FALSE);
}

void MiniWindow::show() {
  HWND hwnd = window();
  if (hwnd == nullptr) return;
  ::ShowWindow(hwnd, SW_SHOWNA);
  ::InvalidateRect(hwnd, nullptr, FALSE);
}

void MiniWindow::hide() {
  if (HWND hwnd = window()) ::ShowWindow(hwnd, SW_HIDE);
}

bool MiniWindow::is_visible() const {
  HWND hwnd = window();
  return hwnd != nullptr && ::IsWindowVisible(hwnd);
}

bool MiniWindow::toggle() {
  if (is_visible()) {
    hide();
  } else {
    show();
  }
  return is_visible();
}

void MiniWindow::on_click(HWND hwnd, int x, int y) {
  switch (layout_.click(x, y)) {
    case MiniClick::Close:
      ::ShowWindow(hwnd, SW_HIDE);
      log_line(kMiniClosedLogLine);
      if (callbacks_.on_close) callbacks_.on_close();
      break;
    case MiniClick::Settings:
      if (callbacks_.on_settings) callbacks_.on_settings();
      break;
    case MiniClick::Button:
      if (callbacks_.on_button) callbacks_.on_button();
      break;
    case MiniClick::Nothing:
      break;
  }
}

void MiniWindow::paint(HWND hwnd) {
  PaintScope paint(hwnd);
  if (paint.dc() == nullptr) return;
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int w = client.right;
  const int h = client.bottom;

  std::string phase;
  std::int64_t minutes = 0;
  {
    std::lock_guard lock(status_mu_);
    phase = phase_;
    minutes = saved_minutes_;
  }
  const std::string hotkey = hotkey_name_ ? hotkey_name_() : std::string();

  // Drawn into a memory bitmap first and copied in one go, so the card never flickers.
  MemoryDCHandle memory(::CreateCompatibleDC(paint.dc()));
  DeleteObjectHandle bitmap(::CreateCompatibleBitmap(paint.dc(), w, h));
  if (!memory || !bitmap) return;
  Selection bitmap_selected(memory.get(), bitmap.get());
  HDC dc = memory.get();
  ::SetBkMode(dc, TRANSPARENT);

  {  // card
    DeleteObjectHandle fill(::CreateSolidBrush(colour(mini_colour::kCard)));
    DeleteObjectHandle border(::CreatePen(PS_SOLID, 1, colour(mini_colour::kBorder)));
    ::FillRect(dc, &client, static_cast<HBRUSH>(fill.get()));
    Selection brush(dc, fill.get());
    Selection pen(dc, border.get());
    ::RoundRect(dc, 0, 0, w, h, layout_.corner(), layout_.corner());
  }

  const bool recording = mini_button_recording(phase);
  const MiniPoint c = layout_.button_centre();
  {  // round button; a null pen draws one pixel short, hence the + 1
    DeleteObjectHandle fill(::CreateSolidBrush(
        colour(recording ? mini_colour::kButtonRecording : mini_colour::kButtonIdle)));
    Selection brush(dc, fill.get());
    Selection pen(dc, ::GetStockObject(NULL_PEN));
    const int r = layout_.button_radius();
    ::Ellipse(dc, c.x - r, c.y - r, c.x + r + 1, c.y + r + 1);
  }
  if (recording) {
    DeleteObjectHandle mark(::CreateSolidBrush(colour(mini_colour::kMark)));
    const int half = layout_.stop_half_size();
    const RECT square{c.x - half, c.y - half, c.x + half, c.y + half};
    ::FillRect(dc, &square, static_cast<HBRUSH>(mark.get()));
  } else {
    DeleteObjectHandle glyphs = make_font(kMiniGlyphFont, layout_.mic_font_size(), FW_NORMAL);
    draw_text(dc, glyphs.get(), mini_colour::kMark, wide(kMiniMicGlyph), layout_.mic_rect());
  }

  DeleteObjectHandle text_font = make_font(kMiniTextFont, layout_.text_font_size(), FW_NORMAL);
  for (const MiniTextLine& line : layout_.status_lines(phase, hotkey)) {
    draw_text(dc, text_font.get(), mini_colour::kStatus, wide(line.text), line.rect);
  }
  draw_text(dc, text_font.get(), mini_colour::kSaved, wide(mini_saved_text(minutes)),
            layout_.saved_rect());
  DeleteObjectHandle settings_font =
      make_font(kMiniGlyphFont, layout_.settings_font_size(), FW_NORMAL);
  draw_text(dc, settings_font.get(), mini_colour::kSettings, wide(kMiniSettingsGlyph),
            layout_.settings_rect());
  draw_text(dc, text_font.get(), mini_colour::kClose, wide(kMiniCloseText), layout_.close_rect());

  ::BitBlt(paint.dc(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
}

LRESULT MiniWindow::handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCHITTEST: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ::ScreenToClient(hwnd, &p);
      return layout_.hit_test(p.x, p.y) == MiniHit::Client ? HTCLIENT : HTCAPTION;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_LBUTTONUP:
      on_click(hwnd, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      paint(hwnd);
      return 0;
    case WM_DESTROY: {
      std::lock_guard lock(window_mu_);
      if (window_ == hwnd) window_ = nullptr;
      return 0;
    }
    default:
      return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK MiniWindow::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MiniWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->handle(hwnd, msg, wp, lp);
  } catch (...) {
    stderr_line("[kesu] 迷你窗处理消息时出错（已忽略）：msg=" + hex(msg));
    return 0;
  }
}

}  // namespace kesu::shell::win
