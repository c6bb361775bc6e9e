// The model catalog: what is installed, and downloading one model in the background.

#include "ffi/boundary.h"
#include "models/models_list.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_models_list(KesuCore* handle) {
  return guard_pointer("kesu_models_list", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(models_list(*core->shared().config.snapshot()).dump());
  });
}

KESU_API int KESU_CALL kesu_models_pull(KesuCore* handle, const char* model_id, char** err) {
  return guard_int("kesu_models_pull", err, [&] {
    Core* core = core_of(handle);
    const auto id = text_arg(model_id);
    if (core == nullptr || !id) return KESU_ERR_ARGUMENT;
    const ModelPuller::PullResult result = core->models().pull(*id);
    switch (result.answer) {
      case ModelPuller::Answer::accepted:
        return KESU_OK;
      case ModelPuller::Answer::busy:
        set_message(err, result.message);
        return KESU_ERR_DOWNLOAD_BUSY;
      case ModelPuller::Answer::installed:
        set_message(err, result.message);
        return KESU_ERR_ALREADY_INSTALLED;
      case ModelPuller::Answer::shutting_down:
        set_message(err, result.message);
        return KESU_ERR_SHUTDOWN;
      case ModelPuller::Answer::unknown:
      case ModelPuller::Answer::no_thread:
        break;
    }
    set_message(err, result.message);
    return KESU_ERR_FAILED;
  });
}

}  // extern "C"
