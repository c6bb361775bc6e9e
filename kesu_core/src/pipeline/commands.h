#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "config/config_store.h"
#include "pipeline/final_decode.h"
#include "engine/engine.h"
#include "util/error.h"

namespace kesu {

// Commands read by the worker. Exports and the core's auxiliary threads only ever post these;
// the worker alone acts on them.
namespace cmd {
struct HotkeyDown {};
struct HotkeyUp {};
struct Cancel {};
struct SubmitResult {
  std::string task_id;
  std::string status;
  std::optional<std::string> detail;
};
// From the final-decode thread.
struct DecodeDone {
  FinalDecodeOutcome outcome;
};
struct DebugSubmitText {
  std::string text;
};
struct DebugRecord {
  float seconds = 0;
};
struct DecodeWav {
  std::vector<float> samples;
};
struct RetryFailed {};
// From the background-piece thread.
struct PieceDone {
  std::uint64_t session = 0;
  std::uint64_t piece = 0;
  std::string text;
  std::optional<Error> error;
  std::uint64_t decode_ms = 0;
};
struct RetrySegment {
  int index = 0;
};
// From the segment-retry thread.
struct SegmentRetryFailed {
  int index = 0;
  Error error;
};
struct SegmentRetryDone {
  int index = 0;
  std::string text;
};
struct MeterStart {};
struct MeterStop {};
struct ConfigChanged {
  ConfigPtr record;
  std::uint64_t generation = 0;
};
struct HotwordsChanged {
  std::size_t count = 0;
};
struct NoteForegroundApp {
  std::string app;
};
struct SetEngine {
  std::string name;
};
// The outcome of building an engine on the thread kesu-engine.
struct EngineBuilt {
  std::string name;
  std::shared_ptr<Engine> engine;  // null on failure
  std::optional<Error> error;
};
struct DebugPanic {};
struct Shutdown {};
}  // namespace cmd

using Command =
    std::variant<cmd::HotkeyDown, cmd::HotkeyUp, cmd::Cancel, cmd::SubmitResult, cmd::DecodeDone,
                 cmd::DebugSubmitText, cmd::DebugRecord, cmd::DecodeWav, cmd::RetryFailed,
                 cmd::PieceDone, cmd::RetrySegment, cmd::SegmentRetryFailed,
                 cmd::SegmentRetryDone, cmd::MeterStart, cmd::MeterStop, cmd::ConfigChanged,
                 cmd::SetEngine, cmd::EngineBuilt, cmd::HotwordsChanged, cmd::NoteForegroundApp,
                 cmd::DebugPanic, cmd::Shutdown>;

}  // namespace kesu
