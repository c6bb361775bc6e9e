#include "audio/capture.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "audio/capture_portaudio.h"
#include "audio/capture_sim.h"
#include "audio/denoiser.h"
#include "audio/portaudio_session.h"
#include "audio/wav.h"
#include "util/log.h"
#include "util/paths.h"

namespace kesu {

namespace {

std::optional<long> forced_failure_ms() {
  const char* text = std::getenv("KESU_FORCE_MIC_FAIL_MS");
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || ms < 0) return std::nullopt;
  return ms;
}

// A denoiser that does not load never blocks capture: it runs without one.
std::unique_ptr<AudioFilter> make_denoiser(const ConfigRecord& config) {
  DenoiserOpen opened = open_denoiser(config, ModelLoader::for_core(config.core_dir));
  if (!opened.filter && opened.error) {
    log_line("降噪模型加载失败：" + user_message(*opened.error) + "（本次不降噪）", "[audio]");
  }
  return std::move(opened.filter);
}

}  // namespace

CaptureOpen open_capture(const ConfigRecord& config) {
  CaptureOpen result;
  const char* sim = std::getenv("KESU_MIC_WAV");
  if (sim != nullptr && *sim != '\0') {
    WavRead wav = read_wav_16k_mono(path_from_utf8(sim));
    if (!wav.samples) {
      result.error = wav.error;
      return result;
    }
    log_line("用 WAV 代替麦克风（" + std::to_string(wav.samples->size()) + " 采样）", "[sim]");
    result.capture = make_simulated_capture(std::move(*wav.samples), simulation_speed_from_env());
  } else {
    result = open_portaudio_capture(config.audio_device, make_denoiser(config));
    if (!result.capture) return result;
  }
  if (const auto ms = forced_failure_ms()) {
    result.capture = with_forced_failure(std::move(result.capture), std::chrono::milliseconds(*ms));
  }
  return result;
}

std::string list_input_devices_json(const ConfigRecord& config) {
  nlohmann::json out = nlohmann::json::object();
  out["selected"] = config.audio_device;
  const char* sim = std::getenv("KESU_MIC_WAV");
  if (sim != nullptr && *sim != '\0') {
    out["devices"] = nlohmann::json::array({"模拟麦克风（KESU_MIC_WAV）"});
    out["default"] = "模拟麦克风（KESU_MIC_WAV）";
    return out.dump();
  }
  const PortAudioSession session;
  nlohmann::json names = nlohmann::json::array();
  for (const InputDevice& d : session.inputs()) names.push_back(d.name);
  out["devices"] = std::move(names);
  const auto def = session.default_input();
  out["default"] = def ? nlohmann::json(def->name) : nlohmann::json(nullptr);
  if (!session.error().empty()) {
    out["error"] = user_message(Error{ErrorCode::mic_list_failed, session.error()});
  }
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kesu
