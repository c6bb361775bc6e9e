#include "main/cli.h"

#include <array>

namespace kesu::shell {

namespace {

constexpr bool Y = true;
constexpr bool N = false;

// Name, Dev, Quiet, When, blocks onboarding, built (a switch whose mode is not built yet is
// refused rather than falling into a normal run). Order matters: at each point the first switch
// present wins.
constexpr std::array kSwitches{
    SwitchInfo{"--dev", N, N, When::Flag, N, Y},
    SwitchInfo{"--assume-consent", Y, N, When::Flag, N, Y},
    SwitchInfo{"--pull-model", N, N, When::Core, N, Y},
    SwitchInfo{"--hotkey-report", N, N, When::Core, N, Y},
    SwitchInfo{"--inject-type", N, N, When::Core, N, Y},
    SwitchInfo{"--voice-enroll-wav", N, Y, When::Core, N, Y},
    SwitchInfo{"--perm-report", N, Y, When::Core, Y, Y},
    SwitchInfo{"--polish-models", N, Y, When::Core, Y, Y},
    SwitchInfo{"--polish-test", N, Y, When::Core, Y, Y},
    SwitchInfo{"--voice-state", N, Y, When::Core, N, Y},
    SwitchInfo{"--decode-wav", Y, N, When::Core, Y, Y},
    SwitchInfo{"--net-check", N, N, When::Core, N, N},
    SwitchInfo{"--caret-probe", N, N, When::Core, N, Y},
    SwitchInfo{"--overlay-demo", N, N, When::Core, N, Y},
    SwitchInfo{"--diagnose", N, N, When::Core, N, Y},
    SwitchInfo{"--diag-bundle", N, Y, When::Core, Y, N},
    SwitchInfo{"--diag-upload", N, Y, When::Core, Y, N},
    SwitchInfo{"--dpi-report", N, N, When::Core, N, Y},
    SwitchInfo{"--settings-tab-demo", N, N, When::Core, Y, Y},
    SwitchInfo{"--settings-ctrl-tab-demo", N, N, When::Core, N, Y},
    SwitchInfo{"--settings-key-demo", N, N, When::Core, Y, Y},
    SwitchInfo{"--settings-focus-demo", N, N, When::Core, Y, Y},
    SwitchInfo{"--onboarding-key-demo", N, N, When::Core, N, N},
    SwitchInfo{"--selection-run", Y, N, When::Core, N, N},
    SwitchInfo{"--selection-demo", Y, N, When::Core, N, N},
    SwitchInfo{"--version", N, N, When::Core, Y, Y},
    SwitchInfo{"--dump-config", Y, Y, When::Core, Y, Y},
    SwitchInfo{"--lan-chk", N, N, When::Core, N, Y},
    SwitchInfo{"--history-delete", Y, Y, When::Core, Y, Y},
    SwitchInfo{"--mic-test", N, N, When::Core, Y, Y},
    SwitchInfo{"--settings-input-selftest", N, Y, When::Core, N, N},
    SwitchInfo{"--inject-test-hold", Y, Y, When::Core, N, Y},
    SwitchInfo{"--inject-test", Y, Y, When::Core, N, Y},
    SwitchInfo{"--self-test", N, Y, When::Core, Y, Y},
    SwitchInfo{"--settings-pages-smoke", N, Y, When::State, Y, Y},
    SwitchInfo{"--settings-cycle", N, Y, When::State, Y, Y},
    SwitchInfo{"--hotwords-suggest-selftest", N, Y, When::State, N, N},
    SwitchInfo{"--hotwords-suggest", N, Y, When::State, N, N},
    SwitchInfo{"--tray-drop-test", N, Y, When::TrayAdded, Y, Y},
    SwitchInfo{"--polish-prompt-reset", N, Y, When::End, N, N},
    SwitchInfo{"--polish-prompt-selftest", N, Y, When::End, N, N},
    SwitchInfo{"--settings-perapp-selftest", N, Y, When::End, N, Y},
    SwitchInfo{"--hotkey-sim", Y, N, When::End, N, Y},
    SwitchInfo{"--polish-save-test", N, N, When::End, N, N},
    SwitchInfo{"--set-config", Y, N, When::End, Y, Y},
    SwitchInfo{"--set-hotkey", Y, N, When::End, Y, Y},
    SwitchInfo{"--settings-live-test", N, N, When::End, N, Y},
    SwitchInfo{"--obs-diff", N, N, When::End, N, N},
    SwitchInfo{"--obs-list", N, N, When::End, N, N},
    SwitchInfo{"--autostart-on", N, N, When::End, N, Y},
    SwitchInfo{"--autostart-off", N, N, When::End, N, Y},
    SwitchInfo{"--autostart-test", N, N, When::End, N, Y},
    SwitchInfo{"--hotwords-json", N, N, When::End, Y, Y},
    SwitchInfo{"--hotkey-check", N, N, When::End, Y, Y},
    SwitchInfo{"--settings-perf-test", N, N, When::End, N, Y},
    SwitchInfo{"--settings-save-test", N, N, When::End, N, Y},
    SwitchInfo{"--onboarding", N, N, When::Onboarding, N, N},
    SwitchInfo{"--onboarding-step", Y, N, When::Onboarding, N, N},
    SwitchInfo{"--no-onboarding", N, N, When::Onboarding, N, Y},
    SwitchInfo{"--open-settings", N, N, When::Settings, N, Y},
    SwitchInfo{"--open-settings-page", N, N, When::Settings, N, Y},
    SwitchInfo{"--settings-mic-test", N, Y, When::Settings, N, Y},
    SwitchInfo{"--onboarding-probe-selftest", N, Y, When::Late, N, N},
    SwitchInfo{"--mini-toggle", N, Y, When::Late, N, Y},
    SwitchInfo{"--tray-cmd", N, Y, When::Late, N, Y},
    SwitchInfo{"--tray-menu-dump", N, Y, When::Late, Y, Y},
    SwitchInfo{"--tray-menu-demo", N, N, When::Late, N, Y},
    SwitchInfo{"--lang", N, N, When::None, Y, Y},
};

// The test modes that need the settings window on a desktop.
constexpr std::string_view kSettingsWindowSwitches[] = {
    "--settings-tab-demo",       "--settings-ctrl-tab-demo", "--settings-key-demo",
    "--settings-focus-demo",     "--settings-pages-smoke",   "--settings-cycle",
    "--settings-perapp-selftest", "--settings-perf-test",     "--settings-save-test",
    "--settings-mic-test",
};

}  // namespace

std::optional<std::string> settings_window_switch(const Args& args, When when) {
  for (std::string_view name : kSettingsWindowSwitches) {
    const SwitchInfo* s = find_switch(name);
    if (s != nullptr && s->when == when && args.has(name)) return std::string(name);
  }
  return std::nullopt;
}

std::span<const SwitchInfo> switch_table() { return kSwitches; }

const SwitchInfo* find_switch(std::string_view name) {
  for (const SwitchInfo& s : kSwitches) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

bool Args::has(std::string_view name) const {
  for (const std::string& a : args_) {
    if (a == name) return true;
  }
  return false;
}

std::optional<std::string> Args::value(std::string_view name) const {
  for (std::size_t i = 0; i + 1 < args_.size(); ++i) {
    if (args_[i] == name) return args_[i + 1];
  }
  return std::nullopt;
}

int int_value(const std::optional<std::string>& text, int fallback) {
  if (!text) return fallback;
  try {
    std::size_t used = 0;
    const int v = std::stoi(*text, &used);
    return used == text->size() ? v : fallback;
  } catch (...) {
    return fallback;
  }
}

bool developer_mode(const Args& args, const EnvLookup& env) {
  if (args.has("--dev")) return true;
  const auto value = env("KESU_DEV");
  return value && *value == "1";
}

std::optional<std::string> refused_switch(const Args& args, bool dev_mode) {
  if (dev_mode) return std::nullopt;
  for (const std::string& a : args.all()) {
    if (const SwitchInfo* s = find_switch(a); s != nullptr && s->dev) return a;
  }
  return std::nullopt;
}

std::string refused_message(std::string_view arg) {
  return std::string(arg) + " 只在开发版可用（启动时加 --dev）";
}

std::optional<std::string> unbuilt_switch(const Args& args) {
  for (const std::string& a : args.all()) {
    if (const SwitchInfo* s = find_switch(a); s != nullptr && !s->built) return a;
  }
  return std::nullopt;
}

std::string unbuilt_message(std::string_view arg) { return std::string(arg) + " 尚未实现"; }

bool wants_quiet(const Args& args) {
  for (const std::string& a : args.all()) {
    if (const SwitchInfo* s = find_switch(a); s != nullptr && s->quiet) return true;
  }
  return false;
}

bool onboarding_blocked(const Args& args) {
  for (const std::string& a : args.all()) {
    if (a == "--no-onboarding") return true;
    if (const SwitchInfo* s = find_switch(a); s != nullptr && s->blocks_onboarding) return true;
  }
  return false;
}

}  // namespace kesu::shell
