// Polish profiles: the list as JSON, its replacement and the choice of the active one.

#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

int failed(char** err, const std::string& message) {
  set_message(err, message);
  return KESU_ERR_FAILED;
}

}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_get_profiles(KesuCore* handle) {
  return guard_pointer("kesu_get_profiles", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    const nlohmann::json json = core->shared().profiles.to_json();
    return new_c_string(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  });
}

KESU_API int KESU_CALL kesu_set_profiles(KesuCore* handle, const char* text, char** err) {
  return guard_int("kesu_set_profiles", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    const auto body = text_arg(text);
    if (!body) {
      set_message(err, "profile 列表为空");
      return KESU_ERR_ARGUMENT;
    }
    if (Status set = core->shared().profiles.set_profiles_json(*body); !set) {
      return failed(err, user_message(set.error()));
    }
    return KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_set_active_profile(KesuCore* handle, const char* name, char** err) {
  return guard_int("kesu_set_active_profile", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    const auto wanted = text_arg(name);
    if (!wanted) {
      set_message(err, "profile 名为空");
      return KESU_ERR_ARGUMENT;
    }
    if (Status set = core->shared().profiles.set_active(*wanted); !set) {
      return failed(err, user_message(set.error()));
    }
    return KESU_OK;
  });
}

}  // extern "C"
