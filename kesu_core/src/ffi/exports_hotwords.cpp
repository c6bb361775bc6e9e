// Hotword rules: the table as JSON, and its replacement (file first, then memory, then the
// worker's "hotwords_changed").

#include "ffi/boundary.h"
#include "hotwords/hotword_json.h"

using namespace kesu;
using namespace kesu::ffi;

extern "C" {

KESU_API char* KESU_CALL kesu_get_hotwords(KesuCore* handle) {
  return guard_pointer("kesu_get_hotwords", [&]() -> char* {
    Core* core = core_of(handle);
    if (core == nullptr) return nullptr;
    const nlohmann::json json = hotwords_to_json(*core->shared().hotwords.table());
    return new_c_string(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  });
}

KESU_API int KESU_CALL kesu_set_hotwords(KesuCore* handle, const char* text, char** err) {
  return guard_int("kesu_set_hotwords", err, [&] {
    Core* core = core_of(handle);
    if (core == nullptr) return KESU_ERR_ARGUMENT;
    const auto body = text_arg(text);
    if (!body) {
      set_message(err, "热词表为空");
      return KESU_ERR_ARGUMENT;
    }
    const std::filesystem::path path = hotwords_path(core->shared().config.snapshot()->core_dir);
    Result<std::vector<HotwordRule>> parsed = hotwords_from_json(*body);
    if (!parsed) {
      set_message(err, user_message(parsed.error()));
      return KESU_ERR_FAILED;
    }
    HotwordTable table(std::move(*parsed), path);
    const std::size_t count = table.rules().size();
    if (Status saved = core->shared().hotwords.save_and_replace(std::move(table)); !saved) {
      set_message(err, user_message(saved.error()));
      return KESU_ERR_FAILED;
    }
    // The table is in place either way; during shutdown nobody is left to announce it to.
    (void)core->post(cmd::HotwordsChanged{count});
    return KESU_OK;
  });
}

}  // extern "C"
