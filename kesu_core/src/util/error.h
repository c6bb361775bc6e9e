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
  X(engine_unknown, "engine_unknown")                                                          \
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
  X(voice_clear_failed, "voice_clear_failed")

#define KESU_ERROR_CODES_RECOGNITION(X)

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

// A detail of several parts (a line number and a count, a reason and a path), kept apart by a
// newline that none of the parts holds; `user_message` takes them apart again.
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
