#pragma once

#include <filesystem>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "sherpa/sherpa_library.h"

namespace kesu {

// Owns one sherpa-onnx object and destroys it with the library's own function.
template <class T>
struct SherpaDeleter {
  void (*destroy)(const T*) = nullptr;
  void operator()(const T* p) const {
    if (p != nullptr && destroy != nullptr) destroy(p);
  }
};
template <class T>
using SherpaHandle = std::unique_ptr<const T, SherpaDeleter<T>>;

using RecognizerHandle = SherpaHandle<SherpaOnnxOfflineRecognizer>;
using VadHandle = SherpaHandle<SherpaOnnxVoiceActivityDetector>;
using PunctuationHandle = SherpaHandle<SherpaOnnxOfflinePunctuation>;
using DenoiserHandle = SherpaHandle<SherpaOnnxOnlineSpeechDenoiser>;
using SpeakerHandle = SherpaHandle<SherpaOnnxSpeakerEmbeddingExtractor>;

// The raw creation calls with the settings the product uses. They check nothing about the
// files: a model that has not passed validation in a child process must never reach them
// in the core's own process (sherpa-onnx can end the process on a malformed file).
RecognizerHandle create_sense_recognizer(const SherpaApi& api, const std::filesystem::path& dir,
                                         int num_threads);
RecognizerHandle create_qwen3_recognizer(const SherpaApi& api, const std::filesystem::path& dir,
                                         int num_threads);
VadHandle create_silero_vad(const SherpaApi& api, const std::filesystem::path& model);
PunctuationHandle create_punctuation(const SherpaApi& api, const std::filesystem::path& model);
DenoiserHandle create_gtcrn_denoiser(const SherpaApi& api, const std::filesystem::path& model);
SpeakerHandle create_speaker_extractor(const SherpaApi& api, const std::filesystem::path& model);

// Recognises one stretch of 16 kHz audio; throws std::runtime_error when sherpa-onnx gives no
// result.
std::string decode_offline(const SherpaApi& api, const SherpaOnnxOfflineRecognizer* recognizer,
                           const float* samples, std::size_t count);

// Punctuates `text`; nullopt when the library returns nothing.
std::optional<std::string> add_punctuation(const SherpaApi& api,
                                           const SherpaOnnxOfflinePunctuation* punct,
                                           const std::string& text);

// Silero settings: threshold 0.5, 0.4 s minimum silence, 0.25 s minimum speech, 512-sample
// window, 30 s maximum speech, 16 kHz, one thread, a 60-second buffer.
inline constexpr int kVadSampleRate = 16000;

// SenseVoice reads past its buffer for clips of 560–1359 samples: shorter pieces are padded.
inline constexpr std::size_t kMinDecodeSamples = 1360;

}  // namespace kesu
