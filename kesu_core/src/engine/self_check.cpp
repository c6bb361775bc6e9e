#include "engine/self_check.h"

#include "engine/engine_factory.h"
#include "config/model_files.h"
#include "util/paths.h"

namespace kesu {

std::optional<std::string> self_check_model(std::string_view id,
                                            const std::filesystem::path& marker,
                                            const ModelLoader& loader) {
  std::error_code ec;
  if (!std::filesystem::exists(marker, ec)) return "解包后没找到 " + path_to_utf8(marker);
  const std::filesystem::path dir = marker.parent_path();
  if (id == "sense" || id == "qwen3") {
    const bool sense = id == "sense";
    if (auto missing = sense ? missing_sense_file(dir) : missing_qwen3_file(dir)) return missing;
    if (loader.api() == nullptr) return loader.api_error();
    if (loader.validate(sense ? ModelKind::sense : ModelKind::qwen3, dir)) {
      return std::string(sense ? kSenseCreateFailed : kQwen3CreateFailed);
    }
    return std::nullopt;
  }
  if (id == "punct") {
    // The checker process punctuates the sample sentence.
    if (loader.api() == nullptr || loader.validate(ModelKind::punct, marker)) {
      return "标点模型加载失败";
    }
  }
  return std::nullopt;
}

std::optional<std::string> self_check_model(std::string_view id,
                                            const std::filesystem::path& marker,
                                            const std::filesystem::path& core_dir) {
  return self_check_model(id, marker, ModelLoader::for_core(core_dir));
}

}  // namespace kesu
