#include "voice/voice_state.h"

#include <system_error>

#include "util/paths.h"
#include "voice/voice_print.h"

namespace kesu {

std::filesystem::path speaker_model_path(const std::filesystem::path& core_dir) {
  return models_base(core_dir) / kSpeakerModelFile;
}

nlohmann::json voice_state(const ConfigRecord& config) {
  const std::optional<VoicePrint> print = read_voice_print(config.core_dir / kVoicePrintFile);
  const std::filesystem::path model = speaker_model_path(config.core_dir);
  std::error_code ec;
  nlohmann::json state = nlohmann::json::object();
  state["created"] = print ? print->created : "";
  state["dim"] = print ? print->vec.size() : 0;
  state["enabled"] = config.audio_voice_lock;
  state["enrolled"] = print.has_value();
  state["model_path"] = path_to_utf8(model);
  state["model_ready"] = std::filesystem::is_regular_file(model, ec);
  // The threshold is kept as a 32-bit value; the state shows it widened, as the filter uses it.
  state["threshold"] = static_cast<double>(static_cast<float>(config.audio_voice_lock_threshold));
  return state;
}

Status clear_voice_print(const std::filesystem::path& core_dir) {
  std::error_code ec;
  std::filesystem::remove(core_dir / kVoicePrintFile, ec);
  if (ec) return Error{ErrorCode::voice_clear_failed, ec.message()};
  return Status::success();
}

}  // namespace kesu
