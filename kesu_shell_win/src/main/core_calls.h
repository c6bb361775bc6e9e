#pragma once

// Calls through the core binding with the shell's conventions: strings out are copied and freed
// at once, error messages are copied out of their slot, and a text holding a NUL is never passed.

#include <string>
#include <string_view>

#include "main/core_binding.h"

namespace kesu::shell {

struct CallResult {
  int code = 0;
  std::string message;  // from the core's err slot, or the shell's own text
};

struct TextResult {
  std::string text;   // empty when the core returned NULL
  std::string error;  // from the err slot
};

// Whether the core's models list marks `id` as installed. An unreadable list counts as
// installed: a broken answer must never start a download.
bool listed_as_installed(const std::string& models_list_json, std::string_view id);

class CoreCalls {
 public:
  explicit CoreCalls(const CoreBinding& b) : b_(b) {}

  const CoreBinding& binding() const { return b_; }

  std::string get_config_json() const;
  std::string get_config_toml() const;
  CallResult set_config_json(std::string_view json) const;
  std::string diagnose() const;
  std::string models_list() const;
  std::string get_stats() const;
  std::string get_history(int limit) const;
  std::string get_hotwords() const;
  CallResult set_hotwords(std::string_view json) const;
  std::string get_last_result() const;
  std::string failed_segments() const;
  CallResult retry_segment(int index) const;
  std::string voice_state() const;
  int delete_history(std::string_view id) const;
  int clear_last_result() const;
  int debug_record(int seconds) const;
  int debug_submit_text(std::string_view text) const;
  int set_test_mode(bool on) const;
  int note_foreground_app(std::string_view app) const;
  int submit_result(std::string_view task_id, std::string_view status,
                    std::string_view detail) const;
  int meter_start() const;
  int meter_stop() const;
  std::string list_devices() const;
  int hotkey_down() const;
  int hotkey_up() const;
  int cancel() const;
  std::string get_profiles() const;
  CallResult set_active_profile(std::string_view name) const;
  CallResult models_pull(std::string_view id) const;
  CallResult decode_wav(std::string_view path) const;
  CallResult voice_enroll_wav(std::string_view path) const;
  TextResult polish_models() const;
  TextResult polish_test() const;
  int set_event_cb(kesu_event_cb cb, void* user) const;
  void core_free() const;

 private:
  const CoreBinding& b_;
};

// Copies a core string (invalid UTF-8 replaced) and frees it; NULL reads as "".
std::string take_core_string(char* s);
bool has_nul(std::string_view text);

}  // namespace kesu::shell
