#include "settings/settings_modes_win.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <nlohmann/json.hpp>

#include "main/core_calls.h"
#include "main/logs.h"
#include "main/message_pump_win.h"
#include "settings/settings_mode_lines.h"

namespace kesu::shell::win {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

double ms_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

int focused_id(HWND settings) {
  HWND focus = ::GetFocus();
  if (focus == nullptr || (focus != settings && !::IsChild(settings, focus))) return 0;
  return ::GetDlgCtrlID(focus);
}

ObjectCounts count_objects(const SettingsWindow& window) {
  ObjectCounts counts;
  counts.gdi = static_cast<long long>(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
  counts.user = static_cast<long long>(::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS));
  // Where the system keeps no counts (Wine), the window's own tally of what it holds.
  if (counts.gdi == 0 && counts.user == 0) {
    const ObjectTally tally = window.tally();
    counts.gdi = tally.gdi;
    counts.user = tally.user;
    counts.own_tally = true;
  }
  return counts;
}

Json config_of(AppState& state) {
  std::lock_guard lock(state.mu);
  if (!state.core) return Json::object();
  Json config = Json::parse(CoreCalls(*state.core).get_config_json(), nullptr, false);
  return config.is_object() ? config : Json::object();
}

int pages_smoke(SettingsWindow& window) {
  for (int page = 0; page < kSettingsPageCount; ++page) {
    window.open(page);
    serve_messages_for(350ms);
    log_line("PAGES page=" + std::to_string(page) + (window.window() != nullptr ? " ok" : " 失败"));
  }
  log_line("PAGES done");
  return 0;
}

int cycle(SettingsWindow& window, const Args& args) {
  const int rounds = std::max(0, int_value(args.value("--settings-cycle"), 20));
  window.open(0);
  serve_messages_for(300ms);
  const ObjectCounts before = count_objects(window);
  for (int i = 0; i < rounds; ++i) {
    window.switch_page(i % kSettingsPageCount);
    window.rebuild();
    serve_messages_for(30ms);
  }
  // Back on the first page, so that both counts look at the same controls.
  window.switch_page(0);
  serve_messages_for(300ms);
  log_line(object_count_line(before, count_objects(window)));
  return 0;
}

int tab_demo(SettingsWindow& window) {
  window.open(0);
  serve_messages_for(300ms);
  HWND hwnd = window.window();
  for (int i = 1; i <= 6; ++i) {
    window.handle_key(VK_TAB, false, false);
    serve_messages_for(60ms);
    log_line("TAB " + std::to_string(i) + " focus id=" + std::to_string(focused_id(hwnd)));
  }
  window.handle_key(VK_TAB, false, true);
  serve_messages_for(60ms);
  log_line("TAB -1 focus id=" + std::to_string(focused_id(hwnd)));
  return 0;
}

int ctrl_tab_demo(SettingsWindow& window) {
  window.open(0);
  serve_messages_for(300ms);
  for (int i = 1; i <= kSettingsPageCount + 1; ++i) {
    window.handle_key(VK_TAB, true, false);
    serve_messages_for(60ms);
    log_line("CTRLTAB " + std::to_string(i) + " page=" + std::to_string(window.page()));
  }
  window.handle_key(VK_TAB, true, true);
  window.handle_key(VK_TAB, true, true);
  serve_messages_for(60ms);
  log_line("CTRLTAB back page=" + std::to_string(window.page()));
  window.handle_key('3', true, false);
  serve_messages_for(60ms);
  log_line("CTRLTAB ctrl+3 page=" + std::to_string(window.page()));
  return 0;
}

// Focuses the privacy toggle and presses Enter ("enter") or the space bar on it.
int key_demo(SettingsWindow& window, AppState& state, const Args& args) {
  window.open(0);
  serve_messages_for(300ms);
  HWND toggle = window.control(kIdPrivacy);
  if (toggle != nullptr) ::SetFocus(toggle);
  const bool enter = args.value("--settings-key-demo").value_or("") == "enter";
  if (enter) {
    window.handle_key(VK_RETURN, false, false);
  } else if (toggle != nullptr) {
    // The space bar is the button's own key: pressed and released, it clicks.
    ::SendMessageW(toggle, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(toggle, WM_KEYUP, VK_SPACE, 0xC0000001);
  }
  serve_messages_for(200ms);
  SettingsController& c = window.controller();
  log_line("KEYDEMO id=" + std::to_string(focused_id(window.window())) +
           " privacy=" + (c.toggle_on(kIdPrivacy) ? "true" : "false") +
           " launch=" + (c.toggle_on(kIdLaunchAtLogin) ? "true" : "false"));
  (void)state;
  return 0;
}

// Each tab stop takes the focus in turn, so its focus ring is drawn.
int focus_demo(SettingsWindow& window) {
  window.open(0);
  serve_messages_for(300ms);
  HWND hwnd = window.window();
  int step = 0;
  for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr && step < 40;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) == 0) continue;
    ::SetFocus(child);
    serve_messages_for(40ms);
    log_line("FOCUS " + std::to_string(++step) + " id=" + std::to_string(focused_id(hwnd)));
  }
  return 0;
}

int save_test(SettingsWindow& window, AppState& state) {
  window.open(0);
  serve_messages_for(300ms);
  if (window.window() == nullptr || window.control(kIdMinRecord) == nullptr) {
    log_line("SETTINGS-TEST FAIL 窗口没起来");
    return 0;
  }
  ::SetWindowTextW(window.control(kIdMinRecord), L"500");
  window.save_general();
  serve_messages_for(300ms);
  const Json config = config_of(state);
  const auto it = config.find("min_record_ms");
  const long long got = it != config.end() && it->is_number_integer() ? it->get<long long>() : -1;
  log_line(got == 500 ? "SETTINGS-TEST OK min_record_ms=500"
                      : "SETTINGS-TEST FAIL 期望 500 实际 " + std::to_string(got));
  return 0;
}

int per_app_selftest(SettingsWindow& window, AppState& state) {
  window.open(0);
  for (int i = 0; i < 20; ++i) serve_messages_for(30ms);
  HWND box = window.control(kIdPerApp);
  if (window.window() == nullptr || box == nullptr) {
    const std::string where = window.window() == nullptr
                                  ? std::string("no window")
                                  : "page=" + std::to_string(window.page()) +
                                        " ctrls=" + std::to_string(window.control_count()) +
                                        " e_perapp=false";
    log_line("PERAPP FAIL 输入框没起来（" + where + "）");
    return 0;
  }
  ::SetWindowTextW(box, L"notepad.exe=打字\r\nchrome.exe=粘贴\r\n# 注释行忽略");
  window.save_per_app();
  const Json config = config_of(state);
  const auto it = config.find("insert_per_app");
  log_line("PERAPP OK insert_per_app=" + (it != config.end() ? it->dump() : std::string("null")));
  return 0;
}

int perf_test(SettingsWindow& window, AppState& state) {
  const auto& pages = settings_pages();
  for (int page = 0; page < kSettingsPageCount; ++page) {
    const auto asked = Clock::now();
    window.open(page);
    serve_messages_for(120ms);
    const auto start = Clock::now();
    window.rebuild();
    const auto done = Clock::now();
    // Each rebuild starts from a settled, painted window, as one after a click does (back to
    // back, Wine would charge the previous page's pending screen update to the next rebuild);
    // the second figure runs on until the page is painted.
    std::vector<double> rebuilds, painted;
    std::vector<RebuildTimes> phases;
    for (int i = 0; i < 50; ++i) {
      const auto t = Clock::now();
      window.rebuild();
      rebuilds.push_back(ms_between(t, Clock::now()));
      phases.push_back(window.last_rebuild());
      window.paint_now();
      painted.push_back(ms_between(t, Clock::now()));
      serve_messages_for(30ms);
    }
    log_line(perf_page_line(page, pages[static_cast<std::size_t>(page)].label,
                            ms_between(asked, start) - 120.0, ms_between(start, done)));
    log_line(perf_rebuilds_line(page, rebuilds));
    log_line(perf_phases_line(page, phases));
    log_line(perf_spread_line("page=" + std::to_string(page) + " 重建到画完", painted));
  }
  // Moving from page to page, as Ctrl+Tab does, until the new page is painted.
  std::vector<double> switches;
  for (int i = 0; i < 54; ++i) {
    const auto t = Clock::now();
    window.switch_page(window.page() + 1);
    window.paint_now();
    switches.push_back(ms_between(t, Clock::now()));
    serve_messages_for(30ms);
  }
  log_line(perf_spread_line("换页到画完", switches));
  std::lock_guard lock(state.mu);
  if (!state.core) return 0;
  const CoreCalls core(*state.core);
  const std::pair<const char*, std::function<std::string()>> calls[] = {
      {"models_json", [&] { return core.models_list(); }},
      {"devices_json", [&] { return core.list_devices(); }},
      {"stats_json", [&] { return core.get_stats(); }},
      {"history_json", [&] { return core.get_history(1000); }},
      {"profiles_json", [&] { return core.get_profiles(); }},
      {"hotwords_json", [&] { return core.get_hotwords(); }},
      {"config_toml", [&] { return core.get_config_toml(); }},
  };
  for (const auto& [name, call] : calls) {
    const auto t = Clock::now();
    const std::string text = call();
    log_line(perf_ffi_line(name, ms_between(t, Clock::now()), text.size()));
  }
  return 0;
}

int mic_test(SettingsWindow& window, AppState& state, const Args& args) {
  const int seconds = std::max(1, int_value(args.value("--settings-mic-test"), 5));
  window.open(int_value(args.value("--open-settings-page"), 2));
  int rc = -1;
  if (window.page() == 2 && window.window() != nullptr) {
    rc = window.start_meter();
  } else {
    std::lock_guard lock(state.mu);
    if (state.core) rc = CoreCalls(*state.core).meter_start();
  }
  stderr_line("[kesu] settings mic test meter_start rc=" + std::to_string(rc));
  for (int i = 0; i < seconds * 20; ++i) serve_messages_for(50ms);
  return 0;
}

}  // namespace

std::optional<int> run_settings_modes(SettingsModePoint point, const Args& a,
                                      SettingsWindow& window, AppState& state) {
  switch (point) {
    case SettingsModePoint::core:
      if (a.has("--settings-tab-demo")) return tab_demo(window);
      if (a.has("--settings-ctrl-tab-demo")) return ctrl_tab_demo(window);
      if (a.has("--settings-key-demo")) return key_demo(window, state, a);
      if (a.has("--settings-focus-demo")) return focus_demo(window);
      return std::nullopt;
    case SettingsModePoint::state:
      if (a.has("--settings-pages-smoke")) return pages_smoke(window);
      if (a.has("--settings-cycle")) return cycle(window, a);
      return std::nullopt;
    case SettingsModePoint::end:
      if (a.has("--settings-perapp-selftest")) return per_app_selftest(window, state);
      if (a.has("--settings-perf-test")) return perf_test(window, state);
      if (a.has("--settings-save-test")) return save_test(window, state);
      return std::nullopt;
    case SettingsModePoint::settings:
      if (a.has("--settings-mic-test")) return mic_test(window, state, a);
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace kesu::shell::win
