/*
 * kesu_core — the Kesu (言至) dictation core, plain C interface.
 *
 * Ownership: every `char*` the core returns is a new allocation owned by the caller and released
 * with kesu_string_free(). Strings passed in are borrowed for the duration of the call only.
 * Encoding: all strings, both directions, are NUL-terminated UTF-8. An input string that is NULL
 * or not valid UTF-8 counts as missing.
 * Errors: integer results use the KESU_* codes below. Functions with a `char** err` parameter
 * accept NULL there; on failure they store a message (Chinese, for display) into *err, which the
 * caller frees with kesu_string_free(). On success *err is left unchanged unless stated.
 * Threads: every function may be called from any thread, concurrently. Dictation commands are
 * queued to the core's worker and return at once; their outcome arrives as events. The event
 * callback runs on core threads, never under a core lock; it must copy what it needs, must not
 * block for long and must never call kesu_core_free().
 * Exceptions never cross this interface: an internal failure becomes an error result.
 */
#ifndef KESU_CORE_H
#define KESU_CORE_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(KESU_CORE_BUILD)
#    define KESU_API __declspec(dllexport)
#  elif defined(KESU_CORE_DYNAMIC_LOAD)
#    define KESU_API
#  else
#    define KESU_API __declspec(dllimport)
#  endif
#  define KESU_CALL __cdecl
#else
#  if defined(KESU_CORE_BUILD)
#    define KESU_API __attribute__((visibility("default")))
#  else
#    define KESU_API
#  endif
#  define KESU_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version: major << 16 | minor. A host accepts the library when the major part is 1.
 * 1.14: the current set of 51 exports. */
#define KESU_ABI_VERSION 0x0001000Eu
#define KESU_ABI_MAJOR(v) ((uint32_t)(v) >> 16)

/* Integer results. */
#define KESU_OK 0
#define KESU_ERR_ARGUMENT (-1)  /* NULL handle, or a missing / invalid argument */
#define KESU_ERR_SHUTDOWN (-2)  /* the core is shutting down (or its worker has gone) */
#define KESU_ERR_FAILED (-3)    /* failed; a message was stored in *err where there is one */
/* Function-specific results. */
#define KESU_ERR_MODEL_MISSING (-4)     /* kesu_set_engine: the engine's model is not installed */
#define KESU_ERR_DOWNLOAD_BUSY (-4)     /* kesu_models_pull: another download is running */
#define KESU_ERR_ALREADY_INSTALLED (-5) /* kesu_models_pull: the model is installed already */

/* Opaque core handle; one per process. */
typedef struct KesuCore KesuCore;

/* Event callback: `json` is one event envelope, valid only during the call. */
typedef void(KESU_CALL *kesu_event_cb)(const char *json, void *user);

/* ---- Life cycle, version, callback, memory ------------------------------------------------- */

/* Always KESU_ABI_VERSION. */
KESU_API uint32_t KESU_CALL kesu_abi_version(void);
/* Creates the core with `config_dir` (may be NULL: the environment or the default is used).
 * Returns NULL only when the core cannot start. */
KESU_API KesuCore *KESU_CALL kesu_core_new(const char *config_dir);
/* Shuts the core down (joins its worker; may take up to a few seconds) and releases the handle.
 * NULL is accepted. No event is delivered after it returns. */
KESU_API void KESU_CALL kesu_core_free(KesuCore *core);
/* Replaces the event callback. 0; -1 for a NULL handle or callback; -2 while shutting down. */
KESU_API int KESU_CALL kesu_set_event_cb(KesuCore *core, kesu_event_cb cb, void *user);
/* Removes the callback; later events are dropped. 0; -1. */
KESU_API int KESU_CALL kesu_clear_event_cb(KesuCore *core);
/* Test mode (non-zero = on): dictations run normally but nothing is persisted. 0; -1. */
KESU_API int KESU_CALL kesu_set_test_mode(KesuCore *core, int on);
/* Releases a string returned by the core. NULL is accepted. */
KESU_API void KESU_CALL kesu_string_free(char *s);

/* ---- Dictation control: each queues one command. 0; -1; -2 ------------------------------- */
/* Every export that queues a command returns -3 (with the message in *err where there is one)
 * while the queue is full: the host has sent far more than the worker has caught up with.
 * Configuration and hotword changes are never refused for this: only the newest one waits. */

KESU_API int KESU_CALL kesu_hotkey_down(KesuCore *core);
KESU_API int KESU_CALL kesu_hotkey_up(KesuCore *core);
KESU_API int KESU_CALL kesu_cancel(KesuCore *core);
/* The host's answer to a "submit_request" event: status "ok" means the text was inserted.
 * `task_id` and `status` are required, `detail` is optional. */
KESU_API int KESU_CALL kesu_submit_result(KesuCore *core, const char *task_id, const char *status,
                                          const char *detail);
KESU_API int KESU_CALL kesu_note_foreground_app(KesuCore *core, const char *app_name);
KESU_API int KESU_CALL kesu_meter_start(KesuCore *core);
KESU_API int KESU_CALL kesu_meter_stop(KesuCore *core);
KESU_API int KESU_CALL kesu_retry_failed(KesuCore *core);
/* `engine` must be exactly "sense", "qwen3" or "stub" (else -1); -4 when its model is missing. */
KESU_API int KESU_CALL kesu_set_engine(KesuCore *core, const char *engine);

/* ---- Debug and test entry points --------------------------------------------------------- */

/* Records for `seconds` without a key press. 0; -1; -2. */
KESU_API int KESU_CALL kesu_debug_record(KesuCore *core, int seconds);
/* Sends `text` through the end of the pipeline as if recognised. 0 (also while shutting down);
 * -1 for a NULL handle or text; -3 while the queue is full. */
KESU_API int KESU_CALL kesu_debug_submit_text(KesuCore *core, const char *text);
/* Makes the worker raise an internal failure. 0; -1; -2. */
KESU_API int KESU_CALL kesu_debug_panic(KesuCore *core);
/* Reads a WAV file as 16 kHz mono and queues it for recognition. Blocks for the file work.
 * 0; -1; -3 with the message. */
KESU_API int KESU_CALL kesu_decode_wav(KesuCore *core, const char *wav_path, char **err);

/* ---- Last result and failed segments ----------------------------------------------------- */

/* Copy of the last result, NULL when there is none. */
KESU_API char *KESU_CALL kesu_get_last_result(KesuCore *core);
KESU_API int KESU_CALL kesu_clear_last_result(KesuCore *core);
/* Deletes pending/last_result.txt in the core directory (errors ignored). */
KESU_API int KESU_CALL kesu_drop_last_result(KesuCore *core);
/* JSON array of the failed segment indexes of the last dictation, "[]" when none. */
KESU_API char *KESU_CALL kesu_failed_segments(KesuCore *core);
/* Queues a retry of one failed segment. 0; -1 for index < 0; -3 with the message. */
KESU_API int KESU_CALL kesu_retry_segment(KesuCore *core, int index, char **err);

/* ---- Configuration ----------------------------------------------------------------------- */

/* Flat JSON object of all settings. */
KESU_API char *KESU_CALL kesu_get_config_json(KesuCore *core);
/* The configuration as the commented TOML file text. */
KESU_API char *KESU_CALL kesu_get_config_toml(KesuCore *core);
/* Applies a JSON patch of settings. 0; -1 (text missing); -2 (shutting down); -3 (invalid). */
KESU_API int KESU_CALL kesu_set_config_json(KesuCore *core, const char *json, char **err);
/* Replaces the configuration with a TOML text. Results as kesu_set_config_json. */
KESU_API int KESU_CALL kesu_set_config_toml(KesuCore *core, const char *toml, char **err);

/* ---- Devices and diagnosis --------------------------------------------------------------- */

/* JSON of the input devices. */
KESU_API char *KESU_CALL kesu_list_devices(KesuCore *core);
/* Multi-line plain-text status report. */
KESU_API char *KESU_CALL kesu_diagnose(KesuCore *core);

/* ---- History and statistics -------------------------------------------------------------- */

/* JSON array of the newest min(limit, kept) entries, newest first; "[]" for limit <= 0 or with
 * history off. */
KESU_API char *KESU_CALL kesu_get_history(KesuCore *core, int limit);
/* 0 when the entry was removed; -1 for a missing argument or an unknown id. A removal emits the
 * core-level event "history_changed" (on the calling thread) with the statistics. */
KESU_API int KESU_CALL kesu_delete_history(KesuCore *core, const char *entry_id);
/* Removes every entry (statistics stay) and emits "history_changed". 0; -1. */
KESU_API int KESU_CALL kesu_clear_history(KesuCore *core);
/* JSON object of the usage statistics. */
KESU_API char *KESU_CALL kesu_get_stats(KesuCore *core);

/* ---- Hotwords and polish profiles -------------------------------------------------------- */

/* JSON {error?, path?, rules: [{from, to}]} of the hotword table. */
KESU_API char *KESU_CALL kesu_get_hotwords(KesuCore *core);
/* Replaces the table from a JSON array of {from, to} (or {rules: [...]}) and rewrites
 * hotwords.toml; the worker then emits "hotwords_changed". 0; -1 (text missing); -3 (refused). */
KESU_API int KESU_CALL kesu_set_hotwords(KesuCore *core, const char *text, char **err);
/* JSON {active, path, profiles: [...]} of the polish profiles. */
KESU_API char *KESU_CALL kesu_get_profiles(KesuCore *core);
/* Replaces the profiles from JSON and rewrites profiles.toml. 0; -1 (text missing); -3. */
KESU_API int KESU_CALL kesu_set_profiles(KesuCore *core, const char *text, char **err);
/* Makes the profile with exactly this name active. 0; -1 (name missing); -3 (no such profile, or
 * the file could not be written). */
KESU_API int KESU_CALL kesu_set_active_profile(KesuCore *core, const char *name, char **err);

/* ---- Models ------------------------------------------------------------------------------ */

KESU_API char *KESU_CALL kesu_models_list(KesuCore *core);
/* Starts a download. 0; -1; -3 unknown model; -4 a download is running; -5 already installed. */
KESU_API int KESU_CALL kesu_models_pull(KesuCore *core, const char *model_id, char **err);

/* ---- Polish service (blocking network calls: never from a UI thread) ---------------------- */

/* JSON array of model names. `err` is required (NULL: returns NULL at once); *err is set to
 * NULL on entry. */
KESU_API char *KESU_CALL kesu_polish_models(KesuCore *core, char **err);
KESU_API char *KESU_CALL kesu_polish_test(KesuCore *core, char **err);
/* Rewrites `selected_text` following `instruction`. */
KESU_API char *KESU_CALL kesu_run_command(KesuCore *core, const char *instruction,
                                          const char *selected_text, char **err);

/* ---- LAN server, diagnostics upload ------------------------------------------------------ */

KESU_API char *KESU_CALL kesu_lan_log(KesuCore *core);
/* Uploads a diagnostics bundle. 0; -1 (NULL handle); -3. A message is stored on success too. */
KESU_API int KESU_CALL kesu_upload_diag(KesuCore *core, const char *url, const char *bundle,
                                        char **msg);

/* ---- Voice lock -------------------------------------------------------------------------- */

KESU_API char *KESU_CALL kesu_voice_state(KesuCore *core);
/* Records an enrolment from the microphone; blocks while recording. seconds <= 0 means 8.
 * -3 with a message while a dictation records: one capture at a time. */
KESU_API int KESU_CALL kesu_voice_enroll_mic(KesuCore *core, int seconds, char **err);
KESU_API int KESU_CALL kesu_voice_enroll_wav(KesuCore *core, const char *wav_path, char **err);
KESU_API int KESU_CALL kesu_voice_clear(KesuCore *core, char **err);

/* Every function above, once and in order. Hosts that load the library at run time, and the
 * build's check of what the library exports, walk this list instead of keeping copies of it. */
#define KESU_CORE_EXPORTS(X)    \
  X(kesu_abi_version)           \
  X(kesu_core_new)              \
  X(kesu_core_free)             \
  X(kesu_set_event_cb)          \
  X(kesu_clear_event_cb)        \
  X(kesu_set_test_mode)         \
  X(kesu_string_free)           \
  X(kesu_hotkey_down)           \
  X(kesu_hotkey_up)             \
  X(kesu_cancel)                \
  X(kesu_submit_result)         \
  X(kesu_note_foreground_app)   \
  X(kesu_meter_start)           \
  X(kesu_meter_stop)            \
  X(kesu_retry_failed)          \
  X(kesu_set_engine)            \
  X(kesu_debug_record)          \
  X(kesu_debug_submit_text)     \
  X(kesu_debug_panic)           \
  X(kesu_decode_wav)            \
  X(kesu_get_last_result)       \
  X(kesu_clear_last_result)     \
  X(kesu_drop_last_result)      \
  X(kesu_failed_segments)       \
  X(kesu_retry_segment)         \
  X(kesu_get_config_json)       \
  X(kesu_get_config_toml)       \
  X(kesu_set_config_json)       \
  X(kesu_set_config_toml)       \
  X(kesu_list_devices)          \
  X(kesu_diagnose)              \
  X(kesu_get_history)           \
  X(kesu_delete_history)        \
  X(kesu_clear_history)         \
  X(kesu_get_stats)             \
  X(kesu_get_hotwords)          \
  X(kesu_set_hotwords)          \
  X(kesu_get_profiles)          \
  X(kesu_set_profiles)          \
  X(kesu_set_active_profile)    \
  X(kesu_models_list)           \
  X(kesu_models_pull)           \
  X(kesu_polish_models)         \
  X(kesu_polish_test)           \
  X(kesu_run_command)           \
  X(kesu_lan_log)               \
  X(kesu_upload_diag)           \
  X(kesu_voice_state)           \
  X(kesu_voice_enroll_mic)      \
  X(kesu_voice_enroll_wav)      \
  X(kesu_voice_clear)

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KESU_CORE_H */
