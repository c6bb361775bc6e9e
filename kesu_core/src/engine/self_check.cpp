#include "engine/self_check.h"

#include "engine/engine_factory.h"
#include "config/model_files.h"
#include "util/paths.h"

namespace kesu {

Status self_check_model(std::string_view id, const std::filesystem::path& marker,
                        const ModelLoader& loader) {
  std::error_code ec;
  if (!std::filesystem::exists(marker, ec)) {
    return Error{ErrorCode::model_marker_missing, path_to_utf8(marker)};
  }
  const std::filesystem::path dir = marker.parent_path();
  if (id == "sense" || id == "qwen3") {
    const bool sense = id == "sense";
    if (auto missing = sense ? missing_sense_file(dir) : missing_qwen3_file(dir)) {
      return Error{ErrorCode::model_files_incomplete, *missing};
    }
    if (const Result<const SherpaApi*> api = loader.require_api(); !api) return api.error();
    if (!loader.validate(sense ? ModelKind::sense : ModelKind::qwen3, dir)) {
      return Error{sense ? ErrorCode::sense_create_failed : ErrorCode::qwen3_create_failed, {}};
    }
    return {};
  }
  if (id == "punct") {
    // The checker process punctuates the sample sentence.
    if (loader.api() == nullptr || !loader.validate(ModelKind::punct, marker)) {
      return Error{ErrorCode::punct_load_failed, {}};
    }
  }
  return {};
}

Status self_check_model(std::string_view id, const std::filesystem::path& marker,
                        const std::filesystem::path& core_dir) {
  return self_check_model(id, marker, ModelLoader::for_core(core_dir));
}

}  // namespace kesu
