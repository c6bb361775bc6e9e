#pragma once

#include <string>

#include "engine/engine.h"
#include "engine/sherpa_objects.h"

namespace kesu {

// "sense" and "qwen3": a sherpa-onnx offline recogniser.
class OfflineEngine final : public Engine {
 public:
  OfflineEngine(std::string name, const SherpaApi& api, RecognizerHandle recognizer)
      : name_(std::move(name)), api_(api), recognizer_(std::move(recognizer)) {}
  std::string_view name() const override { return name_; }
  EngineResult recognise(std::span<const float> samples) override;

 private:
  std::string name_;
  const SherpaApi& api_;
  RecognizerHandle recognizer_;
};

}  // namespace kesu
