// Services around a dictation: models, polish, LAN, diagnostics upload and voice lock. Each validates its arguments; services that this core does not carry yet
// say so instead of pretending.

#include "ffi/boundary.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

int not_available(char** err) {
  set_message(err, kNotImplemented);
  return KESU_ERR_FAILED;
}

int bad_argument(char** err, std::string_view message = kBadArgument) {
  set_message(err, message);
  return KESU_ERR_ARGUMENT;
}

// Exports taking one required text besides the handle.
int text_service(const char* export_name, KesuCore* handle, const char* text,
                 std::string_view missing_message, char** err) {
  return guard_int(export_name, err, [&] {
    if (core_of(handle) == nullptr) return bad_argument(err);
    if (!text_arg(text)) return bad_argument(err, missing_message);
    return not_available(err);
  });
}

int handle_only_service(const char* export_name, KesuCore* handle, char** err) {
  return guard_int(export_name, err, [&] {
    if (core_of(handle) == nullptr) return bad_argument(err);
    return not_available(err);
  });
}

}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_models_list(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API int KESU_CALL kesu_models_pull(KesuCore* handle, const char* model_id, char** err) {
  return text_service("kesu_models_pull", handle, model_id, kBadArgument, err);
}

KESU_API char* KESU_CALL kesu_polish_models(KesuCore* handle, char** err) {
  if (err == nullptr) return nullptr;
  *err = nullptr;
  return guard_pointer("kesu_polish_models", [&]() -> char* {
    set_message(err, core_of(handle) == nullptr ? "参数错误：core 为空" : kNotImplemented);
    return nullptr;
  });
}

KESU_API char* KESU_CALL kesu_polish_test(KesuCore* handle, char** err) {
  return guard_pointer("kesu_polish_test", [&]() -> char* {
    set_message(err, core_of(handle) == nullptr ? "core 未初始化" : kNotImplemented);
    return nullptr;
  });
}

KESU_API char* KESU_CALL kesu_run_command(KesuCore* handle, const char* instruction,
                                          const char* selected_text, char** err) {
  return guard_pointer("kesu_run_command", [&]() -> char* {
    if (core_of(handle) == nullptr) {
      set_message(err, "core 未初始化");
    } else if (!text_arg(instruction)) {
      set_message(err, "指令不是合法 UTF-8");
    } else if (!text_arg(selected_text)) {
      set_message(err, "文本不是合法 UTF-8");
    } else {
      set_message(err, kNotImplemented);
    }
    return nullptr;
  });
}

KESU_API char* KESU_CALL kesu_lan_log(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API int KESU_CALL kesu_upload_diag(KesuCore* handle, const char* url, const char* bundle,
                                        char** msg) {
  return guard_int("kesu_upload_diag", msg, [&] {
    if (core_of(handle) == nullptr) return bad_argument(msg);
    if (!text_arg(url)) {
      set_message(msg, "上传地址为空");
      return KESU_ERR_FAILED;
    }
    if (!text_arg(bundle)) {
      set_message(msg, "诊断包内容为空");
      return KESU_ERR_FAILED;
    }
    return not_available(msg);
  });
}

KESU_API char* KESU_CALL kesu_voice_state(KesuCore* handle) {
  (void)handle;
  return nullptr;
}

KESU_API int KESU_CALL kesu_voice_enroll_mic(KesuCore* handle, int seconds, char** err) {
  (void)seconds;
  return handle_only_service("kesu_voice_enroll_mic", handle, err);
}

KESU_API int KESU_CALL kesu_voice_enroll_wav(KesuCore* handle, const char* wav_path, char** err) {
  return text_service("kesu_voice_enroll_wav", handle, wav_path, "WAV 路径为空", err);
}

KESU_API int KESU_CALL kesu_voice_clear(KesuCore* handle, char** err) {
  return handle_only_service("kesu_voice_clear", handle, err);
}

}  // extern "C"
