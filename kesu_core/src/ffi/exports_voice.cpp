// Voice lock: the voice print's state, enrolment and clearing.

#include "ffi/boundary.h"
#include "voice/voice_state.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

int bad_argument(char** err, std::string_view message = kBadArgument) {
  set_message(err, message);
  return KESU_ERR_ARGUMENT;
}

int not_available(char** err) {
  set_message(err, kNotImplemented);
  return KESU_ERR_FAILED;
}

}  // namespace

extern "C" {

KESU_API char* KESU_CALL kesu_voice_state(KesuCore* handle) {
  return guard_pointer("kesu_voice_state", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    return new_c_string(voice_state(*core->shared().config.snapshot()).dump());
  });
}

// Enrolment computes a speaker embedding, which needs the speaker model's runtime.
KESU_API int KESU_CALL kesu_voice_enroll_mic(KesuCore* handle, int seconds, char** err) {
  (void)seconds;
  return guard_int("kesu_voice_enroll_mic", err, [&] {
    if (core_of(handle) == nullptr) return bad_argument(err);
    return not_available(err);
  });
}

KESU_API int KESU_CALL kesu_voice_enroll_wav(KesuCore* handle, const char* wav_path, char** err) {
  return guard_int("kesu_voice_enroll_wav", err, [&] {
    if (core_of(handle) == nullptr) return bad_argument(err);
    if (!text_arg(wav_path)) return bad_argument(err, "WAV 路径为空");
    return not_available(err);
  });
}

KESU_API int KESU_CALL kesu_voice_clear(KesuCore* handle, char** err) {
  return guard_int("kesu_voice_clear", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return bad_argument(err);
    if (auto failure = clear_voice_print(core->shared().core_dir)) {
      set_message(err, *failure);
      return KESU_ERR_FAILED;
    }
    return KESU_OK;
  });
}

}  // extern "C"
