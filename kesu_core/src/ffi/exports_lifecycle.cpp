// Life cycle, version, callback and memory.

#include <cstdlib>
#include <new>

#include "ffi/boundary.h"
#include "lib/core_dir.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API uint32_t KESU_CALL kesu_abi_version(void) { return KESU_ABI_VERSION; }

KESU_API KesuCore* KESU_CALL kesu_core_new(const char* config_dir) {
  return guard_pointer("kesu_core_new", [&]() -> KesuCore* {
    auto core = std::make_shared<Core>(resolve_core_dir(text_arg(config_dir)));
    return new KesuCore{std::move(core)};
  });
}

KESU_API void KESU_CALL kesu_core_free(KesuCore* handle) {
  if (handle == nullptr) return;
  try {
    // Shut down while the cell still exists, so that a call racing with the shutdown sees
    // "shutting down" instead of a freed handle.
    if (handle->core.use_count() == 1) handle->core->shutdown();
  } catch (const std::exception& e) {
    log_boundary_failure("kesu_core_free", e.what());
  } catch (...) {
    log_boundary_failure("kesu_core_free", "unknown");
  }
  delete handle;
}

KESU_API int KESU_CALL kesu_set_event_cb(KesuCore* handle, kesu_event_cb cb, void* user) {
  return guard_int("kesu_set_event_cb", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr || cb == nullptr) return KESU_ERR_ARGUMENT;
    if (core->exiting()) return KESU_ERR_SHUTDOWN;
    core->shared().events.set(cb, user);
    return KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_clear_event_cb(KesuCore* handle) {
  return guard_int("kesu_clear_event_cb", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    core->shared().events.clear();
    return KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_set_test_mode(KesuCore* handle, int on) {
  return guard_int("kesu_set_test_mode", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    core->shared().test_mode.store(on != 0);
    return KESU_OK;
  });
}

KESU_API void KESU_CALL kesu_string_free(char* s) { std::free(s); }

}  // extern "C"
