#include "settings/settings_controller.h"

#include "main/text.h"
#include "settings/audio_page.h"
#include "settings/frame_layout.h"
#include "settings/general_page.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

constexpr std::string_view kNoCore = "core 没起来";
constexpr std::string_view kPolishConsent =
    "开启润色后，每段转写文本都会发到你配置的服务端（比如 DeepSeek）。\n\n"
    "语音和模型仍然只在本机，只有整理后的文字和原文会经过网络。可以随时关掉。\n\n"
    "我明白，开启润色";

// Toggles that need a model: the model's id and the name the user reads.
struct ToggleModel {
  int id;
  std::string_view model;
  std::string_view display_name;
};
constexpr ToggleModel kToggleModels[] = {
    {kIdDenoise, "gtcrn", "降噪模型"},
    {kIdPunct, "punct", "标点模型"},
};

// Pages whose controls come later: a plain notice, never a half-working page.
PageSpec unbuilt_page(int page) {
  PageSpec spec;
  const std::string_view label = settings_pages()[static_cast<std::size_t>(clamp_page(page))].label;
  spec.controls.push_back(make_control(ControlKind::heading, kIdNone, std::string(label), 0, 24, 0, 0));
  spec.controls.push_back(make_control(ControlKind::label, kIdNone, "尚未实现", kContentX, 56, 420, 18));
  return spec;
}

}  // namespace

SettingsController::SettingsController(AppState& state, SettingsServices services)
    : state_(state), services_(std::move(services)) {}

Json SettingsController::read_config() {
  std::lock_guard lock(state_.mu);
  if (!state_.core) return Json::object();
  Json config = Json::parse(CoreCalls(*state_.core).get_config_json(), nullptr, false);
  return config.is_object() ? config : Json::object();
}

Json SettingsController::read_devices() {
  std::lock_guard lock(state_.mu);
  if (!state_.core) return Json::object();
  Json devices = Json::parse(CoreCalls(*state_.core).list_devices(), nullptr, false);
  return devices.is_discarded() ? Json::object() : devices;
}

PageSpec SettingsController::build_page() {
  PageSpec spec;
  switch (page_) {
    case 0: {
      const Json config = read_config();
      if (!paste_known_) {
        paste_selected_ = initial_paste_selected(config);
        paste_known_ = true;
      }
      spec = general_page(config);
      break;
    }
    case 2:
      spec = audio_page(read_config(), read_devices(), meter_running_);
      break;
    default:
      spec = unbuilt_page(page_);
      break;
  }
  for (const ControlSpec& control : spec.controls) {
    if (control.kind == ControlKind::toggle) toggles_[control.id] = control.on;
  }
  return spec;
}

bool SettingsController::toggle_on(int id) const {
  const auto it = toggles_.find(id);
  return it != toggles_.end() && it->second;
}

bool SettingsController::flip_toggle(int id) {
  const bool next = !toggle_on(id);
  if (next && id == kIdPolish && !services_.assume_consent && !services_.question(kPolishConsent)) {
    return false;
  }
  toggles_[id] = next;
  if (next) {
    for (const ToggleModel& needs : kToggleModels) {
      if (needs.id == id) download_if_missing(needs.model, needs.display_name);
    }
  }
  return true;
}

void SettingsController::download_if_missing(std::string_view model, std::string_view name) {
  std::lock_guard lock(state_.mu);
  if (!state_.core) return;
  const CoreCalls core(*state_.core);
  if (listed_as_installed(core.models_list(), model)) return;
  const CallResult r = core.models_pull(model);
  if (r.code == 0) {
    state_.views.tray->set_tooltip("言至：正在后台下载" + std::string(name) + "，装好会提示");
  } else if (r.code == -4) {
    state_.views.tray->set_tooltip("言至：已经有一个下载在跑，等它完成");
  }
}

void SettingsController::on_command(int id, int note, SettingsSurface& surface) {
  if (note != 0) return;  // only clicks act; list selection and edits wait for a save
  if (toggles_.count(id) > 0) {
    (void)flip_toggle(id);
    return;
  }
  if (find_hotkey_preset(id) != nullptr) {
    apply_preset(id, surface);
    return;
  }
  switch (id) {
    case kIdSave:
      if (page_ == 0) save_general(surface);
      if (page_ == 2) save_audio(surface);
      break;
    case kIdUse:
      if (page_ == 2) save_audio(surface);
      break;
    case kIdModePaste:
    case kIdModeKeystroke:
      paste_selected_ = id == kIdModePaste;
      surface.repaint();
      break;
    case kIdMeterButton:
      toggle_meter(surface);
      break;
    case kIdClose:
      surface.hide();
      break;
    default:
      break;
  }
}

void SettingsController::apply_preset(int id, SettingsSurface& surface) {
  const HotkeyPreset* preset = find_hotkey_preset(id);
  surface.set_key_capture_value(preset->value);
  surface.repaint();
  services_.log("HOTKEY PRESET " + std::string(preset->value));
  if (const auto patch = hotkey_preset_patch(*preset)) {
    (void)save_patch(*patch, surface);
  } else {
    surface.focus_key_capture();  // emptied: it waits for the new key
  }
}

CallResult SettingsController::send_patch(const Json& patch) {
  std::lock_guard lock(state_.mu);
  if (!state_.core) return {-1, std::string(kNoCore)};
  return CoreCalls(*state_.core).set_config_json(patch.dump());
}

void SettingsController::warn_save_failed(const CallResult& r) {
  services_.warning("保存失败（" + std::to_string(r.code) + "）：" + r.message);
}

bool SettingsController::save_patch(const Json& patch, SettingsSurface& surface) {
  const CallResult r = send_patch(patch);
  if (r.code != 0) {
    services_.warning("保存失败：" + r.message);
    return false;
  }
  services_.reload_shell_config();
  state_.views.tray->set_tooltip("言至：设置已保存");
  surface.rebuild();
  return true;
}

bool SettingsController::save_patch_quietly(const Json& patch) {
  const CallResult r = send_patch(patch);
  if (r.code != 0) warn_save_failed(r);
  return r.code == 0;
}

bool SettingsController::save_text_key(int id, std::string_view key, std::string_view confirmation,
                                       const SettingsSurface& surface) {
  const std::optional<std::string> text = surface.text_of(id);
  if (!text) return false;
  const std::string value(trim(*text));
  const CallResult r = send_patch(Json{{std::string(key), value}});
  if (r.code != 0) {
    warn_save_failed(r);
    return false;
  }
  services_.log("CFG " + std::string(key) + "=" + value + " " + std::string(confirmation));
  state_.views.tray->set_tooltip(confirmation);
  return true;
}

void SettingsController::on_enrolment_finished(SettingsSurface& surface) {
  if (const auto outcome = enrolment_.take()) {
    if (outcome->code != 0) {
      services_.log("VOICE 登记失败 " + outcome->message);
      services_.warning("声纹登记失败：" + outcome->message);
    } else if (save_patch_quietly(Json{{"voice_lock", true}})) {
      services_.log("VOICE 登记成功，voice_lock=true");
      state_.views.tray->set_tooltip("言至：声纹已登记");
    } else {
      // The save's warning has said why; the log must not claim the lock is on.
      services_.log("VOICE 登记成功，voice_lock 没存上");
    }
  }
  surface.rebuild();
}

void SettingsController::save_general(SettingsSurface& surface) {
  GeneralInputs inputs;
  inputs.hotkey = surface.key_capture_value().value_or("");
  inputs.min_record_text = surface.text_of(kIdMinRecord).value_or("");
  inputs.max_record_text = surface.text_of(kIdMaxRecord).value_or("");
  inputs.paste_selected = paste_selected_;
  inputs.privacy_mode = toggle_on(kIdPrivacy);
  inputs.launch_at_login = toggle_on(kIdLaunchAtLogin);
  // Read before the save rebuilds the page.
  const std::optional<std::string> per_app = surface.text_of(kIdPerApp);

  const GeneralSave save = general_save(inputs);
  if (save.patch && save_patch(*save.patch, surface)) {
    if (auto failed = services_.sync_autostart(inputs.launch_at_login)) {
      services_.log("AUTOSTART sync 失败：" + *failed);
      services_.warning("开机自启设置没写进注册表：" + *failed);
    }
  }
  // Why the key was not saved (unreadable, or left empty after "清空").
  if (save.hotkey != HotkeyOutcome::saved && !save.message.empty()) services_.warning(save.message);
  if (per_app) save_per_app_text(*per_app);
}

void SettingsController::save_per_app(SettingsSurface& surface) {
  if (const auto text = surface.text_of(kIdPerApp)) save_per_app_text(*text);
}

void SettingsController::save_per_app_text(std::string_view text) {
  const Json patch = per_app_patch(text);
  if (!save_patch_quietly(patch)) return;
  services_.log("CFG insert_per_app=" + patch["insert_per_app"].dump());
  state_.views.tray->set_tooltip("按应用覆盖已保存");
}

void SettingsController::save_audio(SettingsSurface& surface) {
  AudioInputs inputs;
  if (const auto row = surface.selected_row(kIdDeviceList); row && *row >= 0) {
    inputs.selected_row = surface.row_text(kIdDeviceList, *row);
  }
  inputs.denoise = toggle_on(kIdDenoise);
  inputs.pause_media = toggle_on(kIdPauseMedia);
  inputs.punct = toggle_on(kIdPunct);
  inputs.source_lock = toggle_on(kIdSourceLock);
  (void)save_patch(audio_save_patch(inputs), surface);
}

void SettingsController::toggle_meter(SettingsSurface& surface) {
  if (meter_running_) {
    stop_meter();
    surface.rebuild();
  } else {
    (void)start_meter(surface);
  }
}

int SettingsController::start_meter(SettingsSurface& surface) {
  int rc = -1;
  {
    std::lock_guard lock(state_.mu);
    if (state_.core) rc = CoreCalls(*state_.core).meter_start();
  }
  meter_running_ = rc == 0 || meter_running_;
  surface.rebuild();
  return rc;
}

void SettingsController::stop_meter() {
  if (!meter_running_) return;
  meter_running_ = false;
  std::lock_guard lock(state_.mu);
  if (state_.core) (void)CoreCalls(*state_.core).meter_stop();
}

std::optional<std::string> SettingsController::level_text(float level) const {
  if (!meter_running_) return std::nullopt;
  return level_bar_text(level);
}

}  // namespace kesu::shell
