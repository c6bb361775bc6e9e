#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sherpa/sherpa_library.h"
#include "util/error.h"

namespace kesu {

enum class ModelKind { sense, qwen3, vad, punct, gtcrn, speaker };

std::string_view model_kind_name(ModelKind kind);
std::optional<ModelKind> model_kind_from_name(std::string_view name);

// The run-time side of every model load: the sherpa-onnx functions (absent when the library is
// missing) and the check that a model's files passed a load in an isolated child process before
// they are loaded here. Cheap to copy.
class ModelLoader {
 public:
  ModelLoader(SherpaLoad sherpa, std::filesystem::path core_dir, std::filesystem::path checker);
  // The library from sherpa_library_dir(), the checker program beside the core library.
  static ModelLoader for_core(const std::filesystem::path& core_dir);

  const SherpaApi* api() const { return sherpa_.api; }
  const std::string& api_error() const { return sherpa_.error; }

  // The library's functions, or why it could not be loaded.
  Result<const SherpaApi*> require_api() const;

  // Success when `target` (a folder for sense/qwen3, else the model file) may be loaded in this
  // process: its files match a recorded successful validation, or the checker program loaded
  // it now (the result is then recorded in models/.validated.json). Otherwise why not.
  Status validate(ModelKind kind, const std::filesystem::path& target) const;

 private:
  SherpaLoad sherpa_;
  std::filesystem::path core_dir_;
  std::filesystem::path checker_;
};

// File name of the checker program shipped beside the core library.
const char* model_checker_file_name();

}  // namespace kesu
