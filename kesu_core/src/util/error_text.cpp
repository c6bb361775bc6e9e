#include "util/error.h"

namespace kesu {

// Every failure sentence of the core is composed here, from the code and its detail. No default
// branch: a new code without its sentence does not build.
std::string user_message(const Error& error) {
  switch (error.code) {
    // Storage and settings.

    // Recognition, dictation and the LAN service.
    case ErrorCode::sherpa_unavailable:      // the library loader's own sentence
    case ErrorCode::model_files_incomplete:  // names the missing file
      return error.detail;
    case ErrorCode::engine_unknown:
      return "未知引擎：" + error.detail + "（可选 sense|qwen3|stub）";
    case ErrorCode::sense_model_missing:
      return "SenseVoice 模型未安装：" + error.detail;
    case ErrorCode::qwen3_model_missing:
      return "Qwen3 模型未安装：" + error.detail;
    case ErrorCode::sense_create_failed:
      return "OfflineRecognizer::create 失败（模型损坏或内存不足）";
    case ErrorCode::qwen3_create_failed:
      return "Qwen3 recognizer 创建失败（模型损坏或内存不足）";
    case ErrorCode::model_unreadable:
      return "读不到模型文件：" + error.detail;
    case ErrorCode::model_checker_missing:
      return "找不到模型检查程序：" + error.detail;
    case ErrorCode::model_check_start_failed:
      return "启动检查进程失败：" + error.detail;
    case ErrorCode::model_check_timed_out:
      return "检查进程超时";
    case ErrorCode::model_check_signalled:
      return "检查进程被信号 " + error.detail + " 结束";
    case ErrorCode::model_check_exit_code:
      return "检查进程退出码 " + error.detail;
    case ErrorCode::vad_model_missing:
      return "缺少 VAD 模型：" + error.detail;
    case ErrorCode::vad_create_failed:
      return "VAD 创建失败（模型损坏？）";
    case ErrorCode::model_marker_missing:
      return "解包后没找到 " + error.detail;
    case ErrorCode::punct_load_failed:
      return "标点模型加载失败";
    case ErrorCode::audio_too_long:
      return "音频太长";
    case ErrorCode::recognition_failed:  // the engine's own words when it gave any
      return error.detail.empty() ? "识别时出错" : error.detail;
    case ErrorCode::no_engine:
      return "没有可用的识别引擎";
    case ErrorCode::no_audio:
      return "没有录到音频";
    case ErrorCode::injected_fault:
      return "故障注入：模拟这一段识别失败";
    case ErrorCode::core_closing:
      return "Kesu 正在退出";
    case ErrorCode::pending_wav_unreadable:  // the WAV reader's sentence follows
      return "读取 WAV 失败：" + error.detail;
    case ErrorCode::pending_wav_rate:
      return "暂存音频采样率 " + error.detail + " 不是 16000";
    case ErrorCode::last_result_write_failed:
      return "暂存结果写入失败：" + error.detail;

    case ErrorCode::other:
      return error.detail;
  }
  return error.detail;
}

}  // namespace kesu
