#include "engine/sherpa_objects.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "util/paths.h"

namespace kesu {

namespace {

constexpr const char* kProvider = "cpu";  // never left empty: some configs keep "" as is

int at_least_one(int n) { return n < 1 ? 1 : n; }

}  // namespace

RecognizerHandle create_sense_recognizer(const SherpaApi& api, const std::filesystem::path& dir,
                                         int num_threads) {
  const std::string model = path_to_utf8(dir / "model.int8.onnx");
  const std::string tokens = path_to_utf8(dir / "tokens.txt");
  SherpaOnnxOfflineRecognizerConfig config{};
  config.feat_config.sample_rate = 16000;
  config.feat_config.feature_dim = 80;
  config.model_config.sense_voice.model = model.c_str();
  config.model_config.sense_voice.language = "auto";
  config.model_config.sense_voice.use_itn = 1;
  config.model_config.tokens = tokens.c_str();
  config.model_config.num_threads = at_least_one(num_threads);
  config.model_config.provider = kProvider;
  config.decoding_method = "greedy_search";  // the only method SenseVoice accepts
  return RecognizerHandle(api.SherpaOnnxCreateOfflineRecognizer(&config),
                          {api.SherpaOnnxDestroyOfflineRecognizer});
}

RecognizerHandle create_qwen3_recognizer(const SherpaApi& api, const std::filesystem::path& dir,
                                         int num_threads) {
  const std::string conv = path_to_utf8(dir / "conv_frontend.onnx");
  const std::string encoder = path_to_utf8(dir / "encoder.int8.onnx");
  const std::string decoder = path_to_utf8(dir / "decoder.int8.onnx");
  const std::string tokenizer = path_to_utf8(dir / "tokenizer");
  SherpaOnnxOfflineRecognizerConfig config{};
  config.feat_config.sample_rate = 16000;
  config.feat_config.feature_dim = 80;  // Qwen3-ASR computes its own 128-bin features
  config.model_config.qwen3_asr.conv_frontend = conv.c_str();
  config.model_config.qwen3_asr.encoder = encoder.c_str();
  config.model_config.qwen3_asr.decoder = decoder.c_str();
  config.model_config.qwen3_asr.tokenizer = tokenizer.c_str();
  // A 30-second segment at most: 512 positions of context and 256 new tokens leave room for
  // a long Chinese sentence without letting a runaway decode go on.
  config.model_config.qwen3_asr.max_total_len = 512;
  config.model_config.qwen3_asr.max_new_tokens = 256;
  config.model_config.qwen3_asr.temperature = 1e-6f;  // greedy in effect: the same audio, the same text
  config.model_config.qwen3_asr.top_p = 0.8f;
  config.model_config.qwen3_asr.seed = 42;
  config.model_config.num_threads = at_least_one(num_threads);
  config.model_config.provider = kProvider;
  config.decoding_method = "greedy_search";
  return RecognizerHandle(api.SherpaOnnxCreateOfflineRecognizer(&config),
                          {api.SherpaOnnxDestroyOfflineRecognizer});
}

VadHandle create_silero_vad(const SherpaApi& api, const std::filesystem::path& model) {
  const std::string file = path_to_utf8(model);
  SherpaOnnxVadModelConfig config{};
  config.silero_vad.model = file.c_str();
  config.silero_vad.threshold = 0.5f;
  config.silero_vad.min_silence_duration = 0.4f;
  config.silero_vad.min_speech_duration = 0.25f;
  config.silero_vad.window_size = 512;
  config.silero_vad.max_speech_duration = 30.0f;
  config.sample_rate = kVadSampleRate;
  config.num_threads = 1;
  config.provider = kProvider;
  return VadHandle(api.SherpaOnnxCreateVoiceActivityDetector(&config, 60.0f),
                   {api.SherpaOnnxDestroyVoiceActivityDetector});
}

PunctuationHandle create_punctuation(const SherpaApi& api, const std::filesystem::path& model) {
  const std::string file = path_to_utf8(model);
  SherpaOnnxOfflinePunctuationConfig config{};
  config.model.ct_transformer = file.c_str();
  config.model.num_threads = 1;
  config.model.provider = kProvider;
  return PunctuationHandle(api.SherpaOnnxCreateOfflinePunctuation(&config),
                           {api.SherpaOnnxDestroyOfflinePunctuation});
}

DenoiserHandle create_gtcrn_denoiser(const SherpaApi& api, const std::filesystem::path& model) {
  const std::string file = path_to_utf8(model);
  SherpaOnnxOnlineSpeechDenoiserConfig config{};
  config.model.gtcrn.model = file.c_str();
  config.model.num_threads = 1;
  config.model.provider = kProvider;
  return DenoiserHandle(api.SherpaOnnxCreateOnlineSpeechDenoiser(&config),
                        {api.SherpaOnnxDestroyOnlineSpeechDenoiser});
}

SpeakerHandle create_speaker_extractor(const SherpaApi& api, const std::filesystem::path& model) {
  const std::string file = path_to_utf8(model);
  SherpaOnnxSpeakerEmbeddingExtractorConfig config{};
  config.model = file.c_str();
  config.num_threads = 1;
  config.provider = kProvider;
  return SpeakerHandle(api.SherpaOnnxCreateSpeakerEmbeddingExtractor(&config),
                       {api.SherpaOnnxDestroySpeakerEmbeddingExtractor});
}

std::string decode_offline(const SherpaApi& api, const SherpaOnnxOfflineRecognizer* recognizer,
                           const float* samples, std::size_t count) {
  std::vector<float> padded;
  if (count < kMinDecodeSamples) {
    padded.assign(samples, samples + count);
    padded.resize(kMinDecodeSamples, 0.0f);
    samples = padded.data();
    count = padded.size();
  }
  SherpaHandle<SherpaOnnxOfflineStream> stream(api.SherpaOnnxCreateOfflineStream(recognizer),
                                               {api.SherpaOnnxDestroyOfflineStream});
  if (!stream) throw std::runtime_error("识别流创建失败");
  api.SherpaOnnxAcceptWaveformOffline(stream.get(), 16000, samples, static_cast<int32_t>(count));
  api.SherpaOnnxDecodeOfflineStream(recognizer, stream.get());
  SherpaHandle<SherpaOnnxOfflineRecognizerResult> result(
      api.SherpaOnnxGetOfflineStreamResult(stream.get()),
      {api.SherpaOnnxDestroyOfflineRecognizerResult});
  if (!result || result->text == nullptr) throw std::runtime_error("识别没有结果");
  return result->text;
}

std::optional<std::string> add_punctuation(const SherpaApi& api,
                                           const SherpaOnnxOfflinePunctuation* punct,
                                           const std::string& text) {
  const char* out = api.SherpaOfflinePunctuationAddPunct(punct, text.c_str());
  if (out == nullptr) return std::nullopt;
  std::string copy = out;
  api.SherpaOfflinePunctuationFreeText(out);
  return copy;
}

}  // namespace kesu
