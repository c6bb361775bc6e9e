#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "util/error.h"

namespace kesu {

// Every persistent setting, as kept in config.toml. Field names follow "section_key".
struct ConfigRecord {
  std::filesystem::path core_dir;           // not written to the file
  std::optional<Error> load_warning;        // not written to the file

  std::string engine_active = "sense";
  std::int64_t engine_num_threads = 2;

  std::string models_dir;
  std::string models_vad;
  std::string models_qwen3;
  std::string models_mirror;
  std::string models_proxy;

  std::int64_t audio_min_record_ms = 400;
  std::int64_t audio_max_record_secs = 120;
  std::string audio_device;
  bool audio_pause_media = false;
  bool audio_denoise = true;
  bool audio_voice_lock = false;
  double audio_voice_lock_threshold = 0.62;
  bool audio_source_lock = false;
  bool audio_punct = true;

  std::string insert_mode = "paste";
  std::map<std::string, std::string> insert_per_app;

  bool history_enabled = true;
  std::int64_t history_limit = 200;

  bool privacy_enabled = false;

  bool polish_enabled = false;
  std::string polish_level = "off";
  std::string polish_endpoint;
  std::string polish_model = "deepseek-chat";
  std::string polish_api_key;
  std::int64_t polish_timeout_ms = 3000;

  bool lan_enabled = false;
  std::int64_t lan_port = 8765;
  std::string lan_token;
  bool lan_allow_lan = false;

  std::string diag_upload_url;

  std::string hotkey_keys = "ALT_R";

  bool ui_launch_at_login = false;
  bool ui_onboarding_done = false;
  bool ui_onboarding_probe_done = false;
  bool ui_mini_window = true;

  bool operator==(const ConfigRecord&) const = default;
};

// Folder names of the default models inside <core directory>/models.
inline constexpr const char* kSenseVoiceDirName =
    "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09";
inline constexpr const char* kVadFileName = "silero_vad.onnx";
inline constexpr const char* kQwen3DirName = "sherpa-onnx-qwen3-asr-0.6B-int8-2026-03-25";

// The defaults, with the model paths under <core_dir>/models.
ConfigRecord default_config(const std::filesystem::path& core_dir);

std::filesystem::path models_base(const std::filesystem::path& core_dir);

}  // namespace kesu
