#include "voice/speaker_embedder.h"

#include <memory>
#include <mutex>

#include "engine/sherpa_objects.h"
#include "util/log.h"
#include "util/paths.h"

namespace kesu {
namespace {

using StreamHandle = SherpaHandle<SherpaOnnxOnlineStream>;

// One extractor, used by one caller at a time.
struct Extractor {
  const SherpaApi* api = nullptr;
  SpeakerHandle handle;
  std::mutex mu;
};

std::optional<Embedding> embed_with(Extractor& x, std::span<const float> samples) {
  if (samples.empty()) return std::nullopt;
  const SherpaApi& api = *x.api;
  std::lock_guard lock(x.mu);
  StreamHandle stream(api.SherpaOnnxSpeakerEmbeddingExtractorCreateStream(x.handle.get()),
                      {api.SherpaOnnxDestroyOnlineStream});
  if (!stream) return std::nullopt;
  api.SherpaOnnxOnlineStreamAcceptWaveform(stream.get(), 16000, samples.data(),
                                           static_cast<std::int32_t>(samples.size()));
  api.SherpaOnnxOnlineStreamInputFinished(stream.get());
  if (api.SherpaOnnxSpeakerEmbeddingExtractorIsReady(x.handle.get(), stream.get()) == 0) return std::nullopt;
  const std::int32_t dim = api.SherpaOnnxSpeakerEmbeddingExtractorDim(x.handle.get());
  const float* values = api.SherpaOnnxSpeakerEmbeddingExtractorComputeEmbedding(x.handle.get(), stream.get());
  if (values == nullptr || dim <= 0) return std::nullopt;
  Embedding out(values, values + dim);
  api.SherpaOnnxSpeakerEmbeddingExtractorDestroyEmbedding(values);
  return out;
}

}  // namespace

Embedder make_speaker_embedder(const ModelLoader& loader, const std::filesystem::path& model) {
  const SherpaApi* api = loader.api();
  if (api == nullptr) return [](std::span<const float>) { return std::optional<Embedding>(); };
  if (const Status checked = loader.validate(ModelKind::speaker, model); !checked) {
    log_line("声纹模型加载失败：" + user_message(checked.error()), "[voice]");
    return [](std::span<const float>) { return std::optional<Embedding>(); };
  }
  auto extractor = std::make_shared<Extractor>();
  extractor->api = api;
  const std::string file = path_to_utf8(model);
  SherpaOnnxSpeakerEmbeddingExtractorConfig config{};
  config.model = file.c_str();
  config.num_threads = 2;
  config.provider = "cpu";
  extractor->handle = SpeakerHandle(api->SherpaOnnxCreateSpeakerEmbeddingExtractor(&config),
                                    {api->SherpaOnnxDestroySpeakerEmbeddingExtractor});
  if (!extractor->handle) return [](std::span<const float>) { return std::optional<Embedding>(); };
  return [extractor](std::span<const float> samples) { return embed_with(*extractor, samples); };
}

}  // namespace kesu
