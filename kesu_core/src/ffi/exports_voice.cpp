// Voice lock: the voice print's state, enrolment and clearing.

#include "ffi/boundary.h"
#include "util/paths.h"
#include "voice/enrolment.h"
#include "voice/speaker_embedder.h"
#include "voice/voice_state.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

int bad_argument(char** err, std::string_view message = kBadArgument) {
  set_message(err, message);
  return KESU_ERR_ARGUMENT;
}

// The speaker model is only loaded once an enrolment has got that far.
Embedder embedder_for(const ConfigRecord& config) {
  return [core_dir = config.core_dir, embedder = std::optional<Embedder>()](std::span<const float> samples) mutable {
    if (!embedder) embedder = make_speaker_embedder(ModelLoader::for_core(core_dir), speaker_model_path(core_dir));
    return (*embedder)(samples);
  };
}

// The success message is not handed back: the shell reads the state afterwards.
int enrolment_result(SharedState& shared, const EnrolOutcome& outcome, char** err) {
  if (outcome.ok()) {
    shared.voice_gate.clear();
    return KESU_OK;
  }
  set_message(err, user_message(outcome.error()));
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

KESU_API int KESU_CALL kesu_voice_enroll_mic(KesuCore* handle, int seconds, char** err) {
  return guard_int("kesu_voice_enroll_mic", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return bad_argument(err);
    const ConfigPtr config = core->shared().config.snapshot();
    return enrolment_result(
        core->shared(), enrol_from_microphone(seconds, *config, embedder_for(*config), core->shared().capture_slot), err);
  });
}

KESU_API int KESU_CALL kesu_voice_enroll_wav(KesuCore* handle, const char* wav_path, char** err) {
  return guard_int("kesu_voice_enroll_wav", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return bad_argument(err);
    const auto path = text_arg(wav_path);
    if (!path) return bad_argument(err, "WAV 路径为空");
    const ConfigPtr config = core->shared().config.snapshot();
    return enrolment_result(core->shared(),
                            enrol_from_wav(path_from_utf8(*path), config->core_dir, embedder_for(*config)), err);
  });
}

KESU_API int KESU_CALL kesu_voice_clear(KesuCore* handle, char** err) {
  return guard_int("kesu_voice_clear", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return bad_argument(err);
    if (Status cleared = clear_voice_print(core->shared().core_dir); !cleared) {
      set_message(err, user_message(cleared.error()));
      return KESU_ERR_FAILED;
    }
    core->shared().voice_gate.clear();
    return KESU_OK;
  });
}

}  // extern "C"
