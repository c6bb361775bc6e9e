#include "models/models_list.h"

#include <system_error>

#include "models/catalog.h"
#include "models/download.h"
#include "util/paths.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

// A recogniser's key file in its configured folder; an empty setting names no folder at all
// (not the working directory).
bool key_file_present(const fs::path& dir, const char* file) {
  return !dir.empty() && present(dir / file);
}

nlohmann::json entry(const char* id, const char* name, bool engine, bool installed, bool active,
                     std::uint64_t size_bytes, std::uint32_t approx_mb, const char* note) {
  return {{"id", id},
          {"name", name},
          {"engine", engine},
          {"installed", installed},
          {"active", active},
          {"size_bytes", size_bytes},
          {"approx_mb", approx_mb},
          {"note", note}};
}

}  // namespace

std::uint64_t directory_size(const fs::path& dir) {
  if (dir.empty()) return 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return 0;
  std::uint64_t total = 0;
  for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    // symlink_status: a link is counted as neither a file nor a directory to descend into.
    const fs::file_status status = it->symlink_status(ec);
    if (ec) continue;
    if (fs::is_regular_file(status)) {
      const std::uintmax_t size = it->file_size(ec);
      if (!ec) total += size;
    }
  }
  return total;
}

nlohmann::json models_list(const ConfigRecord& config) {
  const fs::path base = models_base(config.core_dir);
  const fs::path sense_dir = path_from_utf8(config.models_dir);
  const fs::path qwen3_dir = path_from_utf8(config.models_qwen3);
  const CatalogRow& punct = *find_catalog_row("punct");
  const CatalogRow& gtcrn = *find_catalog_row("gtcrn");
  const CatalogRow& speaker = *find_catalog_row("speaker");
  const fs::path punct_dir = model_own_directory(base, punct).value_or(base);

  nlohmann::json list = nlohmann::json::array();
  list.push_back(entry("sense", "SenseVoice Small（默认·快）", true,
                       key_file_present(sense_dir, "model.int8.onnx"),
                       config.engine_active == "sense", directory_size(sense_dir), 233,
                       "中英日韩粤；峰值内存 ~600MB；11s 音频 ~200ms"));
  list.push_back(entry("qwen3", "Qwen3-ASR 0.6B（精度档·慢）", true,
                       key_file_present(qwen3_dir, "encoder.int8.onnx"),
                       config.engine_active == "qwen3", directory_size(qwen3_dir), 879,
                       "中英混合短句更准；峰值内存 ~1.6GB；单段上限 30s；11s 音频 ~2.4s"));
  list.push_back(entry("punct", "标点模型（句末补逗号/句号）", false,
                       present(marker_path(base, punct)), config.audio_punct,
                       directory_size(punct_dir), 65, "装了才有真标点；没装只在句末补句号"));
  list.push_back(entry("gtcrn", "降噪模型（背景降噪用）", false, present(marker_path(base, gtcrn)),
                       config.audio_denoise, 0, 1, "1MB；开了背景降噪才需要"));
  list.push_back(entry("speaker", "声纹模型（只录我的声音）", false,
                       present(marker_path(base, speaker)), config.audio_voice_lock, 0, 39,
                       "录过声纹才需要"));
  list.push_back(entry("stub", "Stub（自测用，不识别）", true, true, config.engine_active == "stub",
                       0, 0, "只验证链路，不接模型"));
  return list;
}

}  // namespace kesu
