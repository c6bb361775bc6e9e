#include "tray/tray_menu.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "main/text.h"

namespace kesu::shell {

namespace {

constexpr std::size_t kLastResultChars = 24;

TrayMenuItem label(std::string text) { return {TrayItemKind::Label, 0, std::move(text), true, {}}; }
TrayMenuItem command(int id, std::string text, bool greyed = false) {
  return {TrayItemKind::Command, id, std::move(text), greyed, {}};
}
TrayMenuItem separator() { return {TrayItemKind::Separator, 0, {}, false, {}}; }

std::string one_line(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

void dump_items(const std::vector<TrayMenuItem>& items, std::string_view prefix, std::string& out) {
  for (const TrayMenuItem& item : items) {
    out += "TRAYMENU ";
    out += prefix;
    switch (item.kind) {
      case TrayItemKind::Separator:
        out += "separator\n";
        break;
      case TrayItemKind::Submenu:
        out += "submenu text=" + one_line(item.text) + "\n";
        dump_items(item.children, "> ", out);
        break;
      case TrayItemKind::Label:
      case TrayItemKind::Command:
        out += "id=" + std::to_string(item.id) + " grey=" + (item.greyed ? "1" : "0") +
               " text=" + one_line(item.text) + "\n";
        break;
    }
  }
}

}  // namespace

std::u16string tray_tooltip_units(std::string_view text) {
  constexpr std::size_t kTipUnits = 127;
  std::u16string units = utf8_to_utf16(text.empty() ? kTrayDefaultTooltip : text);
  if (units.size() > kTipUnits) {
    std::size_t cut = kTipUnits;
    if (units[cut - 1] >= 0xD800 && units[cut - 1] <= 0xDBFF) --cut;
    units.resize(cut);
  }
  return units;
}

TrayClick tray_click_action(unsigned mouse_message) {
  switch (mouse_message) {
    case 0x202:  // WM_LBUTTONUP
    case 0x205:  // WM_RBUTTONUP
      return TrayClick::ShowMenu;
    case 0x203:  // WM_LBUTTONDBLCLK
      return TrayClick::OpenSettings;
    default:
      return TrayClick::Ignore;
  }
}

std::string tray_status_label(std::string_view phase, bool has_core) {
  if (!has_core) return "就绪";
  if (phase == "listening") return "在听…（松开结束）";
  if (phase == "processing" || phase == "decoding") return "识别中…";
  if (phase == "inserting") return "上屏中…";
  if (phase == "polishing") return "润色中…";
  if (phase == "starting") return "准备中…";
  return "就绪";
}

bool tray_cancel_enabled(std::string_view status_label) {
  return status_label == "在听…（松开结束）" || status_label == "准备中…";
}

std::vector<int> parse_failed_segments(std::string_view json) {
  const auto value = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!value.is_array()) return {};
  std::vector<int> indexes;
  for (const auto& element : value) {
    if (!element.is_number_integer()) return {};
    const auto n = element.get<std::int64_t>();
    if (n < 0 || n > std::numeric_limits<int>::max() - tray_cmd::kRetryBase) return {};
    indexes.push_back(static_cast<int>(n));
  }
  return indexes;
}

std::string last_result_label(std::string_view text) {
  const std::size_t n = char_count(text);
  std::string shown = cut_chars(text, kLastResultChars);
  if (n > kLastResultChars) shown += "…";
  return "上次：" + shown + "（" + std::to_string(n) + " 字）";
}

std::string tray_about_text() {
  return "言至（yzhi） " + std::string(kTrayVersionText) +
         "（Windows 预览版）\n本机识别，不联网。\n\n"
         "按住热键说话，松开后文字打进当前光标位置；按 Esc 或再按一下热键可取消。\n"
         "托盘图标右键可以设置、看历史、复制上次结果。\n\n"
         "问题与日志：%APPDATA%\\Kesu\\kesu-shell.log";
}

std::vector<TrayMenuItem> build_tray_menu(const TrayMenuInputs& in) {
  using namespace tray_cmd;
  const std::string status = tray_status_label(in.phase, in.has_core);
  std::vector<TrayMenuItem> items;
  items.push_back(label("言至 · " + status));
  if (in.last_result && !in.last_result->empty()) {
    items.push_back(label(last_result_label(*in.last_result)));
  }
  items.push_back(separator());
  items.push_back(command(kCancel, "取消当前录音（Esc）", !tray_cancel_enabled(status)));
  items.push_back(command(kCopyLast, "复制上次结果"));
  items.push_back(command(kHistory, "统计与历史…"));
  items.push_back(command(kSettings, "设置…"));
  items.push_back(command(kPalette, "选区改写…（Ctrl+Alt+E）"));
  items.push_back(command(kDiagnose, "诊断…"));
  const std::vector<int> failed = parse_failed_segments(in.failed_segments_json);
  if (!failed.empty()) {
    TrayMenuItem sub{TrayItemKind::Submenu, 0, "重识别失败的段", false, {}};
    for (int i : failed) {
      sub.children.push_back(command(kRetryBase + i, "第 " + std::to_string(i + 1) + " 段"));
    }
    items.push_back(std::move(sub));
  }
  items.push_back(separator());
  items.push_back(command(kAbout, "关于 Kesu"));
  items.push_back(command(kToggleMini, "显示主窗"));
  if (in.developer_mode) items.push_back(command(kDevSelfTest, "自测…"));
  items.push_back(command(kExit, "退出"));
  return items;
}

std::string dump_tray_menu(const std::vector<TrayMenuItem>& items) {
  std::string out;
  dump_items(items, "", out);
  return out;
}

}  // namespace kesu::shell
