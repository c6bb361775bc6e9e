#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_record.h"

namespace kesu {

// Where each model lives under the configuration, and which files make it complete.
std::filesystem::path sense_dir(const ConfigRecord& config);
std::filesystem::path qwen3_dir(const ConfigRecord& config);
std::filesystem::path vad_model_path(const ConfigRecord& config);
std::filesystem::path gtcrn_model_path(const std::filesystem::path& core_dir);
std::filesystem::path punct_model_path(const std::filesystem::path& core_dir);

inline constexpr const char* kSpeakerModelFile =
    "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx";
// The enrolled voice, in the data folder itself.
inline constexpr const char* kVoicePrintFile = "voice_print.bin";

inline constexpr const char* kPunctDirName =
    "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8";

// The first missing file of a SenseVoice / Qwen3-ASR folder, as the user-facing message
// ("缺少模型文件：…", "缺少 tokens：…"), or nullopt when all are there.
std::optional<std::string> missing_sense_file(const std::filesystem::path& dir);
std::optional<std::string> missing_qwen3_file(const std::filesystem::path& dir);

// The files whose content a validation covers (the tokenizer folder by its three files).
std::vector<std::filesystem::path> sense_files(const std::filesystem::path& dir);
std::vector<std::filesystem::path> qwen3_files(const std::filesystem::path& dir);

// True for "stub" and for "sense"/"qwen3" whose files are all present; false for other names.
bool model_installed(std::string_view engine, const ConfigRecord& config);

// "SenseVoice 模型未安装：设置页可下载" / "Qwen3 模型未安装：设置页可下载" (the event text).
std::string model_missing_message(std::string_view engine);

bool is_file(const std::filesystem::path& path);

}  // namespace kesu
