#pragma once

// Start at logon: the registration (the per-user Run value on Windows), kept in line with the
// configuration's launch_at_login. The decisions and the lines written about them live here; the
// registry itself sits behind AutostartRegistry.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "main/modes.h"

namespace kesu::shell {

// Success, or the error text shown to people.
struct SetOutcome {
  std::optional<std::string> error;
  bool ok() const { return !error.has_value(); }
};

class AutostartRegistry {
 public:
  virtual ~AutostartRegistry() = default;
  // Registers the running executable (true) or removes the registration (false).
  [[nodiscard]] virtual SetOutcome set(bool enable) = 0;
  // The stored command text; none when there is no registration or it cannot be read.
  virtual std::optional<std::string> read() = 0;
};

// The system's registry: the Run key on Windows; elsewhere there is nothing to register with.
std::unique_ptr<AutostartRegistry> make_system_autostart_registry();

// ---- Debug notation of the log lines ----

// The text in double quotes with \" \\ \n \r \t escaped and other control characters as \u{..}.
std::string debug_quoted(std::string_view text);
// None, or Some("…").
std::string debug_optional(const std::optional<std::string>& text);
// Ok(()), or Err("…").
std::string debug_outcome(const SetOutcome& outcome);

// ---- Reconciliation at start-up ----

enum class ReconcileAction {
  Nothing,
  Remove,   // set(false)
  Write,    // set(true), no registration yet
  Rewrite,  // set(true) over a registration for another path
};

// `exe_path` is the running executable's path as text (empty when it cannot be determined).
ReconcileAction reconcile_action(bool want, const std::optional<std::string>& have,
                                 std::string_view exe_path);

struct ReconcileSinks {
  std::function<void(std::string_view)> log;           // main log line
  std::function<void(std::string_view)> error_stream;  // raw bytes to standard error
  bool raw_debug = false;                              // KESU_RAW_DEBUG is set
};

// Reads the registration and brings it in line with `want`. Failures are only logged.
void reconcile_autostart_registration(bool want, AutostartRegistry& registry,
                                      std::string_view exe_path, const ReconcileSinks& sinks);

// The General page's save: the registration follows the saved value; the error text on failure.
std::optional<std::string> sync_autostart(bool want, AutostartRegistry& registry);

// ---- Test switches ----

bool wants_autostart_mode(const Args& args);
// "--autostart-on", "--autostart-off", "--autostart-test"; the exit code when one ran. The
// configuration is saved under `ctx.state_mu` when it is given.
std::optional<int> run_autostart_modes(const ModeContext& ctx, AutostartRegistry& registry);

}  // namespace kesu::shell
