#include "main/core_loader.h"

#include <mutex>

#include "main/text.h"

namespace kesu::shell {

namespace {

std::mutex g_free_mu;
decltype(&::kesu_string_free) g_string_free = nullptr;  // guarded by g_free_mu

// Looks up one export into `slot`; remembers the first missing name.
template <class Fn>
void bind(Library& lib, const char* name, Fn& slot, std::string& missing) {
  if (!missing.empty()) return;
  slot = reinterpret_cast<Fn>(lib.symbol(name));
  if (slot == nullptr) missing = name;
}

#define BIND(field) bind(lib, #field, b.field, missing)

LoadResult bind_steps(Library& lib, const std::filesystem::path& data_dir);

}  // namespace

void set_string_free(decltype(&::kesu_string_free) fn) {
  std::lock_guard lock(g_free_mu);
  g_string_free = fn;
}

void free_core_string(char* s) {
  if (s == nullptr) return;
  std::lock_guard lock(g_free_mu);
  if (g_string_free != nullptr) g_string_free(s);
}

LoadResult bind_core(Library& lib, const std::filesystem::path& data_dir) {
  LoadResult result = bind_steps(lib, data_dir);
  // A failed load unloads the library: the slot must not keep pointing into it.
  if (!result.binding) set_string_free(nullptr);
  return result;
}

namespace {

LoadResult bind_steps(Library& lib, const std::filesystem::path& data_dir) {
  std::string missing;
  decltype(&::kesu_abi_version) abi_version = nullptr;
  bind(lib, "kesu_abi_version", abi_version, missing);
  if (!missing.empty()) return {std::nullopt, "缺少导出 " + missing};
  const unsigned major = abi_version() >> 16;
  if (major != 1) return {std::nullopt, "ABI 主版本不匹配：dll=" + std::to_string(major) + "，壳=1"};

  CoreBinding b;
  decltype(&::kesu_core_new) core_new = nullptr;
  bind(lib, "kesu_core_new", core_new, missing);
  BIND(kesu_core_free);
  BIND(kesu_set_event_cb);
  BIND(kesu_hotkey_down);
  BIND(kesu_hotkey_up);
  BIND(kesu_cancel);
  BIND(kesu_submit_result);
  BIND(kesu_get_last_result);
  BIND(kesu_string_free);
  if (missing.empty()) set_string_free(b.kesu_string_free);
  BIND(kesu_diagnose);
  BIND(kesu_debug_record);
  BIND(kesu_clear_last_result);
  BIND(kesu_debug_submit_text);
  BIND(kesu_note_foreground_app);
  BIND(kesu_models_pull);
  BIND(kesu_decode_wav);
  BIND(kesu_get_config_json);
  BIND(kesu_set_config_json);
  BIND(kesu_set_config_toml);
  if (!missing.empty()) return {std::nullopt, "缺少导出 " + missing};

  const std::string dir = path_to_utf8(data_dir);
  b.core = core_new(dir.c_str());
  if (b.core == nullptr) return {std::nullopt, kCoreNewFailed};

  BIND(kesu_get_profiles);
  BIND(kesu_run_command);
  BIND(kesu_failed_segments);
  BIND(kesu_delete_history);
  BIND(kesu_retry_failed);
  BIND(kesu_retry_segment);
  BIND(kesu_models_list);
  BIND(kesu_list_devices);
  BIND(kesu_get_config_toml);
  BIND(kesu_get_hotwords);
  BIND(kesu_set_hotwords);
  BIND(kesu_get_stats);
  BIND(kesu_clear_history);
  BIND(kesu_get_history);
  BIND(kesu_set_profiles);
  BIND(kesu_set_active_profile);
  BIND(kesu_meter_start);
  BIND(kesu_meter_stop);
  BIND(kesu_voice_enroll_mic);
  BIND(kesu_voice_clear);
  BIND(kesu_voice_state);
  BIND(kesu_polish_test);
  BIND(kesu_polish_models);
  BIND(kesu_lan_log);
  BIND(kesu_set_test_mode);
  BIND(kesu_voice_enroll_wav);
  BIND(kesu_upload_diag);
  if (!missing.empty()) {
    // The core's threads already run: shut it down before the library can be unloaded.
    b.kesu_core_free(b.core);
    return {std::nullopt, "缺少导出 " + missing};
  }
  return {b, {}};
}

}  // namespace

#undef BIND

LoadResult load_core(const std::filesystem::path& data_dir, const LoaderInputs& in) {
  write_models(data_dir, in.payloads, in.log);
  const Placement placed = place_core_library(in.exe_dir, data_dir, in.payloads, in.log);
  if (!placed.error.empty()) return {std::nullopt, placed.error};

  std::string os_error;
  std::unique_ptr<Library> lib = in.opener->open(placed.library, os_error);
  if (!lib) {
    return {std::nullopt,
            "LoadLibraryW(" + path_to_utf8(placed.library) + ") 失败：" + sanitize_utf8(os_error)};
  }
  LoadResult result = bind_core(*lib, data_dir);
  if (result.binding) lib->keep_loaded();
  return result;
}

}  // namespace kesu::shell
