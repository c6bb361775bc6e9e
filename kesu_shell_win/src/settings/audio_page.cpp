#include "settings/audio_page.h"

#include <algorithm>
#include <cmath>

#include "main/json_members.h"
#include "main/text.h"

namespace kesu::shell {
namespace {

constexpr std::string_view kIdeographicSpace = "　";  // U+3000
constexpr std::string_view kDefaultSuffix = "　（系统默认）";
constexpr std::string_view kAbsentSuffix = "　（未连接）";
constexpr int kLevelCells = 14;
constexpr int kIdleCells = 20;

std::string repeat(std::string_view cell, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += cell;
  return out;
}

ControlSpec toggle(int id, std::string_view text, int y, bool on) {
  ControlSpec c = make_control(ControlKind::toggle, id, std::string(text), 196, y, 560, 28);
  c.on = on;
  return c;
}

// Right of the toggle's switch, centred on the toggle's height.
ControlSpec marker_after_toggle(std::string_view text, int toggle_y) {
  return make_control(ControlKind::info_marker, kIdNone, std::string(text), 196 + 560 + 8, toggle_y + 5, 16, 18);
}

}  // namespace

std::vector<InputDevice> input_devices(const nlohmann::json& devices) {
  std::vector<InputDevice> out;
  if (!devices.is_object()) return out;
  const auto list = devices.find("devices");
  if (list == devices.end() || !list->is_array()) return out;
  const auto top_default = devices.find("default");
  const std::string default_name = top_default != devices.end() && top_default->is_string()
                                       ? top_default->get<std::string>()
                                       : std::string();
  for (const nlohmann::json& entry : *list) {
    InputDevice device;
    if (entry.is_string()) {
      device.name = entry.get<std::string>();
    } else if (entry.is_object()) {
      const auto name = entry.find("name");
      if (name == entry.end() || !name->is_string()) continue;
      device.name = name->get<std::string>();
      device.is_default = bool_member(entry, "default", false);
    } else {
      continue;
    }
    if (device.name.empty()) continue;
    device.is_default = device.is_default || device.name == default_name;
    out.push_back(std::move(device));
  }
  return out;
}

DeviceRows device_rows(const nlohmann::json& config, const nlohmann::json& devices) {
  const std::vector<InputDevice> present = input_devices(devices);
  const std::string wanted = string_member(config, "device");

  DeviceRows rows;
  rows.items.emplace_back(kSystemDefaultRow);
  rows.selected = 0;
  const bool connected = std::any_of(present.begin(), present.end(),
                                     [&](const InputDevice& d) { return d.name == wanted; });
  if (!wanted.empty() && !connected) {
    // Right below "系统默认", where it is seen without scrolling.
    rows.items.push_back(wanted + std::string(kAbsentSuffix));
    rows.selected = 1;
  }
  for (const InputDevice& d : present) {
    if (!wanted.empty() && d.name == wanted && rows.selected == 0) {
      rows.selected = static_cast<int>(rows.items.size());
    }
    rows.items.push_back(d.is_default ? d.name + std::string(kDefaultSuffix) : d.name);
  }
  if (present.empty()) rows.items.emplace_back(kNoDeviceRow);
  return rows;
}

std::string device_from_row(std::string_view row_text) {
  if (row_text == kSystemDefaultRow || row_text == kNoDeviceRow) return {};
  return std::string(trim(row_text.substr(0, row_text.find(kIdeographicSpace))));
}

PageSpec audio_page(const nlohmann::json& config, const nlohmann::json& devices,
                    bool meter_running) {
  const bool denoise_ready = bool_member(config, "denoise_ready", false);
  const bool punct_ready = bool_member(config, "punct_ready", false);
  DeviceRows rows = device_rows(config, devices);

  PageSpec page;
  auto& c = page.controls;
  c.push_back(make_control(ControlKind::heading, kIdNone, "麦克风", 196, 24, 664, 20));
  ControlSpec list = make_control(ControlKind::list_box, kIdDeviceList, "", 196, 56, 664, 138);
  list.items = std::move(rows.items);
  list.selected = rows.selected;
  c.push_back(std::move(list));
  c.push_back(make_control(ControlKind::primary_button, kIdUse, "使用选中设备", 196, 206, 130, 34));

  c.push_back(toggle(kIdDenoise, denoise_ready ? "背景降噪" : "背景降噪（模型未下载）", 246,
                     bool_member(config, "denoise", false)));
  c.push_back(marker_after_toggle(denoise_ready
                                      ? "只在 48kHz 麦克风上生效：压掉稳定的底噪（风扇、空调）。"
                                      : "模型还没下载：去「引擎」页选中「降噪模型」点下载（1MB）。",
                                  246));
  c.push_back(
      toggle(kIdPauseMedia, "录音时暂停系统播放", 280, bool_member(config, "pause_media", false)));
  c.push_back(marker_after_toggle(
      "只暂停本来就在放的声音，松手后自动恢复；看视频时录音不会把它录进去。", 280));
  c.push_back(toggle(kIdPunct, "句末补标点", 314, bool_member(config, "punct", true)));
  c.push_back(marker_after_toggle(
      punct_ready ? "说一句话自动补上句末标点，别的标点不动。"
                  : "模型还没下载：去「引擎」页选中「标点模型」点下载（约 65MB）。",
      314));
  c.push_back(toggle(kIdSourceLock, "音源锁定", 348, bool_member(config, "source_lock", false)));
  c.push_back(marker_after_toggle(
      "只认离麦克风最近的声音：外放视频时少录进扬声器，但两个人同时说话会挑一个。", 348));
  c.push_back(make_control(ControlKind::primary_button, kIdSave, "保存", 196, 384, 96, 34));

  c.push_back(make_control(ControlKind::heading, kIdNone, "输入电平", 196, 420, 664, 20));
  c.push_back(make_control(ControlKind::level_bar, kIdLevelBar, level_bar_idle_text(meter_running), 196,
                      452, 400, 22));
  c.push_back(make_control(ControlKind::button, kIdMeterButton, std::string(meter_button_caption(meter_running)), 610,
                      448, 110, 34));
  c.push_back(
      make_control(ControlKind::label, kIdMeterHint, std::string(meter_hint_text(meter_running)), 196, 486, 420, 18));
  return page;
}

nlohmann::json audio_save_patch(const AudioInputs& inputs) {
  return {
      {"device", inputs.selected_row ? device_from_row(*inputs.selected_row) : std::string()},
      {"denoise", inputs.denoise},
      {"pause_media", inputs.pause_media},
      {"punct", inputs.punct},
      {"source_lock", inputs.source_lock},
  };
}

std::string level_bar_idle_text(bool meter_running) {
  return repeat("░", kIdleCells) + (meter_running ? "  听着…" : "  未开始");
}

std::string level_bar_text(double level) {
  if (!std::isfinite(level)) level = 0;
  const int filled = std::min(
      kLevelCells, static_cast<int>(std::lround(std::clamp(1.6 * level, 0.0, 1.0) * kLevelCells)));
  const long long decibels = level > 0.00001 ? std::llround(20 * std::log10(level)) : -60;
  return repeat("█", filled) + repeat("░", kLevelCells - filled) + "  约 " +
         std::to_string(decibels) + " dB";
}

std::string_view meter_button_caption(bool meter_running) {
  return meter_running ? "停止测试" : "开始测试";
}

std::string_view meter_hint_text(bool meter_running) {
  return meter_running ? "正听着：说句话看看有没有起伏" : "点「开始测试」看有没有声音";
}

}  // namespace kesu::shell
