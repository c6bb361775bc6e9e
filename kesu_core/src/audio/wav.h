#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/error.h"

namespace kesu {

inline constexpr int kSampleRate = 16000;

// A decoded WAV file before conversion: interleaved samples as floats in -1..1.
struct WavData {
  std::uint32_t sample_rate = 0;
  std::uint16_t channels = 0;
  std::vector<float> interleaved;
};

struct WavParse {
  std::optional<WavData> data;
  std::optional<Error> error;  // the precise reason when data is empty
};

// Parses a RIFF/WAVE image: PCM 8/16/24/32-bit, IEEE float 32/64-bit, plain or extensible
// headers, any channel count and rate. Never reads outside `bytes`.
WavParse parse_wav(std::span<const std::uint8_t> bytes);

// The length of a WAV image's audio in samples once brought to 16 kHz, from its header alone,
// before anything is decoded or allocated. nullopt when the header does not say (parse_wav then
// explains what is wrong).
std::optional<std::uint64_t> wav_samples_at_16k(std::span<const std::uint8_t> bytes);

// Averages interleaved channels into one.
std::vector<float> mix_to_mono(const std::vector<float>& interleaved, unsigned channels);

struct WavRead {
  std::optional<std::vector<float>> samples;  // 16 kHz mono
  std::optional<Error> error;                 // wav_unreadable: "读取 WAV 失败：…"
};

// Reads a WAV file and brings it to 16 kHz mono.
WavRead read_wav_16k_mono(const std::filesystem::path& path);
// The same for a WAV image already in memory.
WavRead decode_wav_16k_mono(std::span<const std::uint8_t> bytes);

// Writes 16-bit PCM mono 16 kHz, creating the parent directory.
Status write_wav_16k_mono(const std::filesystem::path& path, std::span<const float> samples);

// The bytes of such a file (also used for in-memory uploads and tests).
std::string encode_wav_16k_mono(std::span<const float> samples);

}  // namespace kesu
