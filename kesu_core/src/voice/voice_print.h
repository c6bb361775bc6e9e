#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/model_files.h"

namespace kesu {

// The enrolled speaker embedding, kept in <data directory>/voice_print.bin as compact JSON.
struct VoicePrint {
  std::string created;     // local time, "%Y-%m-%d %H:%M:%S"
  std::vector<float> vec;  // may hold NaN where the file has null
};

// The file's text: members model, dim, created, vec in that order; each float in the shortest
// form that reads back to the same value, non-finite values as null.
std::string render_voice_print(const VoicePrint& print);

// Strict: anything but exactly that form reads as no voice print.
std::optional<VoicePrint> parse_voice_print(const std::string& text);
std::optional<VoicePrint> read_voice_print(const std::filesystem::path& path);

}  // namespace kesu
