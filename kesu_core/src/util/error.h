#pragma once

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

#define KESU_ERROR_CODES_STORAGE(X)

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
