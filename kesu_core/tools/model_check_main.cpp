// kesu-model-check KIND PATH: loads one model the way the core would and exits 0 when it works.
// The core runs this in a child process before it loads a model file for the first time,
// because sherpa-onnx ends the whole process (or throws through its C functions) on some
// malformed files; here that only ends this program.

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "engine/model_loader.h"
#include "engine/sherpa_objects.h"
#include "util/paths.h"

using namespace kesu;

namespace {

enum ExitCode { kOk = 0, kUsage = 2, kNoLibrary = 3, kCreateFailed = 4, kRunFailed = 5 };

std::vector<std::string> utf8_arguments(int argc, char** argv) {
#ifdef _WIN32
  // mingw's argv is in the ANSI code page; model paths may hold any character.
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(path_to_utf8(std::filesystem::path(wide[i])));
  LocalFree(wide);
  return out;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

int check(const SherpaApi& api, ModelKind kind, const std::filesystem::path& target) {
  const std::vector<float> silence(16000, 0.0f);
  switch (kind) {
    case ModelKind::sense:
    case ModelKind::qwen3: {
      RecognizerHandle recognizer = kind == ModelKind::sense
                                        ? create_sense_recognizer(api, target, 1)
                                        : create_qwen3_recognizer(api, target, 1);
      if (!recognizer) return kCreateFailed;
      (void)decode_offline(api, recognizer.get(), silence.data(), silence.size());
      return kOk;
    }
    case ModelKind::vad: {
      VadHandle vad = create_silero_vad(api, target);
      if (!vad) return kCreateFailed;
      api.SherpaOnnxVoiceActivityDetectorAcceptWaveform(vad.get(), silence.data(),
                                                        static_cast<int32_t>(silence.size()));
      api.SherpaOnnxVoiceActivityDetectorFlush(vad.get());
      return kOk;
    }
    case ModelKind::punct: {
      PunctuationHandle punct = create_punctuation(api, target);
      if (!punct) return kCreateFailed;
      return add_punctuation(api, punct.get(), "这是一次加载自检") ? kOk : kRunFailed;
    }
    case ModelKind::gtcrn: {
      DenoiserHandle denoiser = create_gtcrn_denoiser(api, target);
      if (!denoiser) return kCreateFailed;
      api.SherpaOnnxDestroyDenoisedAudio(api.SherpaOnnxOnlineSpeechDenoiserRun(
          denoiser.get(), silence.data(), static_cast<int32_t>(silence.size()), 16000));
      api.SherpaOnnxDestroyDenoisedAudio(api.SherpaOnnxOnlineSpeechDenoiserFlush(denoiser.get()));
      return kOk;
    }
    case ModelKind::speaker: {
      // Without its "framework" entry the extractor looks valid and crashes at the first call.
      SpeakerHandle speaker = create_speaker_extractor(api, target);
      if (!speaker) return kCreateFailed;
      return api.SherpaOnnxSpeakerEmbeddingExtractorDim(speaker.get()) > 0 ? kOk : kRunFailed;
    }
  }
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = utf8_arguments(argc, argv);
  const auto kind = args.size() == 3 ? model_kind_from_name(args[1]) : std::nullopt;
  if (!kind) {
    std::fprintf(stderr, "usage: kesu-model-check sense|qwen3|vad|punct|gtcrn|speaker PATH\n");
    return kUsage;
  }
  const SherpaLoad sherpa = load_sherpa();
  if (sherpa.api == nullptr) {
    std::fprintf(stderr, "%s\n", sherpa.error.c_str());
    return kNoLibrary;
  }
  try {
    return check(*sherpa.api, *kind, path_from_utf8(args[2]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kesu-model-check: %s\n", e.what());
    return kRunFailed;
  }
}
