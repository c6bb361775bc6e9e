#include "diag/diagnose.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <system_error>

#include "audio/capture.h"
#include "config/config_rules.h"
#include "config/config_json.h"
#include "config/model_files.h"
#include "hotwords/hotword_file.h"
#include "kesu_core.h"
#include "store/history_format.h"
#include "util/paths.h"
#include "voice/voice_print.h"
#include "kesu_version.h"

namespace kesu {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* on_off(bool on) { return on ? "开" : "关"; }
const char* yes_no(bool yes) { return yes ? "true" : "false"; }

std::string devices_line(const ConfigRecord& config) {
  const json list = json::parse(list_input_devices_json(config), nullptr, false);
  std::string names;
  if (list.is_object() && list["devices"].is_array()) {
    for (const json& name : list["devices"]) {
      if (!names.empty()) names += " / ";
      names += name.get<std::string>();
    }
  }
  if (names.empty()) names = "（无）";
  const bool has_default = list.is_object() && list["default"].is_string();
  return "输入设备：" + names +
         (has_default ? "（默认：" + list["default"].get<std::string>() + "）" : "（无默认设备）");
}

std::string latency_text(const json& summary) {
  if (!summary.is_object() || summary.value("count", 0) == 0) return {};
  return std::to_string(summary["count"].get<std::uint64_t>()) + " 次，p50 " +
         std::to_string(summary["p50"].get<std::uint64_t>()) + "ms / p95 " +
         std::to_string(summary["p95"].get<std::uint64_t>()) + "ms / max " +
         std::to_string(summary["max"].get<std::uint64_t>()) + "ms";
}

std::string two_decimals(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

std::string diagnose_report(const DiagnoseInputs& in) {
  const ConfigRecord& c = *in.config;
  const ConfigReadiness ready = probe_readiness(c);
  const bool sense_ready = model_installed("sense", c);
  const bool qwen3_ready = is_file(path_from_utf8(c.models_qwen3) / "encoder.int8.onnx");
  const std::string vad = c.models_vad;

  std::string out;
  const auto line = [&out](const std::string& text) { out += text + "\n"; };
  line("Kesu core " KESU_VERSION " (ABI " + std::to_string(KESU_ABI_VERSION >> 16) + "." +
       std::to_string(KESU_ABI_VERSION & 0xFFFF) + ")");
  line("配置目录：" + path_to_utf8(in.core_dir));
  line("引擎：" + c.engine_active + "（SenseVoice 就绪=" + yes_no(sense_ready) + " / Qwen3 就绪=" +
       yes_no(qwen3_ready) + "）");
  line("VAD：" + vad + " (" + (is_file(path_from_utf8(vad)) ? "有" : "缺失") + ")");
  line(devices_line(c));
  if (const std::string device = trim(c.audio_device); !device.empty()) line("已指定设备：" + c.audio_device);

  const json& stats = in.history_stats;
  const bool history_on = stats.value("history_enabled", false);
  line("历史：" + std::to_string(stats.value("history_count", std::uint64_t{0})) + " 条（" +
       (history_on ? "开启" : "已关闭") + "）");

  const Profile& profile = in.active_profile;
  line("润色档：" + profile.name + "（" + profile.level + "，" +
       (profile.slot.empty() ? std::string("未绑快捷键") : profile.slot) + "）共 " +
       std::to_string(in.profile_count) + " 档");
  line("热词：" + std::to_string(in.hotword_count) + " 条（" +
       path_to_utf8(hotwords_path(in.core_dir)) + "）");
  line("最短录音：" + std::to_string(c.audio_min_record_ms) + "ms；会话上限：" +
       std::to_string(c.audio_max_record_secs) + "s");
  const char* denoise = !c.audio_denoise       ? "关"
                        : ready.denoise_ready ? "开（GTCRN）"
                                              : "开（但模型没装，实际不降噪）";
  line("上屏方式：" + c.insert_mode + "（按应用覆盖 " + std::to_string(c.insert_per_app.size()) +
       " 条）；隐私模式：" + on_off(c.privacy_enabled) + "；降噪：" + denoise + "；暂停播放：" +
       on_off(c.audio_pause_media));
  line("快捷键：" + c.hotkey_keys);

  const std::optional<VoicePrint> print = read_voice_print(in.core_dir / kVoicePrintFile);
  const std::string enrolled = print ? "已注册 " + std::to_string(print->vec.size()) + " 维，" + print->created
                                     : std::string("未注册声纹");
  line(std::string("只录我的声音：") + on_off(c.audio_voice_lock) + "（" + enrolled + "；阈值 " +
       two_decimals(c.audio_voice_lock_threshold) + "）");
  const fs::path punct = punct_model_path(c.core_dir);
  line(std::string("标点模型：") + on_off(c.audio_punct) +
       (is_file(punct) ? "（已装 " + path_to_utf8(punct) + "，补逗号/句号）" : "（未装，只在句末补「。」）"));
  if (const std::string latency = latency_text(stats.value("latency", json())); !latency.empty()) {
    line("最近延迟：" + latency);
  }
  if (c.load_warning) line("上次加载提示：" + user_message(*c.load_warning));
  return out;
}

}  // namespace kesu
