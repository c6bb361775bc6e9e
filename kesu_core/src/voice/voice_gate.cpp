#include "voice/voice_gate.h"

#include <system_error>

#include "engine/model_loader.h"
#include "util/paths.h"
#include "voice/speaker_embedder.h"
#include "voice/voice_print.h"
#include "voice/voice_state.h"

namespace kesu {

void VoiceGate::use_embedder(Embedder embedder) {
  std::lock_guard lock(mu_);
  override_ = std::move(embedder);
  gate_.reset();
}

Embedder VoiceGate::embedder_for(const ConfigRecord& config) {
  const std::filesystem::path model = speaker_model_path(config.core_dir);
  // A model replaced in place is built anew.
  const std::string identity = path_to_utf8(model) + "|" + file_change_stamp(model).value_or("");
  {
    std::lock_guard lock(mu_);
    if (override_) return override_;
    if (model_embedder_ && model_identity_ == identity) return model_embedder_;
  }
  // Built outside the lock; a racing caller just builds it twice.
  Embedder built = make_speaker_embedder(ModelLoader::for_core(config.core_dir), model);
  std::lock_guard lock(mu_);
  model_embedder_ = built;
  model_identity_ = identity;
  return built;
}

std::shared_ptr<const VoiceGate::Gate> VoiceGate::get(const ConfigRecord& config) {
  std::unique_lock lock(mu_);
  if (gate_) return gate_;
  const std::optional<VoicePrint> print = read_voice_print(config.core_dir / kVoicePrintFile);
  std::error_code ec;
  const std::filesystem::path model = speaker_model_path(config.core_dir);
  if (!print || !std::filesystem::is_regular_file(model, ec)) return nullptr;
  auto gate = std::make_shared<Gate>();
  gate->print = print->vec;
  lock.unlock();  // loading the model takes a while; a racing builder just builds it twice
  gate->embed = embedder_for(config);
  lock.lock();
  gate->threshold = static_cast<float>(config.audio_voice_lock_threshold);
  gate_ = std::move(gate);
  return gate_;
}

void VoiceGate::clear() {
  std::lock_guard lock(mu_);
  gate_.reset();
}

bool speaker_filter_possible(const ConfigRecord& config) {
  std::error_code ec;
  if (config.audio_voice_lock && std::filesystem::is_regular_file(config.core_dir / kVoicePrintFile, ec)) {
    return true;
  }
  return config.audio_source_lock && std::filesystem::is_regular_file(speaker_model_path(config.core_dir), ec);
}

SegmentFilter choose_speaker_filter(VoiceGate& gate, const ConfigRecord& config, bool& voice_lock) {
  voice_lock = false;
  if (config.audio_voice_lock && read_voice_print(config.core_dir / kVoicePrintFile)) {
    voice_lock = true;
    return [&gate, config](const std::vector<std::span<const float>>& segments) {
      const std::shared_ptr<const VoiceGate::Gate> built = gate.get(config);
      if (!built) {  // recognised without filtering
        FilterOutcome all;
        all.keep.assign(segments.size(), true);
        all.total = segments.size();
        return all;
      }
      return apply_voice_lock(segments, built->print, built->threshold, built->embed);
    };
  }
  std::error_code ec;
  const std::filesystem::path model = speaker_model_path(config.core_dir);
  if (!config.audio_source_lock || !std::filesystem::is_regular_file(model, ec)) return {};
  const float threshold = static_cast<float>(config.audio_voice_lock_threshold);
  return [threshold, &gate, config](const std::vector<std::span<const float>>& segments) {
    return apply_source_lock(segments, threshold, gate.embedder_for(config));
  };
}

void prepare_speaker_filter(VoiceGate& gate, const ConfigRecord& config) {
  std::error_code ec;
  if (config.audio_voice_lock && std::filesystem::is_regular_file(config.core_dir / kVoicePrintFile, ec)) {
    (void)gate.get(config);
  } else if (config.audio_source_lock &&
             std::filesystem::is_regular_file(speaker_model_path(config.core_dir), ec)) {
    (void)gate.embedder_for(config);
  }
}

}  // namespace kesu
