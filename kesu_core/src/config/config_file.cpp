#include "config/config_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "config/config_rules.h"
#include "config/config_toml.h"
#include "util/atomic_file.h"
#include "util/log.h"
#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> env_value(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0' || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

// Environment overrides for the model paths and the engine; the model ones also serve as the
// defaults that a file may still change.
void apply_model_env(ConfigRecord& record) {
  if (auto v = env_value("KESU_MODEL_DIR")) record.models_dir = *v;
  if (auto v = env_value("KESU_VAD_MODEL")) record.models_vad = *v;
  if (auto v = env_value("KESU_QWEN3_DIR")) record.models_qwen3 = *v;
}

enum class ReadOutcome { ok, missing, failed };

ReadOutcome read_file(const fs::path& path, std::string& text, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec && !fs::exists(status)) {
    if (ec == std::errc::no_such_file_or_directory) return ReadOutcome::missing;
    error = ec.message();
    return ReadOutcome::failed;
  }
  if (!fs::exists(status)) return ReadOutcome::missing;
  if (fs::is_directory(status)) {
    error = "config.toml 是一个目录";
    return ReadOutcome::failed;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "无法打开文件";
    return ReadOutcome::failed;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "读取出错";
    return ReadOutcome::failed;
  }
  return ReadOutcome::ok;
}

}  // namespace

fs::path config_path(const fs::path& core_dir) { return core_dir / "config.toml"; }

ConfigRecord startup_defaults(const fs::path& core_dir) {
  ConfigRecord defaults = default_config(core_dir);
  apply_model_env(defaults);
  return defaults;
}

ConfigRecord load_config(const fs::path& core_dir) {
  const ConfigRecord defaults = startup_defaults(core_dir);

  ConfigRecord record = defaults;
  bool save_defaults = false;
  std::string text, error;
  switch (read_file(config_path(core_dir), text, error)) {
    case ReadOutcome::missing:
      save_defaults = true;
      break;
    case ReadOutcome::failed:
      record.load_warning = "读取 config.toml 失败（已用默认值）：" + error;
      break;
    case ReadOutcome::ok: {
      // Files written before the core kept its secrets private are narrowed now, not at the
      // next settings change.
      if (auto failure = restrict_to_owner(config_path(core_dir))) {
        log_line("收紧 config.toml 权限失败：" + *failure);
      }
      ConfigParse parsed = parse_config_toml(text, defaults);
      if (parsed.record) {
        record = std::move(*parsed.record);
        // A hand-edited value outside its rule is held to it here, as a patch would be; the
        // file keeps the user's text until the next save.
        const std::vector<ConfigAdjustment> adjusted = enforce_config_rules(record, defaults);
        if (!adjusted.empty()) {
          record.load_warning =
              "config.toml 里有值不合规定，已按规则调整：" + describe_adjustments(adjusted);
        }
        break;
      }
      const fs::path backup = core_dir / "config.toml.broken";
      std::error_code ec;
      fs::copy_file(config_path(core_dir), backup, fs::copy_options::overwrite_existing, ec);
      // The copy keeps the original's mode, and the original may hold secrets.
      if (!ec) {
        if (auto failure = restrict_to_owner(backup)) log_line("收紧备份权限失败：" + *failure);
      }
      record.load_warning = ec ? "config.toml 解析失败（已用默认值）：" + parsed.error
                               : "config.toml 解析失败（已用默认值）：" + parsed.error +
                                     "。原文件备份在 " + path_to_utf8(backup);
      save_defaults = true;
      break;
    }
  }

  if (auto engine = env_value("KESU_ENGINE")) {
    if (is_engine_name(*engine)) {
      record.engine_active = *engine;
    } else {
      log_line("KESU_ENGINE 只能是 sense / qwen3 / stub，已忽略：" + *engine);
    }
  }
  apply_model_env(record);

  if (save_defaults) {
    if (auto failure = save_config(record)) {
      record.load_warning = "无法写入默认 config.toml：" + *failure;
    }
  }
  return record;
}

std::optional<std::string> save_config(const ConfigRecord& record) {
  std::error_code ec;
  fs::create_directories(record.core_dir, ec);
  if (ec) return "创建配置目录失败：" + ec.message();
  const fs::path target = config_path(record.core_dir);
  fs::path tmp = target;
  tmp += ".tmp";
  // The file holds the polish API key and the LAN token.
  if (auto error = write_whole_file(tmp, render_config_toml(record), FileAccess::owner_only)) {
    return "写配置失败：" + *error;
  }
  if (auto error = replace_file(tmp, target)) {
    fs::remove(tmp, ec);
    return "替换配置失败：" + *error;
  }
  return std::nullopt;
}

}  // namespace kesu
