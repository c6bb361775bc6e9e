#pragma once

// The command-line test modes that work through the core or the logic of this folder. Each
// writes result lines (first word an upper-case tag) and ends the process.

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "main/cli.h"
#include "main/core_binding.h"
#include "main/hotkey.h"
#include "kesu_version.h"

namespace kesu::shell {

inline constexpr std::string_view kVersion = KESU_VERSION;
inline constexpr std::string_view kSelfTestSentence = "言至自测：这句话走完了整条听写流程。";

struct ModeContext {
  const Args& args;
  const CoreBinding* core;  // absent only if the shell runs without a core
  HotkeyHolder& hotkey;
  std::function<void(std::string_view)> log;     // main log line
  std::function<void(std::string_view)> out;     // raw standard output
  std::function<void(std::chrono::milliseconds)> sleep;
  std::function<std::string()> consent;          // microphone consent text
  std::mutex* state_mu = nullptr;                // the application-state lock, once there is one
};

// Each returns the exit code when one of its modes ran.
std::optional<int> run_core_modes(const ModeContext& ctx);
std::optional<int> run_end_modes(const ModeContext& ctx);

std::string permission_report(std::string_view consent);

}  // namespace kesu::shell
