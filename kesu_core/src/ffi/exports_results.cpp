// The last result and the failed segments of the last dictation.

#include <nlohmann/json.hpp>
#include <string>

#include "ffi/boundary.h"
#include "pipeline/pending_files.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_get_last_result(KesuCore* handle) {
  return guard_pointer("kesu_get_last_result", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    const std::optional<std::string> text = core->shared().last_result.get();
    return text ? new_c_string(*text) : nullptr;
  });
}

KESU_API int KESU_CALL kesu_clear_last_result(KesuCore* handle) {
  return guard_int("kesu_clear_last_result", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    core->shared().last_result.clear();
    return KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_drop_last_result(KesuCore* handle) {
  return guard_int("kesu_drop_last_result", nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    PendingFiles(core->shared().core_dir).delete_last_result();
    return KESU_OK;
  });
}

KESU_API char* KESU_CALL kesu_failed_segments(KesuCore* handle) {
  return guard_pointer("kesu_failed_segments", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(nlohmann::json(core->shared().failed_segments.get()).dump());
  });
}

KESU_API int KESU_CALL kesu_retry_segment(KesuCore* handle, int index, char** err) {
  return guard_int("kesu_retry_segment", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr || index < 0) {
      set_message(err, kBadArgument);
      return KESU_ERR_ARGUMENT;
    }
    if (!core->shared().failed_segments.contains(index)) {
      set_message(err, "第 " + std::to_string(index) + " 段没有可重试的音频");
      return KESU_ERR_FAILED;
    }
    const PostResult posted = core->post(cmd::RetrySegment{index});
    if (posted != PostResult::queued) {
      set_message(err, posted == PostResult::queue_full ? kQueueFull : std::string_view("Kesu 正在退出，没法重试"));
      return KESU_ERR_FAILED;
    }
    return KESU_OK;
  });
}

}  // extern "C"
