#include "config/model_files.h"

#include "util/paths.h"

namespace kesu {

bool is_file(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

namespace {

bool is_dir(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string missing_file(const std::filesystem::path& path) {
  return "缺少模型文件：" + path_to_utf8(path);
}

}  // namespace

std::filesystem::path sense_dir(const ConfigRecord& config) {
  return path_from_utf8(config.models_dir);
}
std::filesystem::path qwen3_dir(const ConfigRecord& config) {
  return path_from_utf8(config.models_qwen3);
}
std::filesystem::path vad_model_path(const ConfigRecord& config) {
  return path_from_utf8(config.models_vad);
}
std::filesystem::path gtcrn_model_path(const std::filesystem::path& core_dir) {
  return models_base(core_dir) / "gtcrn_simple.onnx";
}
std::filesystem::path punct_model_path(const std::filesystem::path& core_dir) {
  return models_base(core_dir) / kPunctDirName / "model.int8.onnx";
}

std::optional<std::string> missing_sense_file(const std::filesystem::path& dir) {
  if (!is_file(dir / "model.int8.onnx")) return missing_file(dir / "model.int8.onnx");
  if (!is_file(dir / "tokens.txt")) return "缺少 tokens：" + path_to_utf8(dir / "tokens.txt");
  return std::nullopt;
}

std::optional<std::string> missing_qwen3_file(const std::filesystem::path& dir) {
  for (const char* name : {"conv_frontend.onnx", "encoder.int8.onnx", "decoder.int8.onnx"}) {
    if (!is_file(dir / name)) return missing_file(dir / name);
  }
  const std::filesystem::path tokenizer = dir / "tokenizer";
  if (!is_dir(tokenizer)) return "缺少模型文件：tokenizer 目录";
  for (const char* name : {"vocab.json", "merges.txt", "tokenizer_config.json"}) {
    if (!is_file(tokenizer / name)) return missing_file(tokenizer / name);
  }
  return std::nullopt;
}

std::vector<std::filesystem::path> sense_files(const std::filesystem::path& dir) {
  return {dir / "model.int8.onnx", dir / "tokens.txt"};
}

std::vector<std::filesystem::path> qwen3_files(const std::filesystem::path& dir) {
  const std::filesystem::path tokenizer = dir / "tokenizer";
  return {dir / "conv_frontend.onnx",      dir / "encoder.int8.onnx",
          dir / "decoder.int8.onnx",       tokenizer / "vocab.json",
          tokenizer / "merges.txt",        tokenizer / "tokenizer_config.json"};
}

bool model_installed(std::string_view engine, const ConfigRecord& config) {
  if (engine == "stub") return true;
  if (engine == "sense") return !missing_sense_file(sense_dir(config));
  if (engine == "qwen3") return !missing_qwen3_file(qwen3_dir(config));
  return false;
}

std::string model_missing_message(std::string_view engine) {
  return engine == "qwen3" ? "Qwen3 模型未安装：设置页可下载" : "SenseVoice 模型未安装：设置页可下载";
}

}  // namespace kesu
