// Configuration, devices and the status report.

#include <memory>

#include "audio/capture.h"
#include "config/config_file.h"
#include "config/config_json.h"
#include "config/config_rules.h"
#include "config/config_toml.h"
#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

// Validates `text` into a new record with `make`, stores it and hands it to the worker, which
// saves and announces it.
template <class MakeRecord>
int set_config_text(const char* export_name, KesuCore* handle, const char* text,
                    std::string_view missing_message, char** err, MakeRecord&& make) {
  return guard_int(export_name, err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) {
      set_message(err, kBadArgument);
      return KESU_ERR_ARGUMENT;
    }
    const auto body = text_arg(text);
    if (!body) {
      set_message(err, missing_message);
      return KESU_ERR_ARGUMENT;
    }
    if (core->exiting()) {
      set_message(err, "核心已关机");
      return KESU_ERR_SHUTDOWN;
    }
    std::string error;
    const ConfigStore::Replaced stored =
        core->shared().config.update([&](const ConfigRecord& current) -> ConfigPtr {
          std::optional<ConfigRecord> next = make(current, *body, error);
          return next ? std::make_shared<const ConfigRecord>(std::move(*next)) : nullptr;
        });
    if (!stored.record) {
      set_message(err, error);
      return KESU_ERR_FAILED;
    }
    if (core->post(cmd::ConfigChanged{stored.record, stored.generation}) != PostResult::queued) {
      set_message(err, "核心已关机");
      return KESU_ERR_SHUTDOWN;
    }
    return KESU_OK;
  });
}

std::optional<ConfigRecord> patch_from_json(const ConfigRecord& current, std::string_view text,
                                            std::string& error) {
  ConfigPatch patch = apply_config_json(current, text);
  if (!patch.record) error = std::move(patch.error);
  return std::move(patch.record);
}

// The same rules as a JSON patch: an unknown engine or polish level refuses the whole text, other
// values outside their rule are held to it, and the record's warning says which.
std::optional<ConfigRecord> record_from_toml(const ConfigRecord& current, std::string_view text,
                                             std::string& error) {
  const ConfigRecord defaults = startup_defaults(current.core_dir);
  ConfigParse parsed = parse_config_toml(text, defaults);
  if (!parsed.record) {
    error = "配置解析失败：" + parsed.error;
    return std::nullopt;
  }
  ConfigRecord& record = *parsed.record;
  if (!is_engine_name(record.engine_active)) {
    error = "engine.active 只能是 sense / qwen3 / stub，收到「" + record.engine_active + "」";
    return std::nullopt;
  }
  if (!normalise_polish_level(record.polish_level)) {
    error =
        "polish.level 只能是 off / light / medium / strong，收到「" + record.polish_level + "」";
    return std::nullopt;
  }
  const std::vector<ConfigAdjustment> adjusted = enforce_config_rules(record, defaults);
  record.load_warning.reset();
  if (!adjusted.empty()) {
    record.load_warning = "配置里有值不合规定，已按规则调整：" + describe_adjustments(adjusted);
  }
  return std::move(parsed.record);
}

}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_get_config_json(KesuCore* handle) {
  return guard_pointer("kesu_get_config_json", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    const ConfigPtr config = core->shared().config.snapshot();
    return new_c_string(render_config_json(*config, probe_readiness(*config)).dump());
  });
}

KESU_API char* KESU_CALL kesu_get_config_toml(KesuCore* handle) {
  return guard_pointer("kesu_get_config_toml", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(render_config_toml(*core->shared().config.snapshot()));
  });
}

KESU_API int KESU_CALL kesu_set_config_json(KesuCore* handle, const char* json, char** err) {
  return set_config_text("kesu_set_config_json", handle, json, "配置内容为空", err,
                         patch_from_json);
}

KESU_API int KESU_CALL kesu_set_config_toml(KesuCore* handle, const char* toml, char** err) {
  return set_config_text("kesu_set_config_toml", handle, toml, "配置文本为空", err,
                         record_from_toml);
}

KESU_API char* KESU_CALL kesu_list_devices(KesuCore* handle) {
  return guard_pointer("kesu_list_devices", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(list_input_devices_json(*core->shared().config.snapshot()));
  });
}

}  // extern "C"
