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
    std::optional<Error> refused;
    const ConfigStore::Replaced stored =
        core->shared().config.update([&](const ConfigRecord& current) -> ConfigPtr {
          Result<ConfigRecord> next = make(current, *body);
          if (!next) {
            refused = next.error();
            return nullptr;
          }
          return std::make_shared<const ConfigRecord>(std::move(*next));
        });
    if (!stored.record) {
      set_message(err, refused ? user_message(*refused) : std::string());
      return KESU_ERR_FAILED;
    }
    if (core->post(cmd::ConfigChanged{stored.record, stored.generation}) != PostResult::queued) {
      set_message(err, "核心已关机");
      return KESU_ERR_SHUTDOWN;
    }
    return KESU_OK;
  });
}


// The same rules as a JSON patch: an unknown engine or polish level refuses the whole text, other
// values outside their rule are held to it, and the record's warning says which.
Result<ConfigRecord> record_from_toml(const ConfigRecord& current, std::string_view text) {
  const ConfigRecord defaults = startup_defaults(current.core_dir);
  Result<ConfigRecord> parsed = parse_config_toml(text, defaults);
  if (!parsed) return Error{ErrorCode::config_text_invalid, user_message(parsed.error())};
  ConfigRecord& record = *parsed;
  if (!is_engine_name(record.engine_active)) {
    return Error{ErrorCode::engine_active_unknown, record.engine_active};
  }
  if (!normalise_polish_level(record.polish_level)) {
    return Error{ErrorCode::polish_level_unknown, record.polish_level};
  }
  const std::vector<ConfigAdjustment> adjusted = enforce_config_rules(record, defaults);
  record.load_warning.reset();
  if (!adjusted.empty()) {
    record.load_warning = Error{ErrorCode::config_patch_adjusted, describe_adjustments(adjusted)};
  }
  return parsed;
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
                         apply_config_json);
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
