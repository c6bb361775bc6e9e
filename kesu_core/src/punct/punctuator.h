#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "config/config_record.h"
#include "engine/model_loader.h"
#include "engine/sherpa_objects.h"

namespace kesu {

// Adds punctuation with the CT-transformer model when `audio.punct` is on and the model is
// installed and loads; otherwise (and whenever the model gives nothing back) by the rule.
class Punctuator {
 public:
  static std::shared_ptr<Punctuator> create(const ConfigRecord& config, const ModelLoader& loader);
  // The rule alone.
  Punctuator() = default;

  std::string add(std::string_view text);
  bool uses_model() const { return model_ != nullptr; }

 private:
  Punctuator(const SherpaApi& api, PunctuationHandle model)
      : api_(&api), model_(std::move(model)) {}

  const SherpaApi* api_ = nullptr;
  std::mutex model_mu_;  // one text at a time through the model
  PunctuationHandle model_;
};

}  // namespace kesu
