// The diagnostics report and its upload.

#include "diag/diag_upload.h"
#include "diag/diagnose.h"
#include "ffi/boundary.h"
#include "pipeline/shared_state.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_diagnose(KesuCore* handle) {
  return guard_pointer("kesu_diagnose", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    const SharedState& shared = core->shared();
    return new_c_string(diagnose_report({shared.config.snapshot(), shared.core_dir, shared.history.stats(),
                                         shared.profiles.active_profile(), shared.profiles.count(),
                                         shared.hotwords.table()->rules().size()}));
  });
}

KESU_API int KESU_CALL kesu_upload_diag(KesuCore* handle, const char* url, const char* bundle,
                                        char** msg) {
  return guard_int("kesu_upload_diag", msg, [&] {
    if (core_of(handle) == nullptr) {
      set_message(msg, kBadArgument);
      return KESU_ERR_ARGUMENT;
    }
    const auto target = text_arg(url);
    if (!target) {
      set_message(msg, "上传地址为空");
      return KESU_ERR_FAILED;
    }
    const auto body = text_arg(bundle);
    if (!body) {
      set_message(msg, "诊断包内容为空");
      return KESU_ERR_FAILED;
    }
    const UploadOutcome outcome = upload_diagnostics(*target, *body, default_transport());
    set_message(msg, outcome.message);
    return outcome.ok ? KESU_OK : KESU_ERR_FAILED;
  });
}

}  // extern "C"
