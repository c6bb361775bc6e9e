#include "main/startup.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include <nlohmann/json.hpp>

#include "main/core_calls.h"
#include "main/core_loader.h"
#include "main/data_dir.h"
#include "main/json_members.h"
#include "main/logs.h"
#include "main/modes.h"
#include "main/text.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

std::atomic<bool> g_dev{false};
std::atomic<bool> g_assume_consent{false};

using Clock = std::chrono::steady_clock;

std::string ms_since(Clock::time_point start) {
  return std::to_string(
             std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()) +
         "ms";
}

ModeContext mode_context(const Args& args, const CoreBinding* core, HotkeyHolder& hotkey,
                         std::mutex* state_mu = nullptr) {
  return ModeContext{
      args,
      core,
      hotkey,
      [](std::string_view t) { log_line(t); },
      [](std::string_view t) { platform::write_stdout(t); },
      [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); },
      [] { return platform::microphone_consent(); },
      state_mu,
  };
}

Json config_of(const CoreBinding& core) {
  return Json::parse(CoreCalls(core).get_config_json(), nullptr, false);
}

int page_number(const std::optional<std::string>& text) { return int_value(text, 0); }

// Ends a test mode: the modes release the core before the process goes.
int finish_mode(const CoreBinding& core, int code) {
  CoreCalls(core).core_free();
  return code;
}

void first_use_download(const CoreBinding& core, const Views& views) {
  if (listed_as_installed(CoreCalls(core).models_list(), "sense")) return;
  views.tray->set_tooltip("言至：正在下载语音模型…");
  std::thread([core] {
    const CallResult r = CoreCalls(core).models_pull("sense");
    if (r.code != 0) trace("first-use pull rc=" + std::to_string(r.code) + " " + r.message);
  }).detach();
}

void onboarding_decision(const Args& args, AppState& state, const std::filesystem::path& dir) {
  const bool explicit_open = args.has("--onboarding") || args.has("--onboarding-step");
  const bool blocked = onboarding_blocked(args);
  std::error_code ec;
  if (args.has("--onboarding-step") || (explicit_open && !blocked)) {
    std::filesystem::remove(dir / "onboarding.done", ec);
  }
  const bool settings_asked = args.has("--open-settings") || args.has("--open-settings-page");
  if (blocked || !(explicit_open || !settings_asked)) return;
  std::lock_guard lock(state.mu);
  if (!state.core) return;
  if (explicit_open) {
    state.views.onboarding->open_at(page_number(args.value("--onboarding-step")));
  } else {
    state.views.onboarding->start_check();
  }
}

}  // namespace

void ShellHost::start_hotkey_sim(const Args&, HotkeyHolder&) {
  log_line("SIM 没有桌面，无法模拟热键");
}

std::optional<int> ShellHost::run_window_modes(WindowModePoint point, const Args& args,
                                               const CoreBinding&) {
  // Without a desktop there is no settings window to drive: say so rather than pretend.
  const When when = point == WindowModePoint::core    ? When::Core
                    : point == WindowModePoint::state ? When::State
                    : point == WindowModePoint::end   ? When::End
                                                      : When::Settings;
  if (const auto asked = settings_window_switch(args, when)) {
    const std::string line = *asked + "：没有桌面，设置窗口不可用";
    stderr_line(line);
    log_line(line);
    return 1;
  }
  return std::nullopt;
}

bool developer_mode_on() { return g_dev.load(); }
bool assume_consent() { return g_assume_consent.load(); }

int run_shell(const Args& args, ShellHost& host, LibraryOpener& opener,
              std::span<const Payload> payloads) {
  const auto start = Clock::now();
  host.set_dpi_awareness();

  g_dev = developer_mode(args, &platform::env_var);
  if (auto refused = refused_switch(args, g_dev)) {
    stderr_line(refused_message(*refused));
    return 2;
  }
  if (!args.empty()) {
    set_quiet_mode(wants_quiet(args));
    g_assume_consent = args.has("--assume-consent");
  }

  const std::filesystem::path dir = data_dir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (auto unbuilt = unbuilt_switch(args)) {
    const std::string message = unbuilt_message(*unbuilt);
    stderr_line(message);
    log_line(message);
    return 3;
  }

  LoadResult loaded = load_core(
      dir, {executable_dir(), payloads, &opener, [](std::string_view t) { log_line(t); }});
  if (!loaded.binding) {
    if (host.hand_over_to_running_instance()) return 0;
    show_warning("言至 启动失败：" + loaded.error);
    return 1;
  }
  const CoreBinding core = *loaded.binding;
  trace("启动：核心就绪 " + ms_since(start));

  HotkeyHolder hotkey;
  if (auto code = run_core_modes(mode_context(args, &core, hotkey))) return finish_mode(core, *code);
  if (auto code = host.run_window_modes(WindowModePoint::core, args, core)) {
    return finish_mode(core, *code);
  }

  if (host.hand_over_to_running_instance()) return finish_mode(core, 0);

  AppState state;
  host.create_windows(state);
  const Views views = host.views();

  const LoadedHotkey ptt =
      load_push_to_talk(CoreCalls(core).get_config_json(), [](std::string_view t) { stderr_line(t); });
  hotkey.set(ptt.spec);
  if (ptt.report_to_user) {
    views.tray->set_tooltip("言至：热键「" + ptt.configured +
                            "」看不懂，先用 Alt（右键）说话；到设置里改一下");
    trace("hotkey-fallback raw=" + ptt.configured);
  }

  {
    std::lock_guard lock(state.mu);
    state.core = core;
    state.views = views;
  }
  if (auto code = host.run_window_modes(WindowModePoint::state, args, core)) {
    return finish_mode(core, *code);
  }

  host.install_keyboard_capture(hotkey);
  host.add_tray(args.has("--tray-drop-test"));
  views.insertion->recover_undelivered();

  Json config;
  {
    std::lock_guard lock(state.mu);
    config = config_of(core);
  }
  if (config.is_object()) {
    const auto warning = config.find("load_warning");
    if (warning != config.end() && warning->is_string()) {
      const std::string text = warning->get<std::string>();
      stderr_line("[kesu] " + text);
      const std::string shown = cut_chars(text, 90);
      views.tray->set_tooltip("言至：" + shown);
      views.overlay->show_tip(shown);
    }
  }
  host.create_mini_window(bool_member(config, "mini_window"));

  {
    std::lock_guard lock(state.mu);
    const int rc = host.register_event_callback(core);
    if (rc != 0) stderr_line("[kesu] 注册事件回调失败 rc=" + std::to_string(rc));
  }
  host.reconcile_autostart(bool_member(config, "launch_at_login"));
  {
    std::lock_guard lock(state.mu);
    first_use_download(core, views);
  }

  if (auto code = run_end_modes(mode_context(args, &core, hotkey, &state.mu))) {
    return finish_mode(core, *code);
  }
  if (auto code = host.run_window_modes(WindowModePoint::end, args, core)) {
    return finish_mode(core, *code);
  }

  if (args.has("--hotkey-sim")) host.start_hotkey_sim(args, hotkey);

  onboarding_decision(args, state, dir);
  if (args.has("--open-settings")) views.settings->open(0);
  if (auto code = host.run_window_modes(WindowModePoint::settings, args, core)) {
    return finish_mode(core, *code);
  }
  if (args.has("--open-settings-page")) {
    views.settings->open(page_number(args.value("--open-settings-page")));
  }

  if (auto code = host.run_late_modes(args)) return finish_mode(core, *code);

  trace("启动：界面就绪 " + ms_since(start));
  EventIntake intake(state, hotkey, overlay_timing(), IntakeSinks::real());
  return host.message_loop(intake);
}

}  // namespace kesu::shell
