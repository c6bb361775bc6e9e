#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace kesu {

// Every failure the core can report, by a code that code may decide on. The sentence a person
// reads is made from the code and the detail by `user_message`, in one place; nothing decides
// by comparing message text.
//
// The list is an X-macro so that the code names (stable: they reach logs, events and the LAN
// answers) and the enum cannot drift apart. Add new codes at the end of their group.
#define KESU_ERROR_CODES(X)                                                                    \
  /* Storage and settings: kept separate from the recognition group below. */                 \
  KESU_ERROR_CODES_STORAGE(X)                                                                  \
  /* Recognition, dictation and the LAN service. */                                           \
  KESU_ERROR_CODES_RECOGNITION(X)                                                              \
  /* Anything without a code of its own; the detail is the whole sentence. */                 \
  X(other, "other")

#define KESU_ERROR_CODES_STORAGE(X)                                                            \
  /* Files and child processes; the detail is the system's reason. */                          \
  X(file_write_failed, "file_write_failed")                                                    \
  X(file_mode_failed, "file_mode_failed")                                                      \
  X(file_replace_failed, "file_replace_failed")                                                \
  X(backups_full, "backups_full") /* detail: the first backup's path */                        \
  X(no_program, "no_program")                                                                  \
  X(child_start_failed, "child_start_failed")                                                  \
  X(child_wait_failed, "child_wait_failed")                                                    \
  /* Settings (config.toml and its JSON form). */                                              \
  X(config_unreadable, "config_unreadable")                                                    \
  X(config_is_directory, "config_is_directory")                                                \
  X(config_open_failed, "config_open_failed")                                                  \
  X(config_read_failed, "config_read_failed")                                                  \
  X(config_parse_failed, "config_parse_failed")                                                \
  X(config_parse_failed_backed_up, "config_parse_failed_backed_up")                            \
  X(config_adjusted, "config_adjusted")                                                        \
  X(config_patch_adjusted, "config_patch_adjusted")                                            \
  X(config_default_unwritable, "config_default_unwritable")                                    \
  X(config_dir_failed, "config_dir_failed")                                                    \
  X(config_write_failed, "config_write_failed")                                                \
  X(config_replace_failed, "config_replace_failed")                                            \
  X(toml_syntax, "toml_syntax")                                                                \
  X(config_section_not_table, "config_section_not_table")                                      \
  X(config_expects_text, "config_expects_text")                                                \
  X(config_expects_flag, "config_expects_flag")                                                \
  X(config_expects_count, "config_expects_count")                                              \
  X(config_expects_number, "config_expects_number")                                            \
  X(config_expects_app_map, "config_expects_app_map")                                          \
  X(config_json_invalid, "config_json_invalid")                                                \
  X(config_json_not_object, "config_json_not_object")                                          \
  X(config_text_invalid, "config_text_invalid")                                                \
  X(config_engine_unknown, "config_engine_unknown")                                            \
  X(engine_active_unknown, "engine_active_unknown")                                            \
  X(polish_level_unknown, "polish_level_unknown")                                              \
  /* Hotwords. */                                                                              \
  X(hotwords_malformed, "hotwords_malformed")                                                  \
  X(hotwords_unbound, "hotwords_unbound")                                                      \
  X(hotwords_write_failed, "hotwords_write_failed")                                            \
  X(hotwords_json_invalid, "hotwords_json_invalid")                                            \
  X(hotwords_rules_missing, "hotwords_rules_missing")                                          \
  X(hotwords_wrong_shape, "hotwords_wrong_shape")                                              \
  /* Polish profiles. */                                                                       \
  X(profiles_toml_syntax, "profiles_toml_syntax")                                              \
  X(profile_expects_text, "profile_expects_text")                                              \
  X(profiles_active_not_text, "profiles_active_not_text")                                      \
  X(profiles_not_tables, "profiles_not_tables")                                                \
  X(profile_nameless, "profile_nameless")                                                      \
  X(profiles_none_in_file, "profiles_none_in_file")                                            \
  X(profiles_write_failed, "profiles_write_failed")                                            \
  X(profiles_json_invalid, "profiles_json_invalid")                                            \
  X(profiles_array_missing, "profiles_array_missing")                                          \
  X(profiles_empty, "profiles_empty")                                                          \
  X(profile_unknown, "profile_unknown")                                                        \
  /* History files; the detail lists what was found wrong. */                                  \
  X(history_damaged, "history_damaged")                                                        \
  /* The voice print. */                                                                       \
  X(voice_model_missing, "voice_model_missing")                                                \
  X(voice_sample_too_short, "voice_sample_too_short")                                          \
  X(voice_print_uncomputable, "voice_print_uncomputable")                                      \
  X(voice_print_write_failed, "voice_print_write_failed")                                      \
  X(voice_mic_busy, "voice_mic_busy")                                                          \
  X(voice_nothing_recorded, "voice_nothing_recorded")                                          \
  X(voice_clear_failed, "voice_clear_failed")                                                  \
  /* HTTP requests. */                                                                         \
  X(http_init_failed, "http_init_failed")                                                      \
  X(out_of_memory, "out_of_memory")                                                            \
  X(http_response_too_big, "http_response_too_big")                                            \
  X(http_timed_out, "http_timed_out")                                                          \
  X(http_transport_failed, "http_transport_failed")                                            \
  X(http_cannot_connect, "http_cannot_connect")                                                \
  X(http_name_not_resolved, "http_name_not_resolved")                                          \
  X(http_connection_broken, "http_connection_broken")                                          \
  X(http_tls_failed, "http_tls_failed")                                                        \
  X(http_bad_url, "http_bad_url")                                                              \
  X(http_network_error, "http_network_error")                                                  \
  /* The polish service. */                                                                    \
  X(chat_http_status, "chat_http_status")                                                      \
  X(chat_reply_not_json, "chat_reply_not_json")                                                \
  X(chat_no_content, "chat_no_content")                                                        \
  X(polish_no_endpoint, "polish_no_endpoint")                                                  \
  X(polish_no_key, "polish_no_key")                                                            \
  X(polish_unreachable, "polish_unreachable")                                                  \
  X(polish_truncated, "polish_truncated")                                                      \
  X(polish_result_empty, "polish_result_empty")                                                \
  X(polish_result_too_long, "polish_result_too_long")                                          \
  X(polish_result_too_short, "polish_result_too_short")                                        \
  X(polish_result_rejected, "polish_result_rejected")                                          \
  X(polish_level_off, "polish_level_off")                                                      \
  X(polish_sample_no_key, "polish_sample_no_key")                                              \
  X(polish_sample_failed, "polish_sample_failed")                                              \
  X(models_no_key, "models_no_key")                                                            \
  X(models_unreachable, "models_unreachable")                                                  \
  X(models_http_status, "models_http_status")                                                  \
  X(models_not_json, "models_not_json")                                                        \
  X(models_none_listed, "models_none_listed")                                                  \
  X(rewrite_no_endpoint, "rewrite_no_endpoint")                                                \
  X(rewrite_no_key, "rewrite_no_key")                                                          \
  X(rewrite_nothing_selected, "rewrite_nothing_selected")                                      \
  X(rewrite_unreachable, "rewrite_unreachable")                                                \
  X(rewrite_empty_reply, "rewrite_empty_reply")                                                \
  /* Model downloads. */                                                                       \
  X(download_cancelled, "download_cancelled")                                                  \
  X(curl_start_failed, "curl_start_failed")                                                    \
  X(curl_wait_failed, "curl_wait_failed")                                                      \
  X(download_failed, "download_failed")                                                        \
  X(download_file_missing, "download_file_missing")                                            \
  X(download_rename_failed, "download_rename_failed")                                          \
  X(model_copy_failed, "model_copy_failed")                                                    \
  X(tar_start_failed, "tar_start_failed")                                                      \
  X(unpack_failed, "unpack_failed")                                                            \
  X(download_dir_failed, "download_dir_failed")                                                \
  X(no_download_url, "no_download_url")                                                        \
  X(download_unusable, "download_unusable") /* detail: why the installed model does not load */

#define KESU_ERROR_CODES_RECOGNITION(X)                                                        \
  /* Engines and model loading. */                                                             \
  X(sherpa_unavailable, "sherpa_unavailable")                                                  \
  X(engine_unknown, "engine_unknown")                                                          \
  X(sense_model_missing, "sense_model_missing")                                                \
  X(qwen3_model_missing, "qwen3_model_missing")                                                \
  X(model_files_incomplete, "model_files_incomplete")                                          \
  X(sense_create_failed, "sense_create_failed")                                                \
  X(qwen3_create_failed, "qwen3_create_failed")                                                \
  X(model_unreadable, "model_unreadable")                                                      \
  X(model_checker_missing, "model_checker_missing")                                            \
  X(model_check_start_failed, "model_check_start_failed")                                      \
  X(model_check_timed_out, "model_check_timed_out")                                            \
  X(model_check_signalled, "model_check_signalled")                                            \
  X(model_check_exit_code, "model_check_exit_code")                                            \
  X(vad_model_missing, "vad_model_missing")                                                    \
  X(vad_create_failed, "vad_create_failed")                                                    \
  X(model_marker_missing, "model_marker_missing")                                              \
  X(punct_load_failed, "punct_load_failed")                                                    \
  X(audio_too_long, "audio_too_long")                                                          \
  X(recognition_failed, "recognition_failed")                                                  \
  X(no_engine, "no_engine")                                                                    \
  /* The dictation pipeline. */                                                                \
  X(no_audio, "no_audio")                                                                      \
  X(injected_fault, "injected_fault")                                                          \
  X(core_closing, "core_closing")                                                              \
  X(pending_wav_rate, "pending_wav_rate")                                                      \
  X(last_result_write_failed, "last_result_write_failed")                                      \
  /* Audio files and capture. */                                                               \
  X(wav_too_short, "wav_too_short")                                                            \
  X(wav_not_riff, "wav_not_riff")                                                              \
  X(wav_fmt_incomplete, "wav_fmt_incomplete")                                                  \
  X(wav_fmt_ext_incomplete, "wav_fmt_ext_incomplete")                                          \
  X(wav_no_fmt, "wav_no_fmt")                                                                  \
  X(wav_no_data, "wav_no_data")                                                                \
  X(wav_encoding, "wav_encoding")                                                              \
  X(wav_bits, "wav_bits")                                                                      \
  X(wav_no_channels, "wav_no_channels")                                                        \
  X(wav_rate, "wav_rate")                                                                      \
  X(wav_block_align, "wav_block_align")                                                        \
  X(wav_file_error, "wav_file_error")                                                          \
  X(wav_file_too_big, "wav_file_too_big")                                                      \
  X(wav_open_failed, "wav_open_failed")                                                        \
  X(wav_read_failed, "wav_read_failed")                                                        \
  X(resampler_failed, "resampler_failed")                                                      \
  X(wav_unreadable, "wav_unreadable")                                                          \
  X(wav_dir_failed, "wav_dir_failed")                                                          \
  X(wav_write_failed, "wav_write_failed")                                                      \
  X(mic_list_failed, "mic_list_failed")                                                        \
  X(mic_none, "mic_none")                                                                      \
  X(mic_device_missing, "mic_device_missing")                                                  \
  X(mic_rate_unknown, "mic_rate_unknown")                                                      \
  X(mic_format_unsupported, "mic_format_unsupported")                                          \
  X(mic_open_failed, "mic_open_failed")                                                        \
  X(mic_start_failed, "mic_start_failed")                                                      \
  X(mic_stream_ended, "mic_stream_ended")                                                      \
  X(mic_never_sent, "mic_never_sent")                                                          \
  X(mic_stalled, "mic_stalled")                                                                \
  X(mic_unplug_simulated, "mic_unplug_simulated")                                              \
  X(denoiser_create_failed, "denoiser_create_failed")                                          \
  X(denoiser_rate, "denoiser_rate")                                                            \
  /* The LAN service: lan_no_token and lan_failed are also the event codes that report them. */\
  X(socket_error, "socket_error")                                                              \
  X(lan_listen_failed, "lan_listen_failed")                                                    \
  X(lan_port_failed, "lan_port_failed")                                                        \
  X(lan_thread_failed, "lan_thread_failed")                                                    \
  X(lan_no_token, "lan_no_token")                                                              \
  X(lan_failed, "lan_failed")

enum class ErrorCode {
#define KESU_ERROR_ENUM(id, name) id,
  KESU_ERROR_CODES(KESU_ERROR_ENUM)
#undef KESU_ERROR_ENUM
};

// The code's stable name ("no_audio", …).
std::string_view error_code_name(ErrorCode code);

struct Error {
  ErrorCode code = ErrorCode::other;
  std::string detail;  // what the sentence needs beyond the code: a path, the system's reason

  friend bool operator==(const Error&, const Error&) = default;
};

// A detail of several parts (a line number and a count, a path and a reason), kept apart by
// newlines; `user_message` takes them apart again. Only the last part may hold line breaks.
std::string detail_parts(std::initializer_list<std::string_view> parts);

// The sentence for people. The only place where failure sentences are composed.
std::string user_message(const Error& error);

// A value or the reason there is none.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}   // NOLINT: implicit by design
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// Success, or the reason it failed: for operations that produce nothing.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}  // NOLINT: implicit by design
  static Status success() { return {}; }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace kesu
