#include "config/config_record.h"

#include "util/paths.h"

namespace kesu {

namespace {
// Service addresses chosen for this build. An empty mirror means the official release
// downloads; an empty upload address means diagnostics are only exported locally.
constexpr const char* kDefaultMirror = "";
constexpr const char* kDefaultPolishEndpoint = "https://api.deepseek.com/v1";
constexpr const char* kDefaultUploadUrl = "";
}  // namespace

std::filesystem::path models_base(const std::filesystem::path& core_dir) {
  return core_dir / "models";
}

ConfigRecord default_config(const std::filesystem::path& core_dir) {
  ConfigRecord record;
  record.core_dir = core_dir;
  const std::filesystem::path base = models_base(core_dir);
  record.models_dir = path_to_utf8(base / kSenseVoiceDirName);
  record.models_vad = path_to_utf8(base / kVadFileName);
  record.models_qwen3 = path_to_utf8(base / kQwen3DirName);
  record.models_mirror = kDefaultMirror;
  record.polish_endpoint = kDefaultPolishEndpoint;
  record.diag_upload_url = kDefaultUploadUrl;
  return record;
}

}  // namespace kesu
