// The cost of the core's code around recognition. For a 20-second speech recording and the
// generated test model, times (a) the sherpa-onnx calls the work needs, made directly — voice
// activity detection, one decode per segment, punctuation — and (b) the core's segment decode
// loop doing the same work (model checks, segmentation, engine lock, hotwords, punctuation,
// text assembly), and prints both with the overhead ratio.
//
//   engine_overhead_bench [test-models-dir] [runs=30]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/wav.h"
#include "engine/engine_factory.h"
#include "config/model_files.h"
#include "pipeline/segment_decode.h"
#include "engine/sherpa_objects.h"
#include "hotwords/hotword_table.h"
#include "punct/punctuator.h"
#include "util/paths.h"

using namespace kesu;

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ms_since(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// The direct calls: returns the text so the work cannot be skipped.
std::string raw_pass(const SherpaApi& api, const SherpaOnnxOfflineRecognizer* recognizer,
                     const SherpaOnnxOfflinePunctuation* punct, const std::filesystem::path& vad_model,
                     const std::vector<float>& audio) {
  VadHandle vad = create_silero_vad(api, vad_model);
  std::string text;
  auto drain = [&] {
    while (api.SherpaOnnxVoiceActivityDetectorEmpty(vad.get()) == 0) {
      const SherpaOnnxSpeechSegment* segment = api.SherpaOnnxVoiceActivityDetectorFront(vad.get());
      api.SherpaOnnxVoiceActivityDetectorPop(vad.get());
      text += decode_offline(api, recognizer, segment->samples, static_cast<std::size_t>(segment->n));
      api.SherpaOnnxDestroySpeechSegment(segment);
    }
  };
  for (std::size_t done = 0; done < audio.size(); done += 512) {
    const std::size_t n = std::min<std::size_t>(512, audio.size() - done);
    api.SherpaOnnxVoiceActivityDetectorAcceptWaveform(vad.get(), audio.data() + done,
                                                      static_cast<int32_t>(n));
    drain();
  }
  api.SherpaOnnxVoiceActivityDetectorFlush(vad.get());
  drain();
  return add_punctuation(api, punct, text).value_or(text);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path models = path_from_utf8(argc > 1 ? argv[1] : KESU_BENCH_TEST_MODELS);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
  const std::filesystem::path work = std::filesystem::temp_directory_path() / "kesu-engine-bench";
  std::filesystem::remove_all(work);

  WavRead wav = read_wav_16k_mono(models / "speech-20s.wav");
  if (!wav.samples) {
    std::fprintf(stderr, "%s\n", wav.error ? user_message(*wav.error).c_str() : "");
    return 1;
  }
  ConfigRecord config = default_config(work);
  config.engine_num_threads = 1;
  config.models_dir = path_to_utf8(models / "sense");
  config.models_vad = path_to_utf8(models / "silero_vad.onnx");
  std::filesystem::create_directories(punct_model_path(work).parent_path());
  std::filesystem::copy_file(models / "punct" / "model.int8.onnx", punct_model_path(work));

  const ModelLoader loader = ModelLoader::for_core(work);
  if (loader.api() == nullptr) {
    std::fprintf(stderr, "%s\n", loader.api_error().c_str());
    return 1;
  }
  const SherpaApi& api = *loader.api();
  EngineCreation engine = create_engine("sense", config, loader);
  const std::shared_ptr<Punctuator> punctuator = Punctuator::create(config, loader);
  if (!engine || !punctuator->uses_model()) {
    const std::string why = engine ? std::string() : user_message(engine.error());
    std::fprintf(stderr, "models did not load: %s\n", why.c_str());
    return 1;
  }
  EngineSlot slot(*engine);
  HotwordTable hotwords;
  VadPool vad(loader);
  const DecodeTools tools{slot, vad, *punctuator, vad_model_path(config),
                          [&](std::string_view t) { return hotwords.apply(t); }, {}};

  // The direct side gets its own recogniser and punctuation model, built the same way.
  RecognizerHandle recognizer = create_sense_recognizer(api, sense_dir(config), 1);
  PunctuationHandle punct = create_punctuation(api, punct_model_path(work));

  std::vector<double> raw_ms;
  std::vector<double> loop_ms;
  std::size_t segments = 0;
  for (int i = 0; i < runs + 1; ++i) {  // the first round of each only warms up
    auto started = Clock::now();
    const std::string raw = raw_pass(api, recognizer.get(), punct.get(), vad_model_path(config),
                                     *wav.samples);
    if (i > 0) raw_ms.push_back(ms_since(started));
    started = Clock::now();
    const DecodeOutcome ours = segment_decode(*wav.samples, tools);
    if (i > 0) loop_ms.push_back(ms_since(started));
    segments = ours.segments.size();
    if (ours.text.empty() || raw.empty()) std::fprintf(stderr, "warning: empty text\n");
  }
  const double raw = median(raw_ms);
  const double loop = median(loop_ms);
  std::printf("audio: %.1f s, %zu segments, %d runs (median)\n",
              static_cast<double>(wav.samples->size()) / 16000.0, segments, runs);
  std::printf("sherpa-onnx calls alone:   %8.2f ms\n", raw);
  std::printf("segment decode loop:       %8.2f ms\n", loop);
  std::printf("overhead: %+.2f ms (%.1f%%), ratio %.3f\n", loop - raw, (loop - raw) / raw * 100.0,
              loop / raw);
  std::filesystem::remove_all(work);
  return 0;
}
