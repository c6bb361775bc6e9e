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

// The file's text; nullopt when there is none yet.
Result<std::optional<std::string>> read_file(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec && !fs::exists(status)) {
    if (ec == std::errc::no_such_file_or_directory) return std::optional<std::string>();
    return Error{ErrorCode::config_unreadable, ec.message()};
  }
  if (!fs::exists(status)) return std::optional<std::string>();
  if (fs::is_directory(status)) return Error{ErrorCode::config_is_directory, {}};
  std::ifstream in(path, std::ios::binary);
  if (!in) return Error{ErrorCode::config_open_failed, {}};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Error{ErrorCode::config_read_failed, {}};
  return std::optional<std::string>(std::move(text));
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
  const Result<std::optional<std::string>> read = read_file(config_path(core_dir));
  if (!read) {
    record.load_warning = read.error();
  } else if (!read->has_value()) {
    save_defaults = true;
  } else {
    // Files written before the core kept its secrets private are narrowed now, not at the
    // next settings change.
    if (Status narrowed = restrict_to_owner(config_path(core_dir)); !narrowed) {
      log_line("收紧 config.toml 权限失败：" + user_message(narrowed.error()));
    }
    Result<ConfigRecord> parsed = parse_config_toml(**read, defaults);
    if (parsed) {
      record = std::move(*parsed);
      // A hand-edited value outside its rule is held to it here, as a patch would be; the
      // file keeps the user's text until the next save.
      const std::vector<ConfigAdjustment> adjusted = enforce_config_rules(record, defaults);
      if (!adjusted.empty()) {
        record.load_warning = Error{ErrorCode::config_adjusted, describe_adjustments(adjusted)};
      }
    } else {
      const fs::path backup = core_dir / "config.toml.broken";
      std::error_code ec;
      fs::copy_file(config_path(core_dir), backup, fs::copy_options::overwrite_existing, ec);
      // The copy keeps the original's mode, and the original may hold secrets.
      if (!ec) {
        if (Status narrowed = restrict_to_owner(backup); !narrowed) {
          log_line("收紧备份权限失败：" + user_message(narrowed.error()));
        }
      }
      const std::string reason = user_message(parsed.error());
      record.load_warning =
          ec ? Error{ErrorCode::config_parse_failed, reason}
             : Error{ErrorCode::config_parse_failed_backed_up,
                     detail_parts({path_to_utf8(backup), reason})};
      save_defaults = true;
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
    if (Status saved = save_config(record); !saved) {
      record.load_warning =
          Error{ErrorCode::config_default_unwritable, user_message(saved.error())};
    }
  }
  return record;
}

Status save_config(const ConfigRecord& record) {
  std::error_code ec;
  fs::create_directories(record.core_dir, ec);
  if (ec) return Error{ErrorCode::config_dir_failed, ec.message()};
  const fs::path target = config_path(record.core_dir);
  fs::path tmp = target;
  tmp += ".tmp";
  // The file holds the polish API key and the LAN token.
  if (Status written = write_whole_file(tmp, render_config_toml(record), FileAccess::owner_only);
      !written) {
    return Error{ErrorCode::config_write_failed, written.error().detail};
  }
  if (Status replaced = replace_file(tmp, target); !replaced) {
    fs::remove(tmp, ec);
    return Error{ErrorCode::config_replace_failed, replaced.error().detail};
  }
  return Status::success();
}

}  // namespace kesu
