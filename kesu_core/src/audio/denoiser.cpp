#include "audio/denoiser.h"

#include <climits>

#include "config/model_files.h"

namespace kesu {

namespace {

class GtcrnDenoiser final : public AudioFilter {
 public:
  GtcrnDenoiser(const SherpaApi& api, DenoiserHandle handle)
      : api_(api), handle_(std::move(handle)) {}

  std::vector<float> process(std::vector<float> samples) override {
    std::vector<float> out;
    constexpr std::size_t kPiece = 1 << 20;  // the C interface counts in int32_t
    for (std::size_t done = 0; done < samples.size(); done += kPiece) {
      const std::size_t n = std::min(kPiece, samples.size() - done);
      // NULL until a hop of output is ready: not an error.
      take(api_.SherpaOnnxOnlineSpeechDenoiserRun(handle_.get(), samples.data() + done,
                                                  static_cast<int32_t>(n), 16000),
           out);
    }
    return out;
  }

  std::vector<float> flush() override {
    std::vector<float> out;
    take(api_.SherpaOnnxOnlineSpeechDenoiserFlush(handle_.get()), out);
    return out;
  }

 private:
  void take(const SherpaOnnxDenoisedAudio* audio, std::vector<float>& out) {
    SherpaHandle<SherpaOnnxDenoisedAudio> owned(audio, {api_.SherpaOnnxDestroyDenoisedAudio});
    if (owned && owned->samples != nullptr && owned->n > 0) {
      out.insert(out.end(), owned->samples, owned->samples + owned->n);
    }
  }

  const SherpaApi& api_;
  DenoiserHandle handle_;
};

}  // namespace

DenoiserOpen open_denoiser(const ConfigRecord& config, const ModelLoader& loader) {
  const std::filesystem::path model = gtcrn_model_path(config.core_dir);
  if (!config.audio_denoise || !is_file(model)) return {};
  const Result<const SherpaApi*> api = loader.require_api();
  if (!api) return {nullptr, api.error()};
  if (!loader.validate(ModelKind::gtcrn, model)) {
    return {nullptr, Error{ErrorCode::denoiser_create_failed, {}}};
  }
  DenoiserHandle handle;
  try {
    handle = create_gtcrn_denoiser(*loader.api(), model);
  } catch (...) {
    // Linux only: sherpa-onnx's exceptions cannot be caught from a Windows build.
  }
  if (!handle) return {nullptr, Error{ErrorCode::denoiser_create_failed, {}}};
  if (loader.api()->SherpaOnnxOnlineSpeechDenoiserGetSampleRate(handle.get()) != 16000) {
    return {nullptr, Error{ErrorCode::denoiser_rate, {}}};
  }
  return {std::make_unique<GtcrnDenoiser>(*loader.api(), std::move(handle)), {}};
}

}  // namespace kesu
