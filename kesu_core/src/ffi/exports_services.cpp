// Polish around a dictation: the polish test, the service's model list and the selection
// rewrite. Each validates its arguments.

#include "ffi/boundary.h"
#include "polish/polish_client.h"
#include "profiles/profile.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

// The polish service's answer as a caller-owned string, or NULL with the reason in *err.
char* text_or_error(const TextOutcome& outcome, char** err) {
  if (!outcome) {
    set_message(err, user_message(outcome.error()));
    return nullptr;
  }
  return new_c_string(*outcome);
}

// The level and prompt of the active polish profile, for the polish test.
PolishProfileView active_polish_profile(Core& core) {
  const Profile active = core.shared().profiles.active_profile();
  return {active.level, active.prompt};
}


}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_polish_models(KesuCore* handle, char** err) {
  if (err == nullptr) return nullptr;
  *err = nullptr;
  return guard_pointer("kesu_polish_models", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) {
      set_message(err, "参数错误：core 为空");
      return nullptr;
    }
    try {
      return text_or_error(
          list_polish_models(*core->shared().config.snapshot(), default_transport()), err);
    } catch (...) {
      set_message(err, "内部错误：取模型列表时崩了");
      return nullptr;
    }
  });
}

KESU_API char* KESU_CALL kesu_polish_test(KesuCore* handle, char** err) {
  return guard_pointer("kesu_polish_test", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) {
      set_message(err, "core 未初始化");
      return nullptr;
    }
    const ConfigPtr config = core->shared().config.snapshot();
    return text_or_error(polish_sample(*config, active_polish_profile(*core), default_transport()),
                         err);
  });
}

KESU_API char* KESU_CALL kesu_run_command(KesuCore* handle, const char* instruction,
                                          const char* selected_text, char** err) {
  return guard_pointer("kesu_run_command", [&]() -> char* {
    Core* core = core_of(handle);
    const auto order = text_arg(instruction);
    const auto text = text_arg(selected_text);
    if (core == nullptr) {
      set_message(err, "core 未初始化");
      return nullptr;
    }
    if (!order) {
      set_message(err, "指令不是合法 UTF-8");
      return nullptr;
    }
    if (!text) {
      set_message(err, "文本不是合法 UTF-8");
      return nullptr;
    }
    try {
      return text_or_error(rewrite_selection(*core->shared().config.snapshot(), *order, *text,
                                             default_transport()),
                           err);
    } catch (...) {
      set_message(err, "内部错误（panic，已拦截）");
      return nullptr;
    }
  });
}

}  // extern "C"
