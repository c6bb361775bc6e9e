#include "main/core_calls.h"

#include <nlohmann/json.hpp>

#include "main/text.h"

namespace kesu::shell {

bool listed_as_installed(const std::string& models_list_json, std::string_view id) {
  const nlohmann::json parsed = nlohmann::json::parse(models_list_json, nullptr, false);
  if (!parsed.is_array()) return true;
  for (const nlohmann::json& row : parsed) {
    if (!row.is_object()) continue;
    const auto name = row.find("id");
    if (name == row.end() || !name->is_string() || name->get<std::string>() != id) continue;
    const auto installed = row.find("installed");
    return installed == row.end() || !installed->is_boolean() || installed->get<bool>();
  }
  return true;
}

namespace {

// A holder for the core's `char** err` slot that copies and frees whatever the core put there.
class ErrSlot {
 public:
  ErrSlot() = default;
  ErrSlot(const ErrSlot&) = delete;
  ErrSlot& operator=(const ErrSlot&) = delete;
  ~ErrSlot() { free_core_string(ptr_); }
  char** out() { return &ptr_; }
  std::string take() {
    std::string text = take_core_string(ptr_);
    ptr_ = nullptr;
    return text;
  }

 private:
  char* ptr_ = nullptr;
};

}  // namespace

std::string take_core_string(char* s) {
  if (s == nullptr) return {};
  std::string text = sanitize_utf8(s);
  free_core_string(s);
  return text;
}

bool has_nul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

std::string CoreCalls::get_config_json() const {
  return take_core_string(b_.kesu_get_config_json(b_.core));
}

std::string CoreCalls::get_config_toml() const {
  return take_core_string(b_.kesu_get_config_toml(b_.core));
}

CallResult CoreCalls::set_config_json(std::string_view json) const {
  if (has_nul(json)) return {KESU_ERR_ARGUMENT, "配置里有非法字符"};
  ErrSlot err;
  const std::string text(json);
  const int code = b_.kesu_set_config_json(b_.core, text.c_str(), err.out());
  return {code, err.take()};
}

int CoreCalls::hotkey_down() const { return b_.kesu_hotkey_down(b_.core); }
int CoreCalls::hotkey_up() const { return b_.kesu_hotkey_up(b_.core); }
int CoreCalls::cancel() const { return b_.kesu_cancel(b_.core); }

std::string CoreCalls::get_profiles() const {
  return take_core_string(b_.kesu_get_profiles(b_.core));
}

CallResult CoreCalls::set_active_profile(std::string_view name) const {
  if (has_nul(name)) return {KESU_ERR_ARGUMENT, "档名里有非法字符"};
  ErrSlot err;
  const std::string text(name);
  const int code = b_.kesu_set_active_profile(b_.core, text.c_str(), err.out());
  return {code, err.take()};
}

std::string CoreCalls::diagnose() const { return take_core_string(b_.kesu_diagnose(b_.core)); }

std::string CoreCalls::models_list() const {
  return take_core_string(b_.kesu_models_list(b_.core));
}

std::string CoreCalls::get_stats() const { return take_core_string(b_.kesu_get_stats(b_.core)); }

std::string CoreCalls::get_history(int limit) const {
  return take_core_string(b_.kesu_get_history(b_.core, limit));
}

std::string CoreCalls::get_hotwords() const {
  return take_core_string(b_.kesu_get_hotwords(b_.core));
}

std::string CoreCalls::get_last_result() const {
  return take_core_string(b_.kesu_get_last_result(b_.core));
}

std::string CoreCalls::failed_segments() const {
  return take_core_string(b_.kesu_failed_segments(b_.core));
}

CallResult CoreCalls::retry_segment(int index) const {
  ErrSlot err;
  const int code = b_.kesu_retry_segment(b_.core, index, err.out());
  return {code, err.take()};
}

std::string CoreCalls::voice_state() const {
  return take_core_string(b_.kesu_voice_state(b_.core));
}

int CoreCalls::delete_history(std::string_view id) const {
  if (has_nul(id)) return KESU_ERR_ARGUMENT;
  return b_.kesu_delete_history(b_.core, std::string(id).c_str());
}

int CoreCalls::clear_last_result() const { return b_.kesu_clear_last_result(b_.core); }

int CoreCalls::debug_record(int seconds) const { return b_.kesu_debug_record(b_.core, seconds); }

int CoreCalls::debug_submit_text(std::string_view text) const {
  if (has_nul(text)) return KESU_ERR_ARGUMENT;
  return b_.kesu_debug_submit_text(b_.core, std::string(text).c_str());
}

int CoreCalls::set_test_mode(bool on) const { return b_.kesu_set_test_mode(b_.core, on ? 1 : 0); }

int CoreCalls::note_foreground_app(std::string_view app) const {
  if (has_nul(app)) return KESU_ERR_ARGUMENT;
  return b_.kesu_note_foreground_app(b_.core, std::string(app).c_str());
}

int CoreCalls::submit_result(std::string_view task_id, std::string_view status,
                             std::string_view detail) const {
  if (has_nul(task_id) || has_nul(status) || has_nul(detail)) return KESU_ERR_ARGUMENT;
  return b_.kesu_submit_result(b_.core, std::string(task_id).c_str(), std::string(status).c_str(),
                               std::string(detail).c_str());
}

CallResult CoreCalls::set_hotwords(std::string_view json) const {
  if (has_nul(json)) return {KESU_ERR_ARGUMENT, "热词里有非法字符"};
  ErrSlot err;
  const int code = b_.kesu_set_hotwords(b_.core, std::string(json).c_str(), err.out());
  return {code, err.take()};
}

int CoreCalls::meter_start() const { return b_.kesu_meter_start(b_.core); }

int CoreCalls::meter_stop() const { return b_.kesu_meter_stop(b_.core); }

std::string CoreCalls::list_devices() const {
  return take_core_string(b_.kesu_list_devices(b_.core));
}

CallResult CoreCalls::models_pull(std::string_view id) const {
  if (has_nul(id)) return {KESU_ERR_ARGUMENT, {}};
  ErrSlot err;
  const int code = b_.kesu_models_pull(b_.core, std::string(id).c_str(), err.out());
  return {code, err.take()};
}

CallResult CoreCalls::decode_wav(std::string_view path) const {
  if (has_nul(path)) return {KESU_ERR_ARGUMENT, {}};
  ErrSlot err;
  const int code = b_.kesu_decode_wav(b_.core, std::string(path).c_str(), err.out());
  return {code, err.take()};
}

CallResult CoreCalls::voice_enroll_wav(std::string_view path) const {
  if (has_nul(path)) return {KESU_ERR_ARGUMENT, {}};
  ErrSlot err;
  const int code = b_.kesu_voice_enroll_wav(b_.core, std::string(path).c_str(), err.out());
  return {code, err.take()};
}

TextResult CoreCalls::polish_models() const {
  ErrSlot err;
  std::string text = take_core_string(b_.kesu_polish_models(b_.core, err.out()));
  return {std::move(text), err.take()};
}

TextResult CoreCalls::polish_test() const {
  ErrSlot err;
  std::string text = take_core_string(b_.kesu_polish_test(b_.core, err.out()));
  return {std::move(text), err.take()};
}

int CoreCalls::set_event_cb(kesu_event_cb cb, void* user) const {
  return b_.kesu_set_event_cb(b_.core, cb, user);
}

void CoreCalls::core_free() const { b_.kesu_core_free(b_.core); }

}  // namespace kesu::shell
