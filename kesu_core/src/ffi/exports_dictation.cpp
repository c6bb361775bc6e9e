// Dictation control and the debug entry points: each validates its arguments and queues one
// command for the worker; the outcome arrives as events.

#include <string>

#include "audio/wav.h"
#include "config/model_files.h"
#include "ffi/boundary.h"
#include "util/paths.h"

using namespace kesu;
using namespace kesu::ffi;

namespace {

template <class MakeCommand>
int post_command(const char* export_name, KesuCore* handle, MakeCommand&& make) {
  return guard_int(export_name, nullptr, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    return post_result_code(core->post(make()));
  });
}


}  // namespace

extern "C" {

KESU_API int KESU_CALL kesu_hotkey_down(KesuCore* handle) {
  return post_command("kesu_hotkey_down", handle, [] { return cmd::HotkeyDown{}; });
}

KESU_API int KESU_CALL kesu_hotkey_up(KesuCore* handle) {
  return post_command("kesu_hotkey_up", handle, [] { return cmd::HotkeyUp{}; });
}

KESU_API int KESU_CALL kesu_cancel(KesuCore* handle) {
  return post_command("kesu_cancel", handle, [] { return cmd::Cancel{}; });
}

KESU_API int KESU_CALL kesu_submit_result(KesuCore* handle, const char* task_id, const char* status,
                                          const char* detail) {
  return guard_int("kesu_submit_result", nullptr, [&] {
    Core* core = core_of(handle);
    const auto task = text_arg(task_id);
    const auto state = text_arg(status);
    if (core == nullptr || !task || !state) return KESU_ERR_ARGUMENT;
    std::optional<std::string> note;
    if (auto d = text_arg(detail)) note = std::string(*d);
    return post_result_code(
        core->post(cmd::SubmitResult{std::string(*task), std::string(*state), std::move(note)}));
  });
}

KESU_API int KESU_CALL kesu_note_foreground_app(KesuCore* handle, const char* app_name) {
  return guard_int("kesu_note_foreground_app", nullptr, [&] {
    Core* core = core_of(handle);
    const auto app = text_arg(app_name);
    if (core == nullptr || !app) return KESU_ERR_ARGUMENT;
    return post_result_code(core->post(cmd::NoteForegroundApp{std::string(*app)}));
  });
}

KESU_API int KESU_CALL kesu_meter_start(KesuCore* handle) {
  return post_command("kesu_meter_start", handle, [] { return cmd::MeterStart{}; });
}

KESU_API int KESU_CALL kesu_meter_stop(KesuCore* handle) {
  return post_command("kesu_meter_stop", handle, [] { return cmd::MeterStop{}; });
}

KESU_API int KESU_CALL kesu_retry_failed(KesuCore* handle) {
  return post_command("kesu_retry_failed", handle, [] { return cmd::RetryFailed{}; });
}

KESU_API int KESU_CALL kesu_set_engine(KesuCore* handle, const char* engine) {
  return guard_int("kesu_set_engine", nullptr, [&] {
    Core* core = core_of(handle);
    const auto name = text_arg(engine);
    if (core == nullptr || !name) return KESU_ERR_ARGUMENT;
    if (*name != "sense" && *name != "qwen3" && *name != "stub") return KESU_ERR_ARGUMENT;
    if (core->exiting()) return KESU_ERR_SHUTDOWN;
    if (!model_installed(*name, *core->shared().config.snapshot())) return KESU_ERR_MODEL_MISSING;
    return post_result_code(core->post(cmd::SetEngine{std::string(*name)}));
  });
}

KESU_API int KESU_CALL kesu_debug_record(KesuCore* handle, int seconds) {
  return post_command("kesu_debug_record", handle,
                      [seconds] { return cmd::DebugRecord{static_cast<float>(seconds)}; });
}

KESU_API int KESU_CALL kesu_debug_submit_text(KesuCore* handle, const char* text) {
  return guard_int("kesu_debug_submit_text", nullptr, [&] {
    Core* core = core_of(handle);
    const auto body = text_arg(text);
    if (core == nullptr || !body) return KESU_ERR_ARGUMENT;
    // Test drivers fire this and forget; while shutting down the text is simply dropped.
    const PostResult posted = core->post(cmd::DebugSubmitText{std::string(*body)});
    return posted == PostResult::queue_full ? KESU_ERR_FAILED : KESU_OK;
  });
}

KESU_API int KESU_CALL kesu_debug_panic(KesuCore* handle) {
  return post_command("kesu_debug_panic", handle, [] { return cmd::DebugPanic{}; });
}

KESU_API int KESU_CALL kesu_decode_wav(KesuCore* handle, const char* wav_path, char** err) {
  return guard_int("kesu_decode_wav", err, [&] {
    Core* core = core_of(handle);
    const auto path = text_arg(wav_path);
    if (core == nullptr || !path) {
      set_message(err, kBadArgument);
      return KESU_ERR_ARGUMENT;
    }
    WavRead read = read_wav_16k_mono(path_from_utf8(*path));
    if (!read.samples) {
      set_message(err, user_message(*read.error));
      return KESU_ERR_FAILED;
    }
    const PostResult posted = core->post(cmd::DecodeWav{std::move(*read.samples)});
    if (posted != PostResult::queued) {
      set_message(err, posted == PostResult::queue_full ? kQueueFull : std::string_view("Kesu 正在退出"));
      return KESU_ERR_FAILED;
    }
    return KESU_OK;
  });
}

}  // extern "C"
