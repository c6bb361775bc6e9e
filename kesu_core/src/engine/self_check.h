#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/model_loader.h"
#include "util/error.h"

namespace kesu {

// The load check after a model was installed. `id` is a catalog id ("sense", "qwen3", "punct",
// "speaker", "gtcrn", "vad"), `marker` the installed marker file. Succeeds when the model is
// usable; otherwise:
// - the marker must exist ("解包后没找到 {marker}");
// - "sense"/"qwen3": the folder must hold every file and the recogniser is built once, in the
//   isolated checker process, failing with the engine's own messages;
// - "punct": the model must load and punctuate "这是一次加载自检" ("标点模型加载失败");
// - the other models have no load check.
// A model that passes is recorded as validated, so the core later loads it without a new check.
Status self_check_model(std::string_view id, const std::filesystem::path& marker,
                        const ModelLoader& loader);

// The same with the loader of the core whose directory is `core_dir`.
Status self_check_model(std::string_view id, const std::filesystem::path& marker,
                        const std::filesystem::path& core_dir);

}  // namespace kesu
