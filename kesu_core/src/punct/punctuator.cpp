#include "punct/punctuator.h"

#include "config/model_files.h"
#include "punct/punct_rule.h"
#include "util/log.h"

namespace kesu {

std::shared_ptr<Punctuator> Punctuator::create(const ConfigRecord& config,
                                               const ModelLoader& loader) {
  const std::filesystem::path model = punct_model_path(config.core_dir);
  if (!config.audio_punct || !is_file(model) || loader.api() == nullptr) {
    return std::make_shared<Punctuator>();
  }
  if (const Status checked = loader.validate(ModelKind::punct, model); !checked) {
    log_line("标点模型加载失败，只在句末补句号：" + user_message(checked.error()));
    return std::make_shared<Punctuator>();
  }
  PunctuationHandle handle;
  try {
    handle = create_punctuation(*loader.api(), model);
  } catch (...) {
    // Linux only: sherpa-onnx's exceptions cannot be caught from a Windows build.
  }
  if (!handle) {
    log_line("标点模型加载失败，只在句末补句号");
    return std::make_shared<Punctuator>();
  }
  return std::shared_ptr<Punctuator>(new Punctuator(*loader.api(), std::move(handle)));
}

std::string Punctuator::add(std::string_view text) {
  if (model_ && !text.empty()) {
    std::lock_guard lock(model_mu_);
    try {
      if (auto out = add_punctuation(*api_, model_.get(), std::string(text))) return *out;
    } catch (...) {
      log_line("标点模型出错，这次用规则补标点");
    }
  }
  return punctuate_by_rule(text);
}

}  // namespace kesu
