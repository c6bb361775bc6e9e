#include "settings/autostart.h"

#include <array>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "main/core_calls.h"

namespace kesu::shell {

namespace {

using namespace std::chrono_literals;

constexpr std::array kAutostartSwitches{"--autostart-on", "--autostart-off", "--autostart-test"};

std::string bool_text(bool b) { return b ? "true" : "false"; }

std::string unicode_escape(unsigned code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "\\u{%x}", code);
  return buf;
}

// A registration may quote the path any number of times at either end.
std::string_view without_quotes(std::string_view text) {
  while (!text.empty() && text.front() == '"') text.remove_prefix(1);
  while (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return text;
}

CallResult save_launch_at_login(const ModeContext& ctx, bool enable) {
  if (ctx.core == nullptr) return {KESU_ERR_ARGUMENT, "core 没起来"};
  const std::string patch = nlohmann::json{{"launch_at_login", enable}}.dump();
  if (ctx.state_mu == nullptr) return CoreCalls(*ctx.core).set_config_json(patch);
  std::lock_guard lock(*ctx.state_mu);
  return CoreCalls(*ctx.core).set_config_json(patch);
}

void switch_mode(const ModeContext& ctx, AutostartRegistry& registry, bool enable) {
  const SetOutcome result = registry.set(enable);
  const CallResult saved = save_launch_at_login(ctx, enable);
  // The registry and the configuration settle before the value is read back.
  ctx.sleep(1200ms);
  const std::optional<std::string> current = registry.read();
  ctx.log(std::string("AUTOSTART ") + (enable ? "ON" : "OFF") + " result=" + debug_outcome(result) +
          " config=" + std::to_string(saved.code) + "/" + saved.message +
          " current=" + debug_optional(current));
}

void round_trip_mode(const ModeContext& ctx, AutostartRegistry& registry) {
  const auto before = registry.read();
  const SetOutcome on = registry.set(true);
  const auto after_on = registry.read();
  const SetOutcome off = registry.set(false);
  const auto after_off = registry.read();
  ctx.log("AUTOSTARTTEST before=" + debug_optional(before) + " on=" + debug_outcome(on) +
          " after_on=" + debug_optional(after_on) + " off=" + debug_outcome(off) +
          " after_off=" + debug_optional(after_off));
}

}  // namespace

std::string debug_quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (byte < 0x20 || byte == 0x7F) {
      out += unicode_escape(byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F, the second block of control characters.
      out += unicode_escape(static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  out += '"';
  return out;
}

std::string debug_optional(const std::optional<std::string>& text) {
  return text ? "Some(" + debug_quoted(*text) + ")" : "None";
}

std::string debug_outcome(const SetOutcome& outcome) {
  return outcome.ok() ? "Ok(())" : "Err(" + debug_quoted(*outcome.error) + ")";
}

ReconcileAction reconcile_action(bool want, const std::optional<std::string>& have,
                                 std::string_view exe_path) {
  if (!want) return have ? ReconcileAction::Remove : ReconcileAction::Nothing;
  if (!have) return ReconcileAction::Write;
  return without_quotes(*have) == exe_path ? ReconcileAction::Nothing : ReconcileAction::Rewrite;
}

void reconcile_autostart_registration(bool want, AutostartRegistry& registry,
                                      std::string_view exe_path, const ReconcileSinks& sinks) {
  const std::optional<std::string> have = registry.read();
  if (sinks.raw_debug) {
    sinks.error_stream("[kesu] autostart reconcile want=" + bool_text(want) +
                       " have=" + debug_optional(have) + "\n");
  }
  const ReconcileAction action = reconcile_action(want, have, exe_path);
  if (action == ReconcileAction::Nothing) return;
  const SetOutcome result = registry.set(action != ReconcileAction::Remove);
  if (action == ReconcileAction::Rewrite) sinks.log("AUTOSTART 路径变了，已重写 Run 键");
  if (!result.ok()) {
    sinks.log("AUTOSTART 对齐失败 want=" + bool_text(want) + " have=" + debug_optional(have));
  }
}

std::optional<std::string> sync_autostart(bool want, AutostartRegistry& registry) {
  return registry.set(want).error;
}

bool wants_autostart_mode(const Args& args) {
  for (const char* name : kAutostartSwitches) {
    if (args.has(name)) return true;
  }
  return false;
}

std::optional<int> run_autostart_modes(const ModeContext& ctx, AutostartRegistry& registry) {
  // In table order; the first one present runs.
  if (ctx.args.has("--autostart-on")) {
    switch_mode(ctx, registry, true);
  } else if (ctx.args.has("--autostart-off")) {
    switch_mode(ctx, registry, false);
  } else if (ctx.args.has("--autostart-test")) {
    round_trip_mode(ctx, registry);
  } else {
    return std::nullopt;
  }
  return 0;
}

}  // namespace kesu::shell
