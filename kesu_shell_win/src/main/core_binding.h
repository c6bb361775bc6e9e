#pragma once

// The resolved entry points of the core library and the one core handle.

#ifndef KESU_CORE_DYNAMIC_LOAD
#define KESU_CORE_DYNAMIC_LOAD
#endif
#include "kesu_core.h"

namespace kesu::shell {

#define KESU_FN(name) decltype(&::name) name = nullptr

struct CoreBinding {
  KESU_FN(kesu_core_free);
  KESU_FN(kesu_set_event_cb);
  KESU_FN(kesu_hotkey_down);
  KESU_FN(kesu_hotkey_up);
  KESU_FN(kesu_cancel);
  KESU_FN(kesu_submit_result);
  KESU_FN(kesu_get_last_result);
  KESU_FN(kesu_string_free);

  KESU_FN(kesu_diagnose);
  KESU_FN(kesu_debug_record);
  KESU_FN(kesu_clear_last_result);
  KESU_FN(kesu_debug_submit_text);
  KESU_FN(kesu_note_foreground_app);
  KESU_FN(kesu_models_pull);
  KESU_FN(kesu_decode_wav);

  KESU_FN(kesu_get_config_json);
  KESU_FN(kesu_set_config_json);
  KESU_FN(kesu_set_config_toml);

  KESU_FN(kesu_get_profiles);
  KESU_FN(kesu_run_command);
  KESU_FN(kesu_failed_segments);
  KESU_FN(kesu_delete_history);
  KESU_FN(kesu_retry_failed);
  KESU_FN(kesu_retry_segment);
  KESU_FN(kesu_models_list);
  KESU_FN(kesu_list_devices);
  KESU_FN(kesu_get_config_toml);
  KESU_FN(kesu_get_hotwords);
  KESU_FN(kesu_set_hotwords);
  KESU_FN(kesu_get_stats);
  KESU_FN(kesu_clear_history);
  KESU_FN(kesu_get_history);
  KESU_FN(kesu_set_profiles);
  KESU_FN(kesu_set_active_profile);

  KESU_FN(kesu_meter_start);
  KESU_FN(kesu_meter_stop);
  KESU_FN(kesu_voice_enroll_mic);
  KESU_FN(kesu_voice_clear);
  KESU_FN(kesu_voice_state);
  KESU_FN(kesu_polish_test);
  KESU_FN(kesu_polish_models);

  KESU_FN(kesu_set_test_mode);
  KESU_FN(kesu_lan_log);
  KESU_FN(kesu_voice_enroll_wav);
  KESU_FN(kesu_upload_diag);

  KesuCore* core = nullptr;
};

#undef KESU_FN

// Process-wide copy of kesu_string_free, so worker threads holding a core string can free it
// without the application-state lock.
void set_string_free(decltype(&::kesu_string_free) fn);
void free_core_string(char* s);

}  // namespace kesu::shell
