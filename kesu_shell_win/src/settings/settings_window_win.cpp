#include "settings/settings_window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <utility>

#include "keycap/keycap_win.h"
#include "main/data_dir.h"
#include "main/logs.h"
#include "main/platform.h"
#include "main/text.h"

namespace kesu::shell::win {

namespace {

constexpr COLORREF kBackground = RGB(27, 28, 31);
constexpr COLORREF kPanel = RGB(36, 38, 44);
constexpr COLORREF kField = RGB(46, 48, 56);
constexpr COLORREF kLine = RGB(58, 61, 69);
constexpr COLORREF kAccent = RGB(59, 130, 246);
constexpr COLORREF kText = RGB(233, 233, 236);
constexpr COLORREF kMuted = RGB(154, 160, 166);
constexpr COLORREF kToggleOff = RGB(96, 96, 96);
constexpr COLORREF kSelectedRow = RGB(43, 58, 85);
constexpr COLORREF kPopup = RGB(46, 42, 42);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr UINT_PTR kChildSubclassId = 1;

std::wstring wide(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string narrow(std::wstring_view text) {
  return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

std::wstring wide_window_text(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int got = ::GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

std::string window_text(HWND hwnd) { return narrow(wide_window_text(hwnd)); }

// Looked up at run time: older systems (and Wine) may lack these, and each is cosmetic.
unsigned window_dpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  auto get = user32 == nullptr ? nullptr
                               : reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(user32, "GetDpiForWindow")));
  if (get != nullptr) {
    if (const UINT dpi = get(hwnd); dpi != 0) return dpi;
  }
  ScreenDC screen;
  return static_cast<unsigned>(::GetDeviceCaps(screen.get(), LOGPIXELSX));
}

void set_theme(HWND hwnd, const wchar_t* app_name, const wchar_t* id_list) {
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static HMODULE uxtheme = ::LoadLibraryW(L"uxtheme.dll");
  if (uxtheme == nullptr) return;
  auto set = reinterpret_cast<SetWindowThemeFn>(
      reinterpret_cast<void*>(::GetProcAddress(uxtheme, "SetWindowTheme")));
  if (set != nullptr) set(hwnd, app_name, id_list);
}

void ask_for_dark_title(HWND hwnd) {
  using SetAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  static HMODULE dwm = ::LoadLibraryW(L"dwmapi.dll");
  if (dwm == nullptr) return;
  auto set = reinterpret_cast<SetAttributeFn>(
      reinterpret_cast<void*>(::GetProcAddress(dwm, "DwmSetWindowAttribute")));
  const BOOL dark = TRUE;
  if (set != nullptr) set(hwnd, 20 /* immersive dark mode */, &dark, sizeof dark);
}

RECT monitor_work_area(HWND hwnd) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
  if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
  return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

// Clips a window to a rounded rectangle; on success the window owns the region.
void round_corners(HWND hwnd, int radius) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  HRGN region = ::CreateRoundRectRgn(0, 0, r.right - r.left + 1, r.bottom - r.top + 1, radius, radius);
  if (region != nullptr && !::SetWindowRgn(hwnd, region, TRUE)) ::DeleteObject(region);
}

FontHandle make_font(const wchar_t* face, int height, int weight) {
  return FontHandle(::CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH, face));
}

void fill_round(HDC dc, const RECT& r, int radius, COLORREF fill, COLORREF outline, int pen_width = 1) {
  DeleteObjectHandle brush(::CreateSolidBrush(fill));
  DeleteObjectHandle pen(::CreatePen(PS_SOLID, pen_width, outline));
  Selection b(dc, brush.get());
  Selection p(dc, pen.get());
  ::RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
}

void ring(HDC dc, RECT r, int inset, int radius, COLORREF colour) {
  ::InflateRect(&r, -inset, -inset);
  DeleteObjectHandle pen(::CreatePen(PS_SOLID, 2, colour));
  Selection p(dc, pen.get());
  Selection b(dc, ::GetStockObject(NULL_BRUSH));
  ::RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
}

void fill_rect(HDC dc, const RECT& r, COLORREF colour) {
  DeleteObjectHandle brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

void draw_text(HDC dc, HFONT font, COLORREF colour, std::wstring_view text, RECT r, UINT format) {
  Selection f(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour);
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX);
}

bool is_class(HWND hwnd, const wchar_t* name) {
  wchar_t buffer[32] = {};
  ::GetClassNameW(hwnd, buffer, 32);
  return ::lstrcmpiW(buffer, name) == 0;
}

bool is_multiline_edit(HWND hwnd) {
  return is_class(hwnd, L"EDIT") && (::GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0;
}

bool held(int vk) { return ::GetKeyState(vk) < 0; }

std::string short_float(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
  return buf;
}

}  // namespace

SettingsWindow::SettingsWindow(AppState& state, SettingsServices services)
    : state_(state), controller_(state, std::move(services)) {}

SettingsWindow::~SettingsWindow() {
  if (HWND hwnd = window()) ::DestroyWindow(hwnd);
}

HWND SettingsWindow::window() const {
  std::lock_guard lock(mu_);
  return window_;
}

int SettingsWindow::page() const {
  std::lock_guard lock(mu_);
  return page_;
}

bool SettingsWindow::is_open() const {
  std::lock_guard lock(mu_);
  return window_ != nullptr && visible_;
}

bool SettingsWindow::showing_history() const {
  std::lock_guard lock(mu_);
  return window_ != nullptr && visible_ && page_ == 4;
}

void SettingsWindow::open(int page) {
  HWND hwnd = window();
  if (hwnd == nullptr) {
    (void)create(clamp_page(page));
    return;
  }
  // A caller names the page it wants (the tray's history entry): show that one.
  switch_page(clamp_page(page));
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd);
  std::lock_guard lock(mu_);
  visible_ = true;
}

void SettingsWindow::refresh_history() {
  if (showing_history()) rebuild();
}

void SettingsWindow::mic_meter(float rms) {
  if (window() == nullptr || !controller_.meter_running()) return;
  const auto bar = by_id_.find(kIdLevelBar);
  if (bar == by_id_.end()) return;
  if (const auto text = controller_.level_text(rms)) {
    ::SetWindowTextW(bar->second, wide(*text).c_str());
    ::InvalidateRect(bar->second, nullptr, FALSE);
  }
}

HWND SettingsWindow::control(int id) const {
  const auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

bool SettingsWindow::create(int page) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // The class brush lives as long as the class, that is the process.
  static HBRUSH class_brush = ::CreateSolidBrush(kBackground);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DROPSHADOW;
  wc.lpfnWndProc = &SettingsWindow::window_proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = class_brush;
  wc.lpszClassName = kSettingsWindowClass;
  ::RegisterClassExW(&wc);  // fails harmlessly when already registered
  log_line("SETTINGS create 开始");

  const int x = (::GetSystemMetrics(SM_CXSCREEN) - kSettingsDesignWidth) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - kSettingsDesignHeight) / 2;
  HWND hwnd = ::CreateWindowExW(WS_EX_APPWINDOW, kSettingsWindowClass, L"言至 设置",
                                WS_POPUP | WS_CLIPCHILDREN, x, y, kSettingsDesignWidth,
                                kSettingsDesignHeight, nullptr, nullptr, instance, this);
  if (hwnd == nullptr) {
    log_line("SETTINGS create 失败 hwnd=null");
    return false;
  }
  log_line("SETTINGS create 成功");
  {
    std::lock_guard lock(mu_);
    window_ = hwnd;
    page_ = page;
  }

  const unsigned dpi = window_dpi(hwnd);
  const RECT work = monitor_work_area(hwnd);
  k_ = settings_scale(dpi, platform::env_var("KESU_SETTINGS_DPI"), work.right - work.left,
                      work.bottom - work.top);
  log_line("SETTINGS dpi=" + std::to_string(dpi) + " k=" + short_float(k_));
  const int w = px(k_, kSettingsDesignWidth);
  const int h = px(k_, kSettingsDesignHeight);
  ::SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ask_for_dark_title(hwnd);
  round_corners(hwnd, px(k_, 24));
  create_fonts();
  background_brush_ = DeleteObjectHandle(::CreateSolidBrush(kBackground));
  panel_brush_ = DeleteObjectHandle(::CreateSolidBrush(kPanel));
  field_brush_ = DeleteObjectHandle(::CreateSolidBrush(kField));
  tally_.gdi += 11;  // the eight fonts and three brushes, replaced but never added to later
  rebuild();

  focus_first_edit();
  ::SetWindowPos(hwnd, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd);
  ::UpdateWindow(hwnd);
  std::lock_guard lock(mu_);
  visible_ = true;
  return true;
}

void SettingsWindow::create_fonts() {
  const wchar_t* yahei = L"Microsoft YaHei UI";
  body_font_ = make_font(yahei, px(k_, 14), 400);
  heading_font_ = make_font(yahei, px(k_, 15), 600);
  title_font_ = make_font(yahei, px(k_, 20), 600);
  button_font_ = make_font(L"Segoe UI", px(k_, 13), 500);
  small_font_ = make_font(L"Segoe UI", px(k_, 13), 400);
  marker_font_ = make_font(L"Segoe UI", px(k_, 10), 600);
  popup_font_ = make_font(yahei, px(k_, 12), 400);
  symbol_font_ = make_font(L"Segoe UI Symbol", px(k_, 14), 400);
}

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

ControlSpec close_button() { return make_control(ControlKind::button, kIdClose, "✕", 846, -32, 36, 28); }

// The window class, style, place and text a control asks for.
struct ChildLook {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  ChildBox box;
  std::wstring text;
};

ChildLook look_of(const ControlSpec& spec, float k) {
  ChildLook look;
  int x = spec.x, width = spec.width, height = spec.height;
  look.text = wide(spec.text);
  switch (spec.kind) {
    case ControlKind::label:
      look.style |= SS_NOPREFIX;
      break;
    case ControlKind::level_bar:
      look.style |= SS_OWNERDRAW;  // the cells in a symbol font, the words in the body font
      break;
    case ControlKind::heading:
      look.style |= SS_NOPREFIX;
      if (width == 0) x = kContentX, width = kContentWidth;
      if (height == 0) height = 20;
      break;
    case ControlKind::button:
    case ControlKind::primary_button:
    case ControlKind::toggle:
      look.cls = L"BUTTON";
      look.style |= WS_TABSTOP | BS_OWNERDRAW;
      if (height == 0) height = spec.kind == ControlKind::toggle ? 30 : 34;
      break;
    case ControlKind::edit:
    case ControlKind::password_edit:
      look.cls = L"EDIT";
      look.style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
      if (spec.kind == ControlKind::password_edit) look.style |= ES_PASSWORD, look.text.clear();
      if (height == 0) height = spec.kind == ControlKind::edit ? 28 : 26;
      if (spec.read_only) look.style |= ES_READONLY;
      break;
    case ControlKind::multiline_edit:
      look.cls = L"EDIT";
      look.style |= WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL;
      if (spec.read_only) look.style |= ES_READONLY;
      break;
    case ControlKind::list_box:
      look.cls = L"LISTBOX";
      look.style |= LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
                    WS_VSCROLL | WS_BORDER | WS_TABSTOP;
      if (width == 0) x = kContentX, width = kContentWidth;
      look.text.clear();
      break;
    case ControlKind::key_capture:  // its rectangle is not offset by the title bar
      look.box = {px(k, x), px(k, spec.y), px(k, width), px(k, height)};
      return look;
    case ControlKind::info_marker:
      break;
  }
  const int top = spec.y + kTitleBarHeight;
  look.box = {px(k, x), px(k, top), px(k, width), px(k, height)};
  return look;
}

void fill_list(HWND list, const std::vector<std::string>& rows) {
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& row : rows) {
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(row).c_str()));
  }
}

}  // namespace

void SettingsWindow::rebuild() {
  HWND hwnd = window();
  if (hwnd == nullptr) return;
  const auto started = Clock::now();
  // One repaint for the whole page instead of one per control as each is changed or made.
  ::SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
  const int current = page();
  controller_.set_page(current);
  bool failed = false;
  std::vector<ControlSpec> next{close_button()};
  try {
    PageSpec spec = controller_.build_page();
    next.insert(next.end(), std::make_move_iterator(spec.controls.begin()),
                std::make_move_iterator(spec.controls.end()));
  } catch (...) {
    failed = true;
  }
  const auto read = Clock::now();
  try {
    place_controls(next);
  } catch (...) {
    failed = true;
  }
  if (failed) stderr_line("[kesu] 设置页 " + std::to_string(current) + " 构建出错（已跳过，程序继续）");
  const auto placed = Clock::now();
  append_line(data_dir() / "settings.log",
              settings_log_line(current, static_cast<int>(children_.size())));
  ::SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
  ::RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  last_rebuild_ = {ms_since(started, read), ms_since(read, placed), ms_since(placed, Clock::now())};
}

void SettingsWindow::paint_now() {
  if (HWND hwnd = window()) ::RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void SettingsWindow::place_controls(const std::vector<ControlSpec>& next) {
  std::vector<ExistingWindow> existing;
  existing.reserve(children_.size());
  for (const Child& child : children_) existing.push_back({child.shape, child.id});
  const ReusePlan plan = plan_reuse(existing, next);
  std::vector<Child> old = std::exchange(children_, {});
  by_id_.clear();
  kinds_.clear();
  markers_.clear();
  hovered_.reset();
  for (const int w : plan.destroy) destroy_child(old[static_cast<std::size_t>(w)]);
  for (std::size_t i = 0; i < next.size(); ++i) {
    const ControlSpec& spec = next[i];
    if (spec.kind == ControlKind::info_marker) {
      const int top = spec.y + kTitleBarHeight;
      const int w = spec.width > 0 ? spec.width : 16;
      const int h = spec.height > 0 ? spec.height : 18;
      markers_.push_back({RECT{px(k_, spec.x), px(k_, top), px(k_, spec.x + w), px(k_, top + h)},
                          spec.text});
      continue;
    }
    Child child;
    if (const int taken = plan.take[i]; taken >= 0) {
      child = std::move(old[static_cast<std::size_t>(taken)]);
      update_child(child, spec);
    } else {
      child = make_child(spec);
    }
    if (child.hwnd == nullptr) continue;
    if (spec.id != kIdNone) {
      by_id_[spec.id] = child.hwnd;
      kinds_[spec.id] = spec.kind;
    }
    children_.push_back(std::move(child));
  }
  destroy_strays();
}

HFONT SettingsWindow::font_for(const ControlSpec& spec) const {
  return static_cast<HFONT>(spec.kind == ControlKind::heading ? heading_font_.get()
                                                               : body_font_.get());
}

SettingsWindow::Child SettingsWindow::make_child(const ControlSpec& spec) {
  Child child;
  child.shape = control_shape(spec);
  child.id = spec.id;
  child.k = k_;
  const ChildLook look = look_of(spec, k_);
  child.box = look.box;
  HWND parent = window();
  if (spec.kind == ControlKind::key_capture) {
    child.hwnd = create_key_capture(parent, look.box.x, look.box.y, look.box.width,
                                    look.box.height, spec.id, spec.text, k_);
    if (child.hwnd != nullptr) ++tally_.user;
    return child;
  }
  child.hwnd = ::CreateWindowExW(0, look.cls, look.text.c_str(), look.style, look.box.x,
                                 look.box.y, look.box.width, look.box.height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
  if (child.hwnd == nullptr) return child;
  ++tally_.user;
  HWND hwnd = child.hwnd;
  child.font = font_for(spec);
  ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(child.font), FALSE);
  ::SetWindowSubclass(hwnd, &SettingsWindow::child_proc, kChildSubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
  if (look.cls == std::wstring_view(L"EDIT")) {
    set_theme(hwnd, L" ", L" ");
    round_corners(hwnd, px(k_, 6));
  }
  if (spec.kind == ControlKind::list_box) {
    fill_list(hwnd, spec.items);
    child.items = spec.items;
    ::SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, px(k_, 32));
    if (spec.selected >= 0) ::SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(spec.selected), 0);
    set_theme(hwnd, L"DarkMode_Explorer", nullptr);
    round_corners(hwnd, px(k_, 8));
  }
  return child;
}

// Only what differs is sent: a page rebuilt in place leaves its windows untouched, apart from
// an edit box the user has typed into, which shows the stored value again.
void SettingsWindow::update_child(Child& child, const ControlSpec& spec) {
  HWND hwnd = child.hwnd;
  const ChildLook look = look_of(spec, k_);
  if (child.id != spec.id) {
    ::SetWindowLongPtrW(hwnd, GWLP_ID, static_cast<LONG_PTR>(spec.id));
    child.id = spec.id;
  }
  const bool resized = child.box.width != look.box.width ||
                       child.box.height != look.box.height || child.k != k_;
  if (child.box != look.box) {
    ::SetWindowPos(hwnd, nullptr, look.box.x, look.box.y, look.box.width, look.box.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    child.box = look.box;
  }
  if (HFONT font = font_for(spec); font != child.font) {
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    child.font = font;
  }
  if (spec.kind == ControlKind::list_box) {
    if (child.items != spec.items) {
      fill_list(hwnd, spec.items);
      child.items = spec.items;
    }
    if (child.k != k_) ::SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, px(k_, 32));
    const LRESULT row = ::SendMessageW(hwnd, LB_GETCURSEL, 0, 0);
    if (row != spec.selected) ::SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(spec.selected), 0);
    if (resized) round_corners(hwnd, px(k_, 8));
  } else {
    if (wide_window_text(hwnd) != look.text) ::SetWindowTextW(hwnd, look.text.c_str());
    if (resized && look.cls == std::wstring_view(L"EDIT")) round_corners(hwnd, px(k_, 6));
  }
  child.k = k_;
}

void SettingsWindow::destroy_child(const Child& child) {
  if (::IsWindow(child.hwnd) && ::DestroyWindow(child.hwnd)) --tally_.user;
}

// Child windows the page does not list (a control a failed build left half made).
void SettingsWindow::destroy_strays() {
  HWND hwnd = window();
  if (hwnd == nullptr) return;
  struct Search {
    HWND parent;
    const std::vector<Child>* kept;
    std::vector<HWND> strays;
  } search{hwnd, &children_, {}};
  ::EnumChildWindows(
      hwnd,
      [](HWND child, LPARAM lp) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lp);
        if (::GetAncestor(child, GA_PARENT) != s.parent) return TRUE;
        const bool kept = std::any_of(s.kept->begin(), s.kept->end(),
                                      [child](const Child& c) { return c.hwnd == child; });
        if (!kept) s.strays.push_back(child);
        return s.strays.size() < 500 ? TRUE : FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  for (HWND stray : search.strays) ::DestroyWindow(stray);
}

void SettingsWindow::focus_first_edit() {
  for (const Child& c : children_) {
    HWND child = c.hwnd;
    if (is_class(child, L"EDIT") || is_class(child, L"COMBOBOX")) {
      ::SetFocus(child);
      return;
    }
  }
}

void SettingsWindow::move_focus(bool forward) {
  std::vector<HWND> stops;
  for (const Child& c : children_) {
    HWND child = c.hwnd;
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if ((style & WS_TABSTOP) != 0 && (style & WS_VISIBLE) != 0 && ::IsWindowEnabled(child)) {
      stops.push_back(child);
    }
  }
  if (stops.empty()) return;
  const auto at = std::find(stops.begin(), stops.end(), ::GetFocus());
  std::size_t next = 0;
  if (at == stops.end()) {
    next = forward ? 0 : stops.size() - 1;
  } else {
    const std::size_t i = static_cast<std::size_t>(at - stops.begin());
    next = forward ? (i + 1) % stops.size() : (i + stops.size() - 1) % stops.size();
  }
  ::SetFocus(stops[next]);
  ::InvalidateRect(window(), nullptr, FALSE);
}

void SettingsWindow::switch_page(int index) {
  const int target = wrap_page(index);
  {
    std::lock_guard lock(mu_);
    if (target == page_) return;
  }
  if (page() == 2) controller_.stop_meter();
  log_line("PAGE " + std::to_string(target));
  {
    std::lock_guard lock(mu_);
    page_ = target;
  }
  rebuild();
}

bool SettingsWindow::handle_key(unsigned vk, bool ctrl, bool shift) {
  HWND focus = ::GetFocus();
  const bool on_button = focus != nullptr && is_class(focus, L"BUTTON");
  const FrameKey key = frame_key(vk, ctrl, shift, on_button, page());
  switch (key.action) {
    case FrameKeyAction::none:
      return false;
    case FrameKeyAction::show_page:
      switch_page(key.page);
      return true;
    case FrameKeyAction::focus_next:
    case FrameKeyAction::focus_previous:
      move_focus(key.action == FrameKeyAction::focus_next);
      return true;
    case FrameKeyAction::click_focused:
      ::SendMessageW(focus, BM_CLICK, 0, 0);
      return true;
    case FrameKeyAction::hide:
      hide();
      return true;
  }
  return false;
}

void SettingsWindow::repaint() {
  if (HWND hwnd = window()) ::InvalidateRect(hwnd, nullptr, FALSE);
  for (const auto& [id, hwnd] : by_id_) ::InvalidateRect(hwnd, nullptr, FALSE);
}

void SettingsWindow::hide() {
  controller_.stop_meter();
  if (HWND hwnd = window()) ::ShowWindow(hwnd, SW_HIDE);
  std::lock_guard lock(mu_);
  visible_ = false;
}

std::optional<std::string> SettingsWindow::text_of(int id) const {
  HWND hwnd = control(id);
  if (hwnd == nullptr) return std::nullopt;
  return window_text(hwnd);
}

void SettingsWindow::set_text(int id, std::string_view text) {
  if (HWND hwnd = control(id)) ::SetWindowTextW(hwnd, wide(text).c_str());
}

std::optional<int> SettingsWindow::selected_row(int id) const {
  HWND hwnd = control(id);
  if (hwnd == nullptr) return std::nullopt;
  const LRESULT row = ::SendMessageW(hwnd, LB_GETCURSEL, 0, 0);
  return row == LB_ERR ? -1 : static_cast<int>(row);
}

std::string SettingsWindow::row_text(int id, int row) const {
  HWND hwnd = control(id);
  if (hwnd == nullptr) return {};
  const LRESULT length = ::SendMessageW(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return narrow(text);
}

std::optional<std::string> SettingsWindow::key_capture_value() const {
  HWND hwnd = control(kIdKeyCapture);
  if (hwnd == nullptr) return std::nullopt;
  return ::kesu::shell::win::key_capture_value(hwnd);
}

void SettingsWindow::set_key_capture_value(std::string_view value) {
  if (HWND hwnd = control(kIdKeyCapture)) ::kesu::shell::win::set_key_capture_value(hwnd, value);
}

void SettingsWindow::focus_key_capture() {
  if (HWND hwnd = control(kIdKeyCapture)) ::SetFocus(hwnd);
}

void SettingsWindow::on_command(int id, int note) {
  const auto started = std::chrono::steady_clock::now();
  const auto kind = kinds_.find(id);
  const bool is_toggle = kind != kinds_.end() && kind->second == ControlKind::toggle;
  if (repaint_only_notification(note)) {
    ::InvalidateRect(window(), nullptr, FALSE);
  } else if (id == kIdClose && note == 0) {
    hide();
  } else {
    controller_.on_command(id, note, *this);
    if (is_toggle) {
      if (HWND hwnd = control(id)) ::InvalidateRect(hwnd, nullptr, FALSE);
    }
  }
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
  if (auto line = command_log_line(id, note, ms, platform::env_var("KESU_CMD_DEBUG").has_value())) {
    log_line(*line);
  }
}

void SettingsWindow::on_mouse_move(int x, int y) {
  std::optional<std::size_t> over;
  for (std::size_t i = 0; i < markers_.size(); ++i) {
    const RECT& r = markers_[i].rect;
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) over = i;
  }
  if (over != hovered_) {
    hovered_ = over;
    ::InvalidateRect(window(), nullptr, FALSE);
  }
  if (over) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window();
    ::TrackMouseEvent(&track);
  }
}

void SettingsWindow::paint(HWND hwnd) {
  PaintScope scope(hwnd);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int w = client.right, h = client.bottom;
  MemoryDCHandle dc(::CreateCompatibleDC(scope.dc()));
  BitmapHandle bitmap(::CreateCompatibleBitmap(scope.dc(), std::max(w, 1), std::max(h, 1)));
  if (!dc || !bitmap) return;
  Selection canvas(dc.get(), bitmap.get());
  HDC d = dc.get();

  fill_rect(d, client, kBackground);
  const int bar = px(k_, kTitleBarHeight);
  fill_rect(d, RECT{0, bar - 1, w, bar}, kLine);

  draw_text(d, static_cast<HFONT>(title_font_.get()), kText, L"言至 设置",
            RECT{px(k_, 22), bar + px(k_, 14), px(k_, 166), bar + px(k_, 42)},
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  draw_text(d, static_cast<HFONT>(body_font_.get()), kMuted, L"本机识别，不联网",
            RECT{px(k_, 22), bar + px(k_, 44), px(k_, 166), bar + px(k_, 64)},
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);

  const int current = page();
  const auto& pages = settings_pages();
  for (int i = 0; i < kSettingsPageCount; ++i) {
    const PixelRect n = nav_item_rect(i, k_);
    RECT r{n.left, n.top, n.right, n.bottom};
    if (i == current) fill_round(d, r, px(k_, 8), kAccent, kAccent);
    // The icon in a symbol font (text fonts often lack these shapes), then two spaces and
    // the label.
    const COLORREF ink = i == current ? kWhite : kMuted;
    const std::wstring icon = wide(pages[static_cast<std::size_t>(i)].icon);
    RECT text = r;
    text.left += px(k_, 14);
    draw_text(d, static_cast<HFONT>(symbol_font_.get()), ink, icon, text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    RECT measured{0, 0, 0, 0};
    {
      Selection f(d, symbol_font_.get());
      ::DrawTextW(d, icon.c_str(), static_cast<int>(icon.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
    }
    text.left += measured.right - measured.left;
    draw_text(d, static_cast<HFONT>(body_font_.get()), ink,
              L"  " + wide(pages[static_cast<std::size_t>(i)].label), text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }

  const PixelRect p = content_panel_rect(w, h, k_);
  fill_round(d, RECT{p.left, p.top, p.right, p.bottom}, px(k_, 12), kPanel, kPanel);

  for (const Marker& marker : markers_) {
    const int cx = (marker.rect.left + marker.rect.right) / 2;
    const int cy = (marker.rect.top + marker.rect.bottom) / 2;
    const int r = px(k_, 7);
    DeleteObjectHandle pen(::CreatePen(PS_SOLID, 1, kMuted));
    Selection sp(d, pen.get());
    Selection sb(d, ::GetStockObject(NULL_BRUSH));
    ::Ellipse(d, cx - r, cy - r, cx + r + 1, cy + r + 1);
    draw_text(d, static_cast<HFONT>(marker_font_.get()), kMuted, L"i",
              RECT{cx - r, cy - r, cx + r + 1, cy + r + 1}, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }

  if (hovered_ && *hovered_ < markers_.size()) {
    const Marker& marker = markers_[*hovered_];
    const std::wstring text = wide(marker.text);
    const int pad = px(k_, 10);
    const int width = px(k_, 320);
    RECT measure{0, 0, width - 2 * pad, 0};
    {
      Selection f(d, popup_font_.get());
      ::DrawTextW(d, text.c_str(), static_cast<int>(text.size()), &measure,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    const int height = std::clamp(static_cast<int>(measure.bottom) + 2 * pad, px(k_, 60), px(k_, 240));
    int left = marker.rect.right + px(k_, 6);
    int top = marker.rect.top;
    left = std::clamp(left, 0, std::max(0, w - width));
    top = std::clamp(top, 0, std::max(0, h - height));
    const RECT box{left, top, left + width, top + height};
    fill_round(d, box, px(k_, 8), kPopup, kLine);
    draw_text(d, static_cast<HFONT>(popup_font_.get()), kText, text,
              RECT{box.left + pad, box.top + pad, box.right - pad, box.bottom - pad},
              DT_LEFT | DT_WORDBREAK);
  }

  ::BitBlt(scope.dc(), 0, 0, w, h, d, 0, 0, SRCCOPY);
}

void SettingsWindow::draw_item(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT r = item.rcItem;
  if (item.CtlType == ODT_LISTBOX) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    fill_rect(dc, r, selected ? kSelectedRow : kField);
    const LRESULT length = ::SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
    if (length == LB_ERR) return;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    RECT t = r;
    t.left += px(k_, 10);
    draw_text(dc, static_cast<HFONT>(small_font_.get()), selected ? kWhite : kText, text, t,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    return;
  }
  if (item.CtlType == ODT_STATIC) {
    // The level bar: its leading block cells in the symbol font, the rest in the body font.
    const std::wstring text = wide(window_text(item.hwndItem));
    std::size_t cells = 0;
    while (cells < text.size() && (text[cells] == L'\u2588' || text[cells] == L'\u2591')) ++cells;
    fill_rect(dc, r, kPanel);
    RECT t = r;
    const std::wstring bar = text.substr(0, cells);
    draw_text(dc, static_cast<HFONT>(symbol_font_.get()), kText, bar, t,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    RECT measured{0, 0, 0, 0};
    {
      Selection f(dc, symbol_font_.get());
      ::DrawTextW(dc, bar.c_str(), static_cast<int>(bar.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
    }
    t.left += measured.right - measured.left;
    draw_text(dc, static_cast<HFONT>(body_font_.get()), kText, text.substr(cells), t,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    return;
  }
  if (item.CtlType != ODT_BUTTON) return;
  const int id = static_cast<int>(item.CtlID);
  const auto kind_it = kinds_.find(id);
  const ControlKind kind = kind_it == kinds_.end() ? ControlKind::button : kind_it->second;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const std::wstring caption = wide(window_text(item.hwndItem));
  const COLORREF behind = id == kIdClose ? kBackground : kPanel;
  fill_rect(dc, r, behind);

  if (kind == ControlKind::toggle) {
    const bool on = controller_.toggle_on(id);
    RECT label = r;
    label.right -= px(k_, 52);
    draw_text(dc, static_cast<HFONT>(small_font_.get()), kText, caption, label,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const int tw = px(k_, 44), th = px(k_, 24);
    const int top = (r.top + r.bottom - th) / 2;
    const RECT track{r.right - tw, top, r.right, top + th};
    fill_round(dc, track, th, on ? kAccent : kToggleOff, on ? kAccent : kToggleOff);
    const int knob = px(k_, 20), inset = px(k_, 2);
    const int kx = on ? track.right - inset - knob : track.left + inset;
    {
      DeleteObjectHandle brush(::CreateSolidBrush(kWhite));
      DeleteObjectHandle pen(::CreatePen(PS_SOLID, 1, kWhite));
      Selection b(dc, brush.get());
      Selection p(dc, pen.get());
      ::Ellipse(dc, kx, top + inset, kx + knob, top + inset + knob);
    }
    if (focused) ring(dc, r, 0, px(k_, 6), kAccent);
    return;
  }

  const bool primary = kind == ControlKind::primary_button ||
                       (id == kIdModePaste && controller_.paste_selected()) ||
                       (id == kIdModeKeystroke && !controller_.paste_selected());
  fill_round(dc, r, px(k_, 8), primary ? kAccent : kField, primary ? kAccent : kLine);
  if (focused) ring(dc, r, px(k_, 2), px(k_, 7), primary ? kWhite : kAccent);
  draw_text(dc, static_cast<HFONT>(button_font_.get()), primary ? kWhite : kText, caption, r,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT SettingsWindow::handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paint(hwnd);
      return 0;
    case WM_NCHITTEST: {
      const LRESULT hit = ::DefWindowProcW(hwnd, msg, wp, lp);
      if (hit != HTCLIENT) return hit;
      POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ::ScreenToClient(hwnd, &at);
      return in_title_bar(at.y, k_) ? HTCAPTION : HTCLIENT;
    }
    case WM_LBUTTONDOWN:
      if (const auto item = nav_item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp), k_)) switch_page(*item);
      return 0;
    case WM_MOUSEMOVE:
      on_mouse_move(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_MOUSELEAVE:
      if (hovered_) {
        hovered_.reset();
        ::InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (handle_key(static_cast<unsigned>(wp), held(VK_CONTROL), held(VK_SHIFT))) return 0;
      break;
    case WM_COMMAND:
      on_command(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_DRAWITEM:
      draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      measure->itemHeight = static_cast<UINT>(std::max(18, px(k_, 26)));
      return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, kText);
      ::SetBkColor(dc, kField);
      return reinterpret_cast<LRESULT>(field_brush_.get());
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, kText);
      ::SetBkMode(dc, OPAQUE);
      // Read-only edit boxes ask as statics; they keep the field's colours.
      const bool field = is_class(reinterpret_cast<HWND>(lp), L"EDIT");
      ::SetBkColor(dc, field ? kField : kPanel);
      return reinterpret_cast<LRESULT>(field ? field_brush_.get() : panel_brush_.get());
    }
    case WM_CTLCOLORBTN: {
      ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    case WM_CLOSE:
      hide();
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) {
        hide();
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      k_ = std::max(1.0f, static_cast<float>(HIWORD(wp)) / 96.0f);
      create_fonts();
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      round_corners(hwnd, px(k_, 24));
      rebuild();
      return 0;
    }
    case WM_APP + 7:
      controller_.on_enrolment_finished(*this);
      return 0;
    case WM_APP + 8:
    case WM_APP + 9:
    case WM_APP + 10:
      rebuild();
      return 0;
    case WM_DESTROY: {
      controller_.stop_meter();
      for (const Child& child : children_) destroy_child(child);
      children_.clear();
      by_id_.clear();
      kinds_.clear();
      markers_.clear();
      hovered_.reset();
      std::lock_guard lock(mu_);
      window_ = nullptr;
      visible_ = false;
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK SettingsWindow::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<SettingsWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self != nullptr && msg != WM_NCCREATE) return self->handle(hwnd, msg, wp, lp);
  } catch (...) {
    stderr_line("[kesu] 设置窗口处理消息出错，已忽略");
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK SettingsWindow::child_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                            DWORD_PTR self_ptr) {
  try {
    auto* self = reinterpret_cast<SettingsWindow*>(self_ptr);
    switch (msg) {
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        // The window's keys work wherever the focus is inside it.
        if (self->handle_key(static_cast<unsigned>(wp), held(VK_CONTROL), held(VK_SHIFT))) return 0;
        break;
      case WM_CHAR:
        // Tab and Esc were handled as keys; Enter only makes a new line where there are lines.
        if (wp == L'\t' || wp == 0x1B) return 0;
        if (wp == L'\r' && !is_multiline_edit(hwnd)) return 0;
        break;
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, &SettingsWindow::child_proc, id);
        break;
      default:
        break;
    }
  } catch (...) {
    stderr_line("[kesu] 设置控件处理消息出错，已忽略");
    return 0;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace kesu::shell::win
