#pragma once

// The Audio settings page without Win32: the microphone rows from the device list, the option
// toggles, the level test texts, and the patch its save sends.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "settings/page_spec.h"

namespace kesu::shell {

inline constexpr std::string_view kSystemDefaultRow = "系统默认";
inline constexpr std::string_view kNoDeviceRow =
    "（现在没有可用的录音设备——虚拟机里常见，真机请插麦）";

struct InputDevice {
  std::string name;
  bool is_default = false;
  bool operator==(const InputDevice&) const = default;
};

// The device list as the core answers it ({"devices": [names], "default": name|null, …}); the
// older form with {"name", "default"} objects in `devices` is read as well. Entries without a
// usable name are left out.
std::vector<InputDevice> input_devices(const nlohmann::json& devices);

struct DeviceRows {
  std::vector<std::string> items;
  int selected = 0;
};

// "系统默认" first (it saves an empty device: follow the system's choice), then the devices. A
// configured device that is not connected stays as a row of its own, selected, so that saving
// the page does not quietly switch the microphone.
DeviceRows device_rows(const nlohmann::json& config, const nlohmann::json& devices);

// The `device` a row stands for: its name up to the ideographic space, trimmed; the
// "系统默认" row and the no-device row stand for the system default (empty).
std::string device_from_row(std::string_view row_text);

PageSpec audio_page(const nlohmann::json& config, const nlohmann::json& devices,
                    bool meter_running);

struct AudioInputs {
  std::optional<std::string> selected_row;  // the list's selected row text; none when no row
  bool denoise = false;
  bool pause_media = false;
  bool punct = true;
  bool source_lock = false;
};

nlohmann::json audio_save_patch(const AudioInputs& inputs);

// The level bar when the page is built: nothing measured yet.
std::string level_bar_idle_text(bool meter_running);
// The level bar for one level event.
std::string level_bar_text(double level);
std::string_view meter_button_caption(bool meter_running);
std::string_view meter_hint_text(bool meter_running);

}  // namespace kesu::shell
