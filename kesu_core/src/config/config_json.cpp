#include "config/config_json.h"

#include <algorithm>
#include <system_error>

#include "config/config_rules.h"
#include "config/model_files.h"
#include "util/paths.h"

namespace kesu {

namespace fs = std::filesystem;
using nlohmann::json;

ConfigReadiness probe_readiness(const ConfigRecord& record) {
  const fs::path base = models_base(record.core_dir);
  ConfigReadiness ready;
  ready.voice_enrolled = is_file(record.core_dir / kVoicePrintFile);
  ready.voice_model_ready = is_file(base / kSpeakerModelFile);
  ready.punct_ready = is_file(punct_model_path(record.core_dir));
  ready.denoise_ready = is_file(gtcrn_model_path(record.core_dir));
  return ready;
}

json render_config_json(const ConfigRecord& r, const ConfigReadiness& ready) {
  json out = json::object();
  out["dir"] = path_to_utf8(r.core_dir);
  out["engine"] = r.engine_active;
  out["num_threads"] = r.engine_num_threads;
  out["model_dir"] = r.models_dir;
  out["vad_model"] = r.models_vad;
  out["qwen3_dir"] = r.models_qwen3;
  out["model_mirror"] = r.models_mirror;
  out["model_proxy"] = r.models_proxy;
  out["min_record_ms"] = r.audio_min_record_ms;
  out["max_record_secs"] = r.audio_max_record_secs;
  out["device"] = r.audio_device;
  out["pause_media"] = r.audio_pause_media;
  out["denoise"] = r.audio_denoise;
  out["voice_lock"] = r.audio_voice_lock;
  out["voice_lock_threshold"] = r.audio_voice_lock_threshold;
  out["source_lock"] = r.audio_source_lock;
  out["punct"] = r.audio_punct;
  out["insert_mode"] = r.insert_mode;
  out["insert_per_app"] = json(r.insert_per_app);
  out["history_enabled"] = r.history_enabled;
  out["history_limit"] = r.history_limit;
  out["privacy_mode"] = r.privacy_enabled;
  out["polish_enabled"] = r.polish_enabled;
  out["polish_level"] = r.polish_level;
  out["polish_endpoint"] = r.polish_endpoint;
  out["polish_model"] = r.polish_model;
  out["polish_timeout_ms"] = r.polish_timeout_ms;
  out["polish_has_key"] = !r.polish_api_key.empty();
  out["lan_enabled"] = r.lan_enabled;
  out["lan_port"] = r.lan_port;
  out["lan_allow_lan"] = r.lan_allow_lan;
  out["lan_has_token"] = !r.lan_token.empty();
  out["diag_upload_url"] = r.diag_upload_url;
  out["hotkey"] = r.hotkey_keys;
  out["onboarding_done"] = r.ui_onboarding_done;
  out["onboarding_probe_done"] = r.ui_onboarding_probe_done;
  out["launch_at_login"] = r.ui_launch_at_login;
  out["mini_window"] = r.ui_mini_window;
  out["voice_enrolled"] = ready.voice_enrolled;
  out["voice_model_ready"] = ready.voice_model_ready;
  out["punct_ready"] = ready.punct_ready;
  out["denoise_ready"] = ready.denoise_ready;
  out["load_warning"] = r.load_warning ? json(user_message(*r.load_warning)) : json(nullptr);
  return out;
}

namespace {

// Reads members of a patch object; absent, null or wrongly typed members change nothing.
class PatchReader {
 public:
  explicit PatchReader(const json& patch) : patch_(patch) {}

  const json* member(const char* name) const {
    const auto it = patch_.find(name);
    return it == patch_.end() ? nullptr : &*it;
  }

  void text(const char* name, std::string& out) const {
    if (const json* v = member(name); v && v->is_string()) out = v->get<std::string>();
  }

  void flag(const char* name, bool& out) const {
    if (const json* v = member(name); v && v->is_boolean()) out = v->get<bool>();
  }

  // A non-negative integer, as the member's unsigned value.
  std::optional<std::uint64_t> count(const char* name) const {
    const json* v = member(name);
    if (v == nullptr || !v->is_number_unsigned()) return std::nullopt;
    return v->get<std::uint64_t>();
  }

  void clamped(const char* name, std::int64_t& out, std::int64_t lo, std::int64_t hi) const {
    if (const auto v = count(name)) {
      out = static_cast<std::int64_t>(std::clamp<std::uint64_t>(*v, lo, hi));
    }
  }

 private:
  const json& patch_;
};

}  // namespace

Result<ConfigRecord> apply_config_json(const ConfigRecord& current, std::string_view json_text) {
  json patch;
  try {
    patch = json::parse(json_text);
  } catch (const json::exception& e) {
    return Error{ErrorCode::config_json_invalid, e.what()};
  }
  if (!patch.is_object()) return Error{ErrorCode::config_json_not_object, {}};

  ConfigRecord r = current;
  const PatchReader in(patch);

  if (const json* v = in.member("engine"); v && v->is_string()) {
    const std::string engine = v->get<std::string>();
    if (!is_engine_name(engine)) return Error{ErrorCode::config_engine_unknown, engine};
    r.engine_active = engine;
  }

  for (auto [name, field] :
       {std::pair{"model_dir", &r.models_dir}, std::pair{"vad_model", &r.models_vad},
        std::pair{"qwen3_dir", &r.models_qwen3}}) {
    if (const json* v = in.member(name); v && v->is_string()) {
      *field = expand_home(v->get<std::string>());
    }
  }
  for (const IntRule& rule : kIntRules) {
    in.clamped(rule.json_name, r.*rule.field, rule.min, rule.max);
  }

  in.text("device", r.audio_device);
  in.text("model_mirror", r.models_mirror);
  in.text("model_proxy", r.models_proxy);
  in.text("hotkey", r.hotkey_keys);
  in.text("polish_endpoint", r.polish_endpoint);
  in.text("polish_model", r.polish_model);
  in.text("diag_upload_url", r.diag_upload_url);

  if (const json* v = in.member("polish_api_key"); v && v->is_string()) {
    r.polish_api_key = trim(v->get<std::string>());
  }
  if (const json* v = in.member("lan_token"); v && v->is_string()) {
    r.lan_token = trim(v->get<std::string>());
  }

  in.flag("history_enabled", r.history_enabled);
  in.flag("privacy_mode", r.privacy_enabled);
  in.flag("pause_media", r.audio_pause_media);
  in.flag("denoise", r.audio_denoise);
  in.flag("onboarding_done", r.ui_onboarding_done);
  in.flag("onboarding_probe_done", r.ui_onboarding_probe_done);
  in.flag("voice_lock", r.audio_voice_lock);
  in.flag("source_lock", r.audio_source_lock);
  in.flag("punct", r.audio_punct);
  in.flag("polish_enabled", r.polish_enabled);
  in.flag("lan_enabled", r.lan_enabled);
  in.flag("lan_allow_lan", r.lan_allow_lan);
  in.flag("launch_at_login", r.ui_launch_at_login);
  in.flag("mini_window", r.ui_mini_window);

  if (const json* v = in.member("privacy"); v && v->is_object()) {
    if (const auto e = v->find("enabled"); e != v->end() && e->is_boolean()) {
      r.privacy_enabled = e->get<bool>();
    }
  }

  if (const json* v = in.member("voice_lock_threshold"); v && v->is_number()) {
    const double t = v->get<double>();
    if (t == t) {  // NaN cannot occur in JSON
      r.audio_voice_lock_threshold =
          std::clamp(t, kVoiceLockThresholdMin, kVoiceLockThresholdMax);
    }
  }

  if (const json* v = in.member("insert_mode"); v && v->is_string()) {
    if (auto mode = normalise_insert_mode(v->get<std::string>())) r.insert_mode = *mode;
  }
  if (const json* v = in.member("insert_per_app"); v && v->is_object()) {
    std::map<std::string, std::string> per_app;
    for (const auto& [app, mode] : v->items()) {
      if (!mode.is_string()) continue;
      if (auto normal = normalise_insert_mode(mode.get<std::string>())) per_app[app] = *normal;
    }
    r.insert_per_app = std::move(per_app);
  }

  if (const json* v = in.member("polish_level"); v && v->is_string()) {
    const std::string level = v->get<std::string>();
    const auto normal = normalise_polish_level(level);
    if (!normal) return Error{ErrorCode::polish_level_unknown, level};
    r.polish_level = *normal;
  }

  // Choosing a level without saying whether polish is on implies it. Only then: a patch about
  // something else must not switch polishing (and so network use) back on.
  if (in.member("polish_level") != nullptr && in.member("polish_enabled") == nullptr) {
    r.polish_enabled = r.polish_level != "off";
  }
  r.load_warning.reset();
  return r;
}

}  // namespace kesu
