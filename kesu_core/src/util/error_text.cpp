#include "util/error.h"

#include "util/file_backup.h"

namespace kesu {

namespace {

// The n-th part of a detail made by detail_parts; empty when there are fewer.
std::string part(const Error& error, std::size_t n) {
  std::size_t begin = 0;
  for (; n > 0; --n) {
    begin = error.detail.find('\n', begin);
    if (begin == std::string::npos) return {};
    ++begin;
  }
  return error.detail.substr(begin, error.detail.find('\n', begin) - begin);
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
      return "config.toml 解析失败（已用默认值）：" + part(error, 0) + "。原文件备份在 " +
             part(error, 1);
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
    case ErrorCode::engine_unknown:
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
      const std::string line = part(error, 1);
      return part(error, 0) + (line.empty() ? "" : "（第 " + line + " 行）");
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
    case ErrorCode::profiles_array_missing:
      return "缺少 profiles 数组";
    case ErrorCode::profiles_empty:
      return "至少要有一个 profile";
    case ErrorCode::profile_unknown:
      return "没有叫「" + error.detail + "」的 profile";

    // Recognition, dictation and the LAN service.

    case ErrorCode::other:
      return error.detail;
  }
  return error.detail;
}

}  // namespace kesu
