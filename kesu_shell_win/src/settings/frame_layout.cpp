#include "settings/frame_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "main/virtual_keys.h"

namespace kesu::shell {

namespace {

// An unsigned decimal with an optional leading "+"; anything else is no override.
std::optional<std::uint32_t> percentage(const std::string& text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

}  // namespace

const std::array<SettingsPage, kSettingsPageCount>& settings_pages() {
  static const std::array<SettingsPage, kSettingsPageCount> pages{{
      {"通用", "⚙"},
      {"引擎", "◈"},
      {"音频", "◎"},
      {"热词", "✎"},
      {"历史", "≡"},
      {"润色", "✦"},
      {"诊断", "⌘"},
      {"声纹", "◉"},
      {"局域网", "⇄"},
  }};
  return pages;
}

int clamp_page(int index) { return std::clamp(index, 0, kSettingsPageCount - 1); }

int wrap_page(int index) {
  const int m = index % kSettingsPageCount;
  return m < 0 ? m + kSettingsPageCount : m;
}

float settings_scale(unsigned dpi, const std::optional<std::string>& dpi_override, int work_width,
                     int work_height) {
  float k = dpi > 0 ? static_cast<float>(dpi) / 96.0f : 1.0f;
  if (dpi_override) {
    if (const auto percent = percentage(*dpi_override)) k = static_cast<float>(*percent) / 100.0f;
  }
  const float fit_w = static_cast<float>(work_width - 24) / kSettingsDesignWidth;
  const float fit_h = static_cast<float>(work_height - 24) / kSettingsDesignHeight;
  return std::max(1.0f, std::min({k, fit_w, fit_h}));
}

int px(float k, double value) { return static_cast<int>(std::lround(value * k)); }

PixelRect nav_item_rect(int index, float k) {
  const int top = kTitleBarHeight + 76 + 44 * index;
  return {px(k, 12), px(k, top), px(k, 156), px(k, top + 36)};
}

std::optional<int> nav_item_at(int x, int y, float k) {
  for (int i = 0; i < kSettingsPageCount; ++i) {
    if (nav_item_rect(i, k).contains(x, y)) return i;
  }
  return std::nullopt;
}

PixelRect content_panel_rect(int client_width, int client_height, float k) {
  return {px(k, 168), px(k, kTitleBarHeight + 12), client_width - px(k, 16),
          client_height - px(k, 18)};
}

bool in_title_bar(int y, float k) { return y < px(k, kTitleBarHeight); }

FrameKey frame_key(unsigned vk, bool ctrl, bool shift, bool focus_on_button, int current) {
  if (vk == vk::kTab && ctrl) {
    return {FrameKeyAction::show_page, wrap_page(current + (shift ? kSettingsPageCount - 1 : 1))};
  }
  if (vk == vk::kTab) return {shift ? FrameKeyAction::focus_previous : FrameKeyAction::focus_next, 0};
  if (ctrl && vk >= vk::kDigit1 && vk <= vk::kDigit9) {
    return {FrameKeyAction::show_page, static_cast<int>(vk - vk::kDigit1)};
  }
  if (vk == vk::kReturn && focus_on_button) return {FrameKeyAction::click_focused, 0};
  if (vk == vk::kEscape) return {FrameKeyAction::hide, 0};
  return {};
}

bool repaint_only_notification(int code) {
  // Button unhilite and disable; edit set-focus and kill-focus.
  return code == 3 || code == 4 || code == 0x100 || code == 0x200;
}

std::string settings_log_line(int page, int controls) {
  return "build page=" + std::to_string(page) + " ctrls=" + std::to_string(controls) + "\n";
}

std::optional<std::string> command_log_line(int id, int note, long long ms, bool debug) {
  if (ms <= 50 && !debug) return std::nullopt;
  return "CMD id=" + std::to_string(id) + " note=" + std::to_string(note) +
         " ms=" + std::to_string(ms);
}

}  // namespace kesu::shell
