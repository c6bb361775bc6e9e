#include "settings/general_page.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "main/hotkey.h"
#include "main/json_members.h"
#include "main/text.h"

namespace kesu::shell {
namespace {

constexpr std::int64_t kMinRecordDefault = 400;
constexpr std::int64_t kMinRecordLow = 200;
constexpr std::int64_t kMinRecordHigh = 1500;
constexpr std::int64_t kMaxRecordDefault = 120;
constexpr std::int64_t kMaxRecordLow = 5;
constexpr std::int64_t kMaxRecordHigh = 600;
constexpr std::size_t kLoadWarningChars = 90;

constexpr std::string_view kPerAppMarker =
    "一行一个程序：粘贴=模拟 Ctrl+V，打字=逐字输入。没列出的程序用上面选的默认方式。";

// Decimal text of an integer member; dump() keeps any stored magnitude exact.
std::string integer_text_or(const nlohmann::json& config, const char* key, std::int64_t fallback) {
  const nlohmann::json* v = json_member(config, key);
  return v != nullptr && v->is_number_integer() ? v->dump() : std::to_string(fallback);
}

// What the key capture control starts with. A blank stored key is not in force: push-to-talk
// falls back to the default, so the control shows the key that actually works.
std::string shown_hotkey(const nlohmann::json& config) {
  const std::string stored = string_member(config, "hotkey", kDefaultHotkey);
  return is_blank(stored) ? std::string(kDefaultHotkey) : stored;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_keystroke_word(std::string_view mode) {
  return mode == "打字" || ascii_lower(mode) == "keystroke";
}

ControlSpec label(std::string text, int x, int y, int width, int height = 18) {
  return make_control(ControlKind::label, kIdNone, std::move(text), x, y, width, height);
}

ControlSpec heading(std::string text, int y) {
  return make_control(ControlKind::heading, kIdNone, std::move(text), 196, y, 664, 20);
}

ControlSpec button(ControlKind kind, int id, std::string_view caption, int x, int y, int width) {
  return make_control(kind, id, std::string(caption), x, y, width, 34);
}

ControlSpec edit(int id, std::string text, int x, int y, int width) {
  return make_control(ControlKind::edit, id, std::move(text), x, y, width, 28);
}

ControlSpec toggle(int id, std::string_view text, int y, bool on) {
  ControlSpec c = make_control(ControlKind::toggle, id, std::string(text), 196, y, 664, 28);
  c.on = on;
  return c;
}

ControlSpec marker(std::string_view text, int x, int y) {
  return make_control(ControlKind::info_marker, kIdNone, std::string(text), x, y, 16, 18);
}

}  // namespace

const HotkeyPreset* find_hotkey_preset(int id) {
  const auto it = std::find_if(kHotkeyPresets.begin(), kHotkeyPresets.end(),
                               [id](const HotkeyPreset& p) { return p.id == id; });
  return it == kHotkeyPresets.end() ? nullptr : &*it;
}

std::optional<nlohmann::json> hotkey_preset_patch(const HotkeyPreset& preset) {
  if (!preset.saves) return std::nullopt;
  return nlohmann::json{{"hotkey", preset.value}};
}

bool initial_paste_selected(const nlohmann::json& config) {
  return string_member(config, "insert_mode", "paste") != "keystroke";
}

bool is_chosen_mode_button(int id, bool paste_selected) {
  return paste_selected ? id == kIdModePaste : id == kIdModeKeystroke;
}

std::string per_app_text(const nlohmann::json& overrides) {
  if (!overrides.is_object()) return {};
  std::vector<std::string> lines;
  for (const auto& [name, mode] : overrides.items()) {
    const bool keystroke = mode.is_string() && mode.get<std::string>() == "keystroke";
    lines.push_back(name + "=" + (keystroke ? "打字" : "粘贴"));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

std::optional<std::string> load_warning_text(const nlohmann::json& config) {
  const std::string warning = string_member(config, "load_warning", "");
  if (warning.empty()) return std::nullopt;
  const std::string_view line = trim(first_line(warning));
  if (char_count(line) > kLoadWarningChars) return cut_chars(line, kLoadWarningChars) + "…";
  return std::string(line) + "　完整原因看「诊断」页";
}

PageSpec general_page(const nlohmann::json& config) {
  const bool paste = initial_paste_selected(config);
  const nlohmann::json* per_app = json_member(config, "insert_per_app");

  PageSpec page;
  auto& c = page.controls;
  c.push_back(heading("快捷键与拾音", 24));
  c.push_back(label("按住说话的键", 196, 56, 420));
  c.push_back(
      make_control(ControlKind::key_capture, kIdKeyCapture, shown_hotkey(config), 660, 88, 180, 28));
  c.push_back(label("常用", 196, 96, 60));
  for (const HotkeyPreset& p : kHotkeyPresets) {
    c.push_back(button(ControlKind::button, p.id, p.caption, p.x, 92, p.width));
  }
  c.push_back(label("最短录音（毫秒）", 196, 144, 420));
  c.push_back(edit(kIdMinRecord, integer_text_or(config, "min_record_ms", kMinRecordDefault), 740,
                   140, 120));
  c.push_back(label("单次录音上限（秒）", 196, 188, 420));
  c.push_back(edit(kIdMaxRecord, integer_text_or(config, "max_record_secs", kMaxRecordDefault), 740,
                   184, 120));
  c.push_back(label("上屏方式", 196, 232, 420));
  const auto mode_kind = [paste](int id) {
    return is_chosen_mode_button(id, paste) ? ControlKind::primary_button : ControlKind::button;
  };
  c.push_back(button(mode_kind(kIdModePaste), kIdModePaste, "粘贴", 620, 228, 110));
  c.push_back(button(mode_kind(kIdModeKeystroke), kIdModeKeystroke, "逐字打字", 738, 228, 122));
  c.push_back(toggle(kIdPrivacy, "隐私模式：不写历史、不落盘", 280,
                     bool_member(config, "privacy_mode", false)));
  c.push_back(
      toggle(kIdLaunchAtLogin, "开机自动启动", 318, bool_member(config, "launch_at_login", false)));
  c.push_back(button(ControlKind::primary_button, kIdSave, "保存", 764, 362, 96));
  // Five characters of the 14-unit body font end near x 266; the marker follows them.
  c.push_back(label("按应用覆盖", 196, 408, 72));
  c.push_back(marker(kPerAppMarker, 272, 408));
  c.push_back(label("每行 进程名=粘贴 / 进程名=打字", 318, 522, 420));
  c.push_back(make_control(ControlKind::multiline_edit, kIdPerApp,
                      per_app == nullptr ? std::string() : per_app_text(*per_app), 196, 432, 664,
                      74));
  if (auto warning = load_warning_text(config)) {
    c.push_back(heading("上次加载配置时出过问题", 524));
    // Up to 91 characters wrap onto a second line.
    c.push_back(label(std::move(*warning), 196, 548, 664, 40));
  }
  return page;
}

std::optional<std::int64_t> parse_decimal(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    // from_chars takes "-" but not "+"; a second sign after "+" is not a number.
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::int64_t min_record_ms_from_text(std::string_view text) {
  const auto v = parse_decimal(text);
  return v ? std::clamp(*v, kMinRecordLow, kMinRecordHigh) : kMinRecordDefault;
}

std::int64_t max_record_secs_from_text(std::string_view text) {
  const auto v = parse_decimal(text);
  return v ? std::clamp(*v, kMaxRecordLow, kMaxRecordHigh) : kMaxRecordDefault;
}

GeneralSave general_save(const GeneralInputs& inputs) {
  GeneralSave save;
  nlohmann::json patch = {
      {"min_record_ms", min_record_ms_from_text(inputs.min_record_text)},
      {"max_record_secs", max_record_secs_from_text(inputs.max_record_text)},
      {"insert_mode", inputs.paste_selected ? "paste" : "keystroke"},
      {"privacy_mode", inputs.privacy_mode},
      {"launch_at_login", inputs.launch_at_login},
  };
  if (is_blank(inputs.hotkey)) {
    // After "清空" the user has not pressed a new key yet: keep the stored one rather than
    // refusing every other setting on the page.
    save.hotkey = HotkeyOutcome::kept;
    save.message = "快捷键框是空的，这次保留原来的快捷键。点一下快捷键框，再按要用的键。";
    save.patch = std::move(patch);
    return save;
  }
  if (!parse_hotkey(inputs.hotkey)) {
    save.hotkey = HotkeyOutcome::unparsable;
    save.message =
        "「" + inputs.hotkey +
        "」这个组合键看不懂，没有保存。\n\n可用的写法：ALT_R、CTRL+ALT+SPACE、F13，或点上面的"
        "常用键。";
    return save;
  }
  patch["hotkey"] = inputs.hotkey;
  save.patch = std::move(patch);
  return save;
}

nlohmann::json per_app_overrides(std::string_view raw_text) {
  // The names become JSON keys, whose serialisation refuses invalid UTF-8.
  const std::string valid = sanitize_utf8(raw_text);
  std::string_view text = valid;
  nlohmann::json overrides = nlohmann::json::object();
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::string_view line = trim(text.substr(0, lf));
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string name = ascii_lower(trim(line.substr(0, eq)));
    if (name.empty()) continue;
    overrides[name] = is_keystroke_word(trim(line.substr(eq + 1))) ? "keystroke" : "paste";
  }
  return overrides;
}

nlohmann::json per_app_patch(std::string_view text) {
  return {{"insert_per_app", per_app_overrides(text)}};
}

}  // namespace kesu::shell
