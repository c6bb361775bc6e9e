#include "util/error.h"

#include "util/file_backup.h"

namespace kesu {

namespace {

// Where the n-th part of a detail made by detail_parts begins; npos when there are fewer.
std::size_t part_start(const Error& error, std::size_t n) {
  std::size_t begin = 0;
  for (; n > 0 && begin != std::string::npos; --n) {
    begin = error.detail.find('\n', begin);
    if (begin != std::string::npos) ++begin;
  }
  return begin;
}

// The n-th part; empty when there are fewer.
std::string part(const Error& error, std::size_t n) {
  const std::size_t begin = part_start(error, n);
  if (begin == std::string::npos) return {};
  return error.detail.substr(begin, error.detail.find('\n', begin) - begin);
}

// Everything from the n-th part on: the last part may be free text with line breaks of its own.
std::string rest(const Error& error, std::size_t n) {
  const std::size_t begin = part_start(error, n);
  return begin == std::string::npos ? std::string() : error.detail.substr(begin);
}

}  // namespace

// Every failure sentence of the core is composed here, from the code and its detail. No default
// branch: a new code without its sentence does not build.
std::string user_message(const Error& error) {
  switch (error.code) {
    // Storage and settings.
    case ErrorCode::file_write_failed:
    case ErrorCode::file_mode_failed:
    case ErrorCode::file_replace_failed:
    case ErrorCode::child_start_failed:
    case ErrorCode::child_wait_failed:
      return error.detail;
    case ErrorCode::backups_full:
      return "已有 " + std::to_string(kMaxBackups) + " 份备份，请先清理 " + error.detail +
             " 等旧备份";
    case ErrorCode::no_program:
      return "没有要运行的程序";
    case ErrorCode::config_unreadable:
      return "读取 config.toml 失败（已用默认值）：" + error.detail;
    case ErrorCode::config_is_directory:
      return "读取 config.toml 失败（已用默认值）：config.toml 是一个目录";
    case ErrorCode::config_open_failed:
      return "读取 config.toml 失败（已用默认值）：无法打开文件";
    case ErrorCode::config_read_failed:
      return "读取 config.toml 失败（已用默认值）：读取出错";
    case ErrorCode::config_parse_failed:
      return "config.toml 解析失败（已用默认值）：" + error.detail;
    case ErrorCode::config_parse_failed_backed_up:
      return "config.toml 解析失败（已用默认值）：" + rest(error, 1) + "。原文件备份在 " +
             part(error, 0);
    case ErrorCode::config_adjusted:
      return "config.toml 里有值不合规定，已按规则调整：" + error.detail;
    case ErrorCode::config_patch_adjusted:
      return "配置里有值不合规定，已按规则调整：" + error.detail;
    case ErrorCode::config_default_unwritable:
      return "无法写入默认 config.toml：" + error.detail;
    case ErrorCode::config_dir_failed:
      return "创建配置目录失败：" + error.detail;
    case ErrorCode::config_write_failed:
      return "写配置失败：" + error.detail;
    case ErrorCode::config_replace_failed:
      return "替换配置失败：" + error.detail;
    case ErrorCode::toml_syntax:
      return error.detail;
    case ErrorCode::config_section_not_table:
      return "[" + error.detail + "] 应该是一个表";
    case ErrorCode::config_expects_text:
      return error.detail + " 应该是字符串";
    case ErrorCode::config_expects_flag:
      return error.detail + " 应该是true 或 false";
    case ErrorCode::config_expects_count:
      return error.detail + " 应该是非负整数";
    case ErrorCode::config_expects_number:
      return error.detail + " 应该是数字";
    case ErrorCode::config_expects_app_map:
      return error.detail + " 应该是表（应用名 = 方式）";
    case ErrorCode::config_json_invalid:
      return "配置不是合法的 JSON：" + error.detail;
    case ErrorCode::config_json_not_object:
      return "配置必须是一个 JSON 对象";
    case ErrorCode::config_text_invalid:
      return "配置解析失败：" + error.detail;
    case ErrorCode::config_engine_unknown:
      return "engine 只能是 sense/qwen3/stub，收到「" + error.detail + "」";
    case ErrorCode::engine_active_unknown:
      return "engine.active 只能是 sense / qwen3 / stub，收到「" + error.detail + "」";
    case ErrorCode::polish_level_unknown:
      return "polish.level 只能是 off / light / medium / strong，收到「" + error.detail + "」";
    case ErrorCode::hotwords_malformed: {
      const std::string line = part(error, 0);
      return "文件有格式错误" + (line.empty() ? "" : "（第 " + line + " 行）") + "，只载入 " +
             part(error, 1) + " 条 · 点「保存热词」重写";
    }
    case ErrorCode::hotwords_unbound:
      return "这份热词表没有绑定文件路径";
    case ErrorCode::hotwords_write_failed:
      return "写热词表失败：" + error.detail;
    case ErrorCode::hotwords_json_invalid:
      return "热词表格式不对：" + error.detail;
    case ErrorCode::hotwords_rules_missing:
      return "热词表缺少 rules 字段";
    case ErrorCode::hotwords_wrong_shape:
      return "热词表应该是数组或带 rules 的对象";
    case ErrorCode::profiles_toml_syntax: {
      const std::string line = part(error, 0);
      return rest(error, 1) + (line.empty() ? "" : "（第 " + line + " 行）");
    }
    case ErrorCode::profile_expects_text:
      return "profile 的 " + error.detail + " 应该是字符串";
    case ErrorCode::profiles_active_not_text:
      return "active 应该是字符串";
    case ErrorCode::profiles_not_tables:
      return "profile 应该是 [[profile]] 表";
    case ErrorCode::profile_nameless:
      return "profile 缺少 name";
    case ErrorCode::profiles_none_in_file:
      return "profiles.toml 里一条 profile 都没有";
    case ErrorCode::profiles_write_failed:
      return "写 profiles.toml 失败：" + error.detail;
    case ErrorCode::profiles_json_invalid:
    case ErrorCode::history_damaged:
    case ErrorCode::voice_print_write_failed:
    case ErrorCode::voice_clear_failed:
      return error.detail;
    case ErrorCode::voice_model_missing:
      return "声纹模型还没下载：" + error.detail;
    case ErrorCode::voice_sample_too_short:
      return "样本太短了：至少说 1 秒（建议 8–10 秒）";
    case ErrorCode::voice_print_uncomputable:
      return "这段音频算不出声纹（可能太安静或全是噪声）";
    case ErrorCode::voice_mic_busy:
      return "正在听写录音，说完再录声纹";
    case ErrorCode::voice_nothing_recorded:
      return "没录到声音：检查麦克风权限和设备";
    case ErrorCode::http_init_failed:
      return "初始化网络库失败";
    case ErrorCode::out_of_memory:
      return "内存不足";
    case ErrorCode::http_response_too_big:
      return "响应太大";
    case ErrorCode::http_timed_out:
      // libcurl words its own time-outs; WinHTTP gives only the code.
      return error.detail.empty() ? "请求超时" : error.detail;
    case ErrorCode::http_transport_failed:
      return error.detail;
    case ErrorCode::http_cannot_connect:
      return "连接不上服务器";
    case ErrorCode::http_name_not_resolved:
      return "解析不了服务器地址";
    case ErrorCode::http_connection_broken:
      return "连接被中断";
    case ErrorCode::http_tls_failed:
      return "TLS 证书校验失败";
    case ErrorCode::http_bad_url:
      return "地址无效";
    case ErrorCode::http_network_error:
      return "网络错误 " + error.detail;
    case ErrorCode::chat_http_status:
      return "服务返回 " + part(error, 0) + "：" + rest(error, 1);
    case ErrorCode::chat_reply_not_json:
      return "响应不是合法 JSON：" + error.detail;
    case ErrorCode::chat_no_content:
      return "响应里没有 choices[0].message.content";
    case ErrorCode::polish_no_endpoint:
      return "没有配置润色服务地址";
    case ErrorCode::polish_no_key:
      return "没有配置 API Key";
    case ErrorCode::polish_unreachable:
      return "连不上润色服务：" + error.detail;
    case ErrorCode::polish_truncated:
      return "润色没写完（输出被截断），这次用原文";
    case ErrorCode::polish_result_empty:
      return "润色结果为空";
    case ErrorCode::polish_result_too_long:
      return "润色结果比原文长太多";
    case ErrorCode::polish_result_too_short:
      return "润色结果比原文短太多";
    case ErrorCode::polish_result_rejected:
      return error.detail + "，已用原文";
    case ErrorCode::polish_level_off:
      return "当前润色档的力度是「关闭」：在设置 → 润色 → 这一档里选 轻度/中度/重度";
    case ErrorCode::polish_sample_no_key:
      return "没有填 API Key";
    case ErrorCode::polish_sample_failed:
      return "润色失败：" + error.detail;
    case ErrorCode::models_no_key:
      return "还没有 Key：先粘贴并保存，再检测模型";
    case ErrorCode::models_unreachable:
      return "连不上 " + part(error, 0) + "：" + rest(error, 1);
    case ErrorCode::models_http_status:
      return "HTTP " + part(error, 0) + "：" + rest(error, 1);
    case ErrorCode::models_not_json:
      return "返回的不是 JSON：" + error.detail;
    case ErrorCode::models_none_listed:
      return error.detail + " 没有返回任何模型（有的服务不支持 /models）";
    case ErrorCode::rewrite_no_endpoint:
      return "没有配置服务地址（设置页「润色」里填）";
    case ErrorCode::rewrite_no_key:
      return "没有配置 API Key（设置页「润色」里填）";
    case ErrorCode::rewrite_nothing_selected:
      return "没有选中文字";
    case ErrorCode::rewrite_unreachable:
      return "连不上服务：" + error.detail;
    case ErrorCode::rewrite_empty_reply:
      return "服务返回了空内容";
    case ErrorCode::download_cancelled:
      return "已取消";
    case ErrorCode::curl_start_failed:
      return "启动 curl 失败：" + error.detail;
    case ErrorCode::curl_wait_failed:
      return "等待 curl 失败：" + error.detail;
    case ErrorCode::download_failed:
    case ErrorCode::download_file_missing: {
      // Parts: curl's exit code, the proxy used (empty: none), the advice for that exit code,
      // curl's own explanation.
      const std::string code = part(error, 0), proxy = part(error, 1), hint = part(error, 2);
      const std::string detail = rest(error, 3);
      std::string text = "下载失败（curl " + code + "）";
      if (!detail.empty()) text += "：" + detail;
      text += hint;
      text += proxy.empty() ? std::string("；没有检测到系统代理") : "；代理 " + proxy;
      return text;
    }
    case ErrorCode::download_rename_failed:
      return "改名前失败：" + error.detail;
    case ErrorCode::model_copy_failed:
      return "复制失败：" + error.detail;
    case ErrorCode::tar_start_failed:
      return "调用 tar 失败：" + error.detail;
    case ErrorCode::unpack_failed:
      return "解包失败（" + part(error, 0) + "）：" + rest(error, 1);
    case ErrorCode::download_dir_failed:
      return "建下载目录失败：" + error.detail;
    case ErrorCode::download_unusable:
      return "下载的文件打不开（可能是网络断了或代理坏了），已删除，请重试：" + error.detail;
    case ErrorCode::no_download_url:
      return "没有可用的下载地址";
    case ErrorCode::profiles_array_missing:
      return "缺少 profiles 数组";
    case ErrorCode::profiles_empty:
      return "至少要有一个 profile";
    case ErrorCode::profile_unknown:
      return "没有叫「" + error.detail + "」的 profile";

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
    case ErrorCode::mic_device_missing:  // parts: the device name, the devices present
      return "找不到输入设备「" + part(error, 0) + "」：可能已断开。可用设备：" + rest(error, 1) +
             "。在设置 → 音频 里改回系统默认即可";
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
    case ErrorCode::lan_listen_failed:  // parts: host:port, the system's reason
      return "监听 " + part(error, 0) + " 失败：" + rest(error, 1);
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
