// History and statistics. The exports work on the caller's thread; "history_changed" goes out
// after the store's lock is released.

#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_get_history(KesuCore* handle, int limit) {
  return guard_pointer("kesu_get_history", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(core->shared().history.newest_json(limit));
  });
}

KESU_API int KESU_CALL kesu_delete_history(KesuCore* handle, const char* entry_id) {
  return guard_int("kesu_delete_history", nullptr, [&] {
    Core* core = core_of(handle);
    const auto id = text_arg(entry_id);
    if (core == nullptr || !id) return KESU_ERR_ARGUMENT;
    std::optional<nlohmann::json> view = core->shared().history.remove(*id);
    if (!view) return KESU_ERR_ARGUMENT;
    core->shared().events.emit_core_event("history_changed", view->dump());
    return KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_clear_history(KesuCore* handle) {
  return guard_int("kesu_clear_history", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    const nlohmann::json view = core->shared().history.clear();
    core->shared().events.emit_core_event("history_changed", view.dump());
    return KESU_OK;
  });
}

KESU_API char* KESU_CALL kesu_get_stats(KesuCore* handle) {
  return guard_pointer("kesu_get_stats", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(core->shared().history.stats().dump());
  });
}

}  // extern "C"
