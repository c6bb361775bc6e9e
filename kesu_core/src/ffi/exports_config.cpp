// Configuration, devices and the status report.

#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

int set_config_text(const char* export_name, KesuCore* handle, const char* text,
                    std::string_view missing_message, char** err) {
  return guard_int(export_name, err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) {
      set_message(err, kBadArgument);
      return KESU_ERR_ARGUMENT;
    }
    if (!text_arg(text)) {
      set_message(err, missing_message);
      return KESU_ERR_ARGUMENT;
    }
    if (core->exiting()) {
      set_message(err, "核心已关机");
      return KESU_ERR_SHUTDOWN;
    }
    set_message(err, kNotImplemented);
    return KESU_ERR_FAILED;
  });
}

}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_get_config_json(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API char* KESU_CALL kesu_get_config_toml(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API int KESU_CALL kesu_set_config_json(KesuCore* handle, const char* json, char** err) {
  return set_config_text("kesu_set_config_json", handle, json, "配置内容为空", err);
}

KESU_API int KESU_CALL kesu_set_config_toml(KesuCore* handle, const char* toml, char** err) {
  return set_config_text("kesu_set_config_toml", handle, toml, "配置文本为空", err);
}

KESU_API char* KESU_CALL kesu_list_devices(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API char* KESU_CALL kesu_diagnose(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

}  // extern "C"
