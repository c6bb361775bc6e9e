#include "models/catalog.h"

#include <array>
#include <cstdlib>

#include "util/utf8.h"

namespace kesu {

namespace {

constexpr const char* kOfficialReleaseBase =
    "https://github.com/k2-fsa/sherpa-onnx/releases/download";
constexpr const char* kReleaseBaseVariable = "KESU_MODEL_RELEASE_BASE";

constexpr std::array<CatalogRow, 6> kCatalog{{
    {"sense", "asr-models", "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09.tar.bz2",
     "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09/model.int8.onnx", 233, true},
    {"qwen3", "asr-models", "sherpa-onnx-qwen3-asr-0.6B-int8-2026-03-25.tar.bz2",
     "sherpa-onnx-qwen3-asr-0.6B-int8-2026-03-25/encoder.int8.onnx", 879, true},
    {"speaker", "speaker-recongition-models",
     "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx",
     "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx", 39, false},
    {"punct", "punctuation-models",
     "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8.tar.bz2",
     "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8/model.int8.onnx", 65,
     true},
    {"gtcrn", "speech-enhancement-models", "gtcrn_simple.onnx", "gtcrn_simple.onnx", 1, false},
    {"vad", "asr-models", "silero_vad.onnx", "silero_vad.onnx", 1, false},
}};

}  // namespace

std::span<const CatalogRow> download_catalog() { return kCatalog; }

const CatalogRow* find_catalog_row(std::string_view id) {
  for (const CatalogRow& row : kCatalog) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

std::string release_base() {
  const char* custom = std::getenv(kReleaseBaseVariable);
  if (custom != nullptr) {
    std::string base = trim_unicode(custom);
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (!base.empty()) return base;
  }
  return kOfficialReleaseBase;
}

std::string official_url(const CatalogRow& row) {
  std::string url = release_base();
  url += '/';
  url += row.release_tag;
  url += '/';
  url += row.file_name;
  return url;
}

}  // namespace kesu
