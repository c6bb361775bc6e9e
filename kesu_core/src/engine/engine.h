#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kesu {

struct Recognition {
  std::string text;
  std::optional<std::string> error;  // set when the segment could not be recognised
};

// One recognition engine. Callers serialise recognise() through the engine slot.
class Engine {
 public:
  virtual ~Engine() = default;
  virtual std::string_view name() const = 0;
  // 16 kHz mono samples of one segment.
  virtual Recognition recognise(std::span<const float> samples) = 0;
};

inline constexpr std::string_view kStubText = "测试文本：你好，Kesu。";

// "stub": every segment is the fixed sentence.
class StubEngine final : public Engine {
 public:
  std::string_view name() const override { return "stub"; }
  Recognition recognise(std::span<const float>) override { return {std::string(kStubText), {}}; }
};

}  // namespace kesu
