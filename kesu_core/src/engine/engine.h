#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "util/error.h"

namespace kesu {

struct EngineResult {
  std::string text;
  std::optional<Error> error;  // set when the segment could not be recognised
};

// One recognition engine. Callers serialise recognise() through the engine slot.
class Engine {
 public:
  virtual ~Engine() = default;
  virtual std::string_view name() const = 0;
  // 16 kHz mono samples of one segment.
  virtual EngineResult recognise(std::span<const float> samples) = 0;
};

inline constexpr std::string_view kStubEngineText = "测试文本：你好，Kesu。";

// "stub": every segment is the fixed sentence.
class StubEngine final : public Engine {
 public:
  std::string_view name() const override { return "stub"; }
  EngineResult recognise(std::span<const float>) override { return {std::string(kStubEngineText), {}}; }
};

}  // namespace kesu
