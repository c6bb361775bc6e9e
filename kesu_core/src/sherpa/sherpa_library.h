#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "sherpa/sherpa_c_api.h"

namespace kesu {

// The sherpa-onnx functions the core calls, resolved by name from the library opened at run
// time. A library missing any of them is not used at all.
#define KESU_SHERPA_FUNCTIONS(X)                  \
  X(SherpaOnnxGetVersionStr)                      \
  X(SherpaOnnxCreateOfflineRecognizer)            \
  X(SherpaOnnxDestroyOfflineRecognizer)           \
  X(SherpaOnnxCreateOfflineStream)                \
  X(SherpaOnnxDestroyOfflineStream)               \
  X(SherpaOnnxAcceptWaveformOffline)              \
  X(SherpaOnnxDecodeOfflineStream)                \
  X(SherpaOnnxGetOfflineStreamResult)             \
  X(SherpaOnnxDestroyOfflineRecognizerResult)     \
  X(SherpaOnnxCreateVoiceActivityDetector)        \
  X(SherpaOnnxDestroyVoiceActivityDetector)       \
  X(SherpaOnnxVoiceActivityDetectorAcceptWaveform) \
  X(SherpaOnnxVoiceActivityDetectorEmpty)         \
  X(SherpaOnnxVoiceActivityDetectorFront)         \
  X(SherpaOnnxVoiceActivityDetectorPop)           \
  X(SherpaOnnxVoiceActivityDetectorFlush)         \
  X(SherpaOnnxVoiceActivityDetectorReset)         \
  X(SherpaOnnxDestroySpeechSegment)               \
  X(SherpaOnnxCreateOnlineSpeechDenoiser)         \
  X(SherpaOnnxDestroyOnlineSpeechDenoiser)        \
  X(SherpaOnnxOnlineSpeechDenoiserGetSampleRate)  \
  X(SherpaOnnxOnlineSpeechDenoiserRun)            \
  X(SherpaOnnxOnlineSpeechDenoiserFlush)          \
  X(SherpaOnnxDestroyDenoisedAudio)               \
  X(SherpaOnnxCreateLinearResampler)              \
  X(SherpaOnnxLinearResamplerResample)            \
  X(SherpaOnnxLinearResamplerResampleFree)        \
  X(SherpaOnnxLinearResamplerReset)               \
  X(SherpaOnnxDestroyLinearResampler)             \
  X(SherpaOnnxCreateOfflinePunctuation)           \
  X(SherpaOnnxDestroyOfflinePunctuation)          \
  X(SherpaOfflinePunctuationAddPunct)             \
  X(SherpaOfflinePunctuationFreeText)             \
  X(SherpaOnnxCreateSpeakerEmbeddingExtractor)    \
  X(SherpaOnnxDestroySpeakerEmbeddingExtractor)   \
  X(SherpaOnnxSpeakerEmbeddingExtractorDim)       \
  X(SherpaOnnxSpeakerEmbeddingExtractorCreateStream) \
  X(SherpaOnnxOnlineStreamAcceptWaveform)         \
  X(SherpaOnnxOnlineStreamInputFinished)          \
  X(SherpaOnnxSpeakerEmbeddingExtractorIsReady)   \
  X(SherpaOnnxSpeakerEmbeddingExtractorComputeEmbedding) \
  X(SherpaOnnxSpeakerEmbeddingExtractorDestroyEmbedding) \
  X(SherpaOnnxDestroyOnlineStream)

struct SherpaApi {
#define KESU_SHERPA_MEMBER(name) decltype(&::name) name = nullptr;
  KESU_SHERPA_FUNCTIONS(KESU_SHERPA_MEMBER)
#undef KESU_SHERPA_MEMBER
};

// The library's file name on this platform.
const char* sherpa_library_file_name();

// Where the core looks for sherpa-onnx: the folder in KESU_SHERPA_DIR when set (development
// and tests), else the folder of the core library itself.
std::filesystem::path sherpa_library_dir();

struct SherpaLoad {
  const SherpaApi* api = nullptr;  // valid for the life of the process
  std::string error;               // why api is null
};

// Opens (once per folder, kept open for the life of the process: onnxruntime does not survive
// being unloaded and reloaded) the library in `dir` and resolves every function.
SherpaLoad load_sherpa(const std::filesystem::path& dir);

// load_sherpa(sherpa_library_dir()).
SherpaLoad load_sherpa();

}  // namespace kesu
