#pragma once

// The command line: every switch with its Dev and Quiet marks and the start-up point at which
// its mode runs, plus the decisions taken from them before anything is loaded.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "main/platform.h"

namespace kesu::shell {

enum class When {
  Flag,       // only sets a process-wide flag
  Core,       // right after the core is loaded, before the single-instance check
  State,      // after the application state is built
  TrayAdded,  // when the tray icon has been added
  End,        // after the event callback is registered
  Onboarding, // the onboarding decision
  Settings,   // the settings step
  Late,       // after the settings step
  None,       // no effect of its own
};

struct SwitchInfo {
  std::string_view name;
  bool dev;
  bool quiet;
  When when;
  bool blocks_onboarding;
  bool built;  // false: its mode does not exist yet
};

std::span<const SwitchInfo> switch_table();
const SwitchInfo* find_switch(std::string_view name);

class Args {
 public:
  Args() = default;
  explicit Args(std::vector<std::string> args) : args_(std::move(args)) {}

  bool empty() const { return args_.empty(); }
  bool has(std::string_view name) const;
  // The argument after `name`, when there is one.
  std::optional<std::string> value(std::string_view name) const;
  const std::vector<std::string>& all() const { return args_; }

 private:
  std::vector<std::string> args_;
};

// The first switch given that drives the settings window at start-up point `when`.
std::optional<std::string> settings_window_switch(const Args& args, When when);

// A whole decimal number, else the fallback (also when absent).
int int_value(const std::optional<std::string>& text, int fallback);

bool developer_mode(const Args& args, const EnvLookup& env);
// The first developer-only switch given without developer mode, if any.
std::optional<std::string> refused_switch(const Args& args, bool dev_mode);
std::string refused_message(std::string_view arg);
// The first switch whose mode is not built yet, if any; it is refused with unbuilt_message.
std::optional<std::string> unbuilt_switch(const Args& args);
std::string unbuilt_message(std::string_view arg);
bool wants_quiet(const Args& args);
bool onboarding_blocked(const Args& args);

}  // namespace kesu::shell
