// The LAN dictation server's request log.

#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_lan_log(KesuCore* handle) {
  return guard_pointer("kesu_lan_log", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(core->shared().lan.log_json());
  });
}

}  // extern "C"
