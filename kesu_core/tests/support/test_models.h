#pragma once

// The generated test models (scripts/make-test-models.py, built with the tests) and the real
// Silero VAD model, found through the environment CTest sets.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "util/paths.h"

namespace kesu_test {

inline std::filesystem::path env_path(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? kesu::path_from_utf8(value) : std::filesystem::path();
}

inline std::filesystem::path test_models() { return env_path("KESU_TEST_MODELS"); }
// The real Silero model, copied beside the generated ones by the build.
inline std::filesystem::path real_vad_model() { return test_models() / "silero_vad.onnx"; }

inline std::vector<float> test_recording(const std::string& name) {
  kesu::WavRead wav = kesu::read_wav_16k_mono(test_models() / name);
  if (!wav.samples) ADD_FAILURE() << (wav.error ? kesu::user_message(*wav.error) : std::string());
  return wav.samples ? *wav.samples : std::vector<float>{};
}

inline void copy_into(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy(from, to,
                        std::filesystem::copy_options::recursive |
                            std::filesystem::copy_options::overwrite_existing);
}

inline std::string toml_path(const std::filesystem::path& p) {
  std::string s = kesu::path_to_utf8(p);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

}  // namespace kesu_test
