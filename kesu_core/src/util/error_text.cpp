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
    case ErrorCode::pending_wav_rate:
      return "暂存音频采样率 " + error.detail + " 不是 16000";
    case ErrorCode::last_result_write_failed:
      return "暂存结果写入失败：" + error.detail;
    case ErrorCode::wav_too_short:
      return "文件太短，不是完整的 WAV";
    case ErrorCode::wav_not_riff:
      return "不是 RIFF/WAVE 文件";
    case ErrorCode::wav_fmt_incomplete:
      return "fmt 块不完整";
    case ErrorCode::wav_fmt_ext_incomplete:
      return "扩展 fmt 块不完整";
    case ErrorCode::wav_no_fmt:
      return "缺少 fmt 块";
    case ErrorCode::wav_no_data:
      return "缺少 data 块";
    case ErrorCode::wav_encoding:
      return "不支持的编码格式 " + error.detail + "（只支持 PCM 和浮点）";
    case ErrorCode::wav_bits:
      return "不支持的位深 " + error.detail;
    case ErrorCode::wav_no_channels:
      return "声道数为 0";
    case ErrorCode::wav_rate:
      return "采样率 " + error.detail + " 不合理";
    case ErrorCode::wav_block_align:
      return "块对齐与声道数、位深不符";
    case ErrorCode::wav_file_error:  // "{path}：{the system's reason}"
      return error.detail;
    case ErrorCode::wav_file_too_big:
      return "文件太大（超过 1 GB）";
    case ErrorCode::wav_open_failed:
      return "无法打开 " + error.detail;
    case ErrorCode::wav_read_failed:
      return "读取文件出错";
    case ErrorCode::resampler_failed:
      return "重采样器创建失败";
    case ErrorCode::wav_unreadable:  // the detail is the reason's own sentence
      return "读取 WAV 失败：" + error.detail;
    case ErrorCode::wav_dir_failed:
      return "建目录失败：" + error.detail;
    case ErrorCode::wav_write_failed:
      return "写 WAV 失败：" + error.detail;
    case ErrorCode::mic_list_failed:  // PortAudio's reason
      return "枚举输入设备失败：" + error.detail;
    case ErrorCode::mic_none:
      return "没有可用的麦克风（检查系统设置 → 声音 → 输入）";
    case ErrorCode::mic_device_missing: {
      // The detail is the device name, a line break, then the devices present.
      const std::size_t cut = error.detail.find('\n');
      const std::string name = error.detail.substr(0, cut);
      const std::string present = cut == std::string::npos ? "" : error.detail.substr(cut + 1);
      return "找不到输入设备「" + name + "」：可能已断开。可用设备：" + present +
             "。在设置 → 音频 里改回系统默认即可";
    }
    case ErrorCode::mic_rate_unknown:
      return "读取麦克风默认格式失败：采样率未知";
    case ErrorCode::mic_format_unsupported:
      return "不支持的麦克风采样格式：float32 和 int16 都打不开";
    case ErrorCode::mic_open_failed:
      return "打开麦克风流失败：" + error.detail;
    case ErrorCode::mic_start_failed:
      return "启动麦克风失败：" + error.detail;
    case ErrorCode::mic_stream_ended:
      return "输入流意外结束";
    case ErrorCode::mic_never_sent:
      return "麦克风一直没有送来声音";
    case ErrorCode::mic_stalled:
      return "麦克风停止送来声音";
    case ErrorCode::mic_unplug_simulated:
      return "模拟拔掉";
    case ErrorCode::denoiser_create_failed:
      return "降噪模型创建失败（模型损坏？）";
    case ErrorCode::denoiser_rate:
      return "降噪模型不是 16 kHz 的";
    case ErrorCode::socket_error:  // the system's reason
      return error.detail;
    case ErrorCode::lan_listen_failed: {
      // The detail is host:port, a line break, then the system's reason.
      const std::size_t cut = error.detail.find('\n');
      const std::string reason = cut == std::string::npos ? "" : error.detail.substr(cut + 1);
      return "监听 " + error.detail.substr(0, cut) + " 失败：" + reason;
    }
    case ErrorCode::lan_port_failed:
      return "取端口失败：" + error.detail;
    case ErrorCode::lan_thread_failed:
      return "起监听线程失败：" + error.detail;
    case ErrorCode::lan_no_token:
      return "局域网接口开了「允许其它设备访问」，但没设 token：为了安全没有启动。请在设置 → "
             "音频里设一个 token（或关掉「允许局域网」只给本机用）。";
    case ErrorCode::lan_failed:  // the detail is the cause's own sentence
      return "局域网听写接口起不来：" + error.detail;

    case ErrorCode::other:
      return error.detail;
  }
  return error.detail;
}

}  // namespace kesu
