#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "config/config_store.h"
#include "engine/engine.h"

namespace kesu {

// Commands read by the worker. Exports and the core's auxiliary threads only ever post these;
// the worker alone acts on them.
namespace cmd {
struct Cancel {};
struct SubmitResult {
  std::string task_id;
  std::string status;
  std::optional<std::string> detail;
};
struct DebugSubmitText {
  std::string text;
};
struct HotwordsChanged {
  std::size_t count = 0;
};
struct NoteForegroundApp {
  std::string app;
};
struct ConfigChanged {
  ConfigPtr record;
  std::uint64_t generation = 0;
};
struct MeterStart {};
struct MeterStop {};
struct SetEngine {
  std::string name;
};
// The outcome of building an engine on the thread kesu-engine.
struct EngineBuilt {
  std::string name;
  std::shared_ptr<Engine> engine;  // null on failure
  std::string error;
};
struct DebugPanic {};
struct Shutdown {};
}  // namespace cmd

using Command =
    std::variant<cmd::Cancel, cmd::SubmitResult, cmd::DebugSubmitText, cmd::ConfigChanged,
                 cmd::HotwordsChanged, cmd::NoteForegroundApp, cmd::MeterStart,
                 cmd::MeterStop, cmd::SetEngine, cmd::EngineBuilt, cmd::DebugPanic,
                 cmd::Shutdown>;

}  // namespace kesu
