#include "config/config_toml.h"

#include <toml++/toml.h>

#include "config/config_rules.h"
#include "util/toml_text.h"

#include <charconv>
#include <limits>
#include <sstream>

namespace kesu {

std::string toml_quote(std::string_view text) { return toml_basic_string(text); }

namespace {

std::string bool_text(bool value) { return value ? "true" : "false"; }

std::string number_text(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return "0.0";
  return std::string(buf, end);
}

std::string per_app_text(const std::map<std::string, std::string>& per_app) {
  std::string out = "{";
  bool first = true;
  for (const auto& [app, mode] : per_app) {
    if (!first) out += ", ";
    first = false;
    out += toml_quote(app) + " = " + toml_quote(mode);
  }
  out += "}";
  return out;
}

}  // namespace

std::string render_config_toml(const ConfigRecord& r) {
  const auto q = toml_quote;
  const auto n = [](std::int64_t v) { return std::to_string(v); };
  std::string t;
  const auto line = [&t](const std::string& text) {
    t += text;
    t += '\n';
  };
  line("# Kesu 配置（保存即整份重写；改完不需要重启，下次录音生效）");
  line("#");
  line(
      "# engine.active: sense（默认，快且省内存）| qwen3（短句精度档，内存约 1.6G）| stub（自测）");
  line("# 模型目录：scripts/fetch-models.sh 会把模型装到 ~/.kesu/models");
  line("# 快捷键在应用内「设置 → 快捷键」里改，这里同步保存一份");
  line("");
  line("[engine]");
  line("active = " + q(r.engine_active));
  line("num_threads = " + n(r.engine_num_threads));
  line("");
  line("[models]");
  line("dir = " + q(r.models_dir));
  line("vad = " + q(r.models_vad));
  line("qwen3 = " + q(r.models_qwen3));
  line("# 模型下载镜像：留空走官方 GitHub release；填了就用「镜像地址 + 文件名」，例如");
  line("# https://mirror.example.com/kesu-models（把同批发布文件平铺在根目录即可）");
  line("mirror = " + q(r.models_mirror));
  line("proxy = " + q(r.models_proxy));
  line("");
  line("[audio]");
  line("# 短于此长度的录音按「太短」处理（DESIGN §4.5）");
  line("min_record_ms = " + n(r.audio_min_record_ms));
  line("# 单次录音上限，超时自动结束");
  line("max_record_secs = " + n(r.audio_max_record_secs));
  line("# 输入设备名，空 = 系统默认");
  line("device = " + q(r.audio_device));
  line("# 录音时暂停其它播放器（Music / Spotify），松手后恢复");
  line("pause_media = " + bool_text(r.audio_pause_media));
  line("# 背景降噪（RNNoise）：照顾「语音保真」，说话时几乎不动，只在噪声段压");
  line("denoise = " + bool_text(r.audio_denoise));
  line("# 只录我的声音（声纹门控）：需要先在设置里「录 10 秒声纹」，默认关");
  line("voice_lock = " + bool_text(r.audio_voice_lock));
  line("# 低于这个相似度就把这段丢掉（0.3–0.95，默认 0.62）");
  line("voice_lock_threshold = " + number_text(r.audio_voice_lock_threshold));
  line("source_lock = " + bool_text(r.audio_source_lock));
  line("# 标点模型（可选，65MB）：装了就用它补逗号/句号，没装就只在句末补「。」");
  line("punct = " + bool_text(r.audio_punct));
  line("");
  line("# [insert] 上屏方式（M3）：paste = 写剪贴板后合成粘贴（默认，最快最稳）");
  line("#                   keystroke = 逐字打字（安全输入/某些终端/网页编辑器更可靠）");
  line("[insert]");
  line("mode = " + q(r.insert_mode));
  line("# 按前台应用覆盖：应用名（大小写不敏感，支持包含匹配）→ 方式");
  line("per_app = " + per_app_text(r.insert_per_app));
  line("");
  line("[history]");
  line("enabled = " + bool_text(r.history_enabled));
  line("limit = " + n(r.history_limit));
  line("");
  line("[privacy]");
  line("# 隐私模式：不写历史、不落盘失败音频、浮层不显示识别文本（DESIGN §10.2）");
  line("# 开启后「重试上次失败」不可用（失败录音不留盘）");
  line("enabled = " + bool_text(r.privacy_enabled));
  line("");
  line("[polish]");
  line("# 可选润色：off（默认，全程本地）| light | medium | strong");
  line("# 开启后，转写文本会发到下面这个兼容 OpenAI 的服务端做整理（DESIGN §9.6）");
  line("enabled = " + bool_text(r.polish_enabled));
  line("level = " + q(r.polish_level));
  line("endpoint = " + q(r.polish_endpoint));
  line("model = " + q(r.polish_model));
  line("api_key = " + q(r.polish_api_key));
  line("timeout_ms = " + n(r.polish_timeout_ms));
  line("");
  line("[lan]");
  line("# 局域网听写接口（M5 路线②）：别的设备把 WAV 发过来，本机识别后回文字。默认关。");
  line("# 默认只监听 127.0.0.1；allow_lan = true 才监听 0.0.0.0（这时一定要配 token）");
  line("enabled = " + bool_text(r.lan_enabled));
  line("port = " + n(r.lan_port));
  line("token = " + q(r.lan_token));
  line("allow_lan = " + bool_text(r.lan_allow_lan));
  line("");
  line("[diag]");
  line("# 诊断包上传地址（DESIGN §12.8）：留空 = 只导出到本地，不上传");
  line("upload_url = " + q(r.diag_upload_url));
  line("");
  line("[hotkey]");
  line("keys = " + q(r.hotkey_keys));
  line("");
  line("[ui]");
  line("launch_at_login = " + bool_text(r.ui_launch_at_login));
  line("# 新手引导是否完成；onboarding_probe_done 是第 3 步「试说一句」是否成功过一次");
  line("onboarding_done = " + bool_text(r.ui_onboarding_done));
  line("onboarding_probe_done = " + bool_text(r.ui_onboarding_probe_done));
  line("# 迷你主窗（R-103）：关掉窗口后不再自动出现，菜单栏「显示主窗」恢复");
  line("mini_window = " + bool_text(r.ui_mini_window));
  return t;
}

namespace {

// Reads known keys of one table into the record, failing on a value of the wrong type.
class TableReader {
 public:
  explicit TableReader(const toml::table& root) : root_(root) {}

  bool ok() const { return !error_.has_value(); }
  const std::optional<Error>& error() const { return error_; }

  void text(const char* section, const char* key, std::string& out) {
    const toml::node* node = find(section, key);
    if (node == nullptr) return;
    if (const auto* s = node->as_string()) {
      out = s->get();
    } else {
      fail(section, key, ErrorCode::config_expects_text);
    }
  }

  void flag(const char* section, const char* key, bool& out) {
    const toml::node* node = find(section, key);
    if (node == nullptr) return;
    if (const auto* b = node->as_boolean()) {
      out = b->get();
    } else {
      fail(section, key, ErrorCode::config_expects_flag);
    }
  }

  void count(const char* section, const char* key, std::int64_t& out) {
    const toml::node* node = find(section, key);
    if (node == nullptr) return;
    const auto* i = node->as_integer();
    if (i == nullptr || i->get() < 0) {
      fail(section, key, ErrorCode::config_expects_count);
      return;
    }
    out = i->get();
  }

  void number(const char* section, const char* key, double& out) {
    const toml::node* node = find(section, key);
    if (node == nullptr) return;
    if (const auto* f = node->as_floating_point()) {
      out = f->get();
    } else if (const auto* i = node->as_integer()) {
      out = static_cast<double>(i->get());
    } else {
      fail(section, key, ErrorCode::config_expects_number);
    }
  }

  void text_map(const char* section, const char* key, std::map<std::string, std::string>& out) {
    const toml::node* node = find(section, key);
    if (node == nullptr) return;
    const auto* table = node->as_table();
    if (table == nullptr) {
      fail(section, key, ErrorCode::config_expects_app_map);
      return;
    }
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : *table) {
      const auto* s = value.as_string();
      if (s == nullptr) {
        fail(section, key, ErrorCode::config_expects_app_map);
        return;
      }
      values[std::string(name.str())] = s->get();
    }
    out = std::move(values);
  }

 private:
  const toml::node* find(const char* section, const char* key) {
    if (!ok()) return nullptr;
    const toml::node* sect = root_.get(section);
    if (sect == nullptr) return nullptr;
    const toml::table* table = sect->as_table();
    if (table == nullptr) {
      error_ = Error{ErrorCode::config_section_not_table, section};
      return nullptr;
    }
    return table->get(key);
  }

  // The code names the expected kind; the detail is the key.
  void fail(const char* section, const char* key, ErrorCode expected) {
    if (ok()) error_ = Error{expected, std::string(section) + "." + key};
  }

  const toml::table& root_;
  std::optional<Error> error_;
};

std::string describe(const toml::parse_error& e) {
  std::ostringstream out;
  out << e.description();
  const auto& begin = e.source().begin;
  if (begin.line > 0) out << "（第 " << begin.line << " 行第 " << begin.column << " 列）";
  return out.str();
}

}  // namespace

Result<ConfigRecord> parse_config_toml(std::string_view text, const ConfigRecord& base) {
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    return Error{ErrorCode::toml_syntax, describe(e)};
  }

  ConfigRecord r = base;
  TableReader in(root);
  in.text("engine", "active", r.engine_active);
  in.text("models", "dir", r.models_dir);
  in.text("models", "vad", r.models_vad);
  in.text("models", "qwen3", r.models_qwen3);
  in.text("models", "mirror", r.models_mirror);
  in.text("models", "proxy", r.models_proxy);
  in.text("audio", "device", r.audio_device);
  in.flag("audio", "pause_media", r.audio_pause_media);
  in.flag("audio", "denoise", r.audio_denoise);
  in.flag("audio", "voice_lock", r.audio_voice_lock);
  in.number("audio", "voice_lock_threshold", r.audio_voice_lock_threshold);
  in.flag("audio", "source_lock", r.audio_source_lock);
  in.flag("audio", "punct", r.audio_punct);
  in.text("insert", "mode", r.insert_mode);
  in.text_map("insert", "per_app", r.insert_per_app);
  in.flag("history", "enabled", r.history_enabled);
  in.flag("privacy", "enabled", r.privacy_enabled);
  in.flag("polish", "enabled", r.polish_enabled);
  in.text("polish", "level", r.polish_level);
  in.text("polish", "endpoint", r.polish_endpoint);
  in.text("polish", "model", r.polish_model);
  in.text("polish", "api_key", r.polish_api_key);
  in.flag("lan", "enabled", r.lan_enabled);
  in.text("lan", "token", r.lan_token);
  in.flag("lan", "allow_lan", r.lan_allow_lan);
  in.text("diag", "upload_url", r.diag_upload_url);
  in.text("hotkey", "keys", r.hotkey_keys);
  in.flag("ui", "launch_at_login", r.ui_launch_at_login);
  in.flag("ui", "onboarding_done", r.ui_onboarding_done);
  in.flag("ui", "onboarding_probe_done", r.ui_onboarding_probe_done);
  in.flag("ui", "mini_window", r.ui_mini_window);
  // Ranges are not checked here: enforce_config_rules applies them, with a note for the user.
  for (const IntRule& rule : kIntRules) in.count(rule.section, rule.key, r.*rule.field);
  if (!in.ok()) return *in.error();
  return r;
}

}  // namespace kesu
