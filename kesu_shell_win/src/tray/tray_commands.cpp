#include "tray/tray_commands.h"

#include <mutex>
#include <optional>
#include <string>

#include "main/core_calls.h"

namespace kesu::shell {

namespace {

std::string last_result(AppState& state) {
  std::lock_guard lock(state.mu);
  if (!state.core) return {};
  return CoreCalls(*state.core).get_last_result();
}

void copy_last_result(AppState& state, TrayActions& actions) {
  const std::string text = last_result(state);
  if (text.empty()) {
    actions.set_tooltip("言至：还没有上次结果");
  } else if (actions.copy_to_clipboard(text)) {
    actions.set_tooltip("言至：上次结果已复制");
  } else {
    actions.set_tooltip("言至：剪贴板被别的程序占着，没复制上");
  }
}

void show_diagnosis(AppState& state, TrayActions& actions) {
  std::string report;
  {
    std::lock_guard lock(state.mu);
    if (state.core) report = CoreCalls(*state.core).diagnose();
  }
  if (!report.empty()) actions.message(report);
}

void cancel_recording(AppState& state) {
  std::lock_guard lock(state.mu);
  if (state.core) (void)CoreCalls(*state.core).cancel();
}

void retry_segment(int index, AppState& state, TrayActions& actions) {
  std::optional<CallResult> result;
  {
    std::lock_guard lock(state.mu);
    if (state.core) result = CoreCalls(*state.core).retry_segment(index);
  }
  const std::string number = std::to_string(index + 1);
  if (result && result->code == KESU_OK) {
    actions.set_tooltip("言至：正在重识别第 " + number + " 段");
    return;
  }
  std::string error = "没有运行中的实例";
  if (result) {
    error = result->message.empty() ? "错误码 " + std::to_string(result->code) : result->message;
  }
  actions.message("重识别第 " + number + " 段失败：" + error);
}

}  // namespace

void run_tray_command(int id, AppState& state, TrayActions& actions) {
  using namespace tray_cmd;
  if (id >= kRetryBase) {
    retry_segment(id - kRetryBase, state, actions);
    return;
  }
  switch (id) {
    case kCopyLast:
      copy_last_result(state, actions);
      break;
    case kDiagnose:
      show_diagnosis(state, actions);
      break;
    case kExit:
      actions.exit_app();
      break;
    case kSettings:
      actions.open_settings(kSettingsPageGeneral);
      break;
    case kPalette:
      actions.open_palette();
      break;
    case kHistory:
      actions.open_settings(kSettingsPageHistory);
      break;
    case kCancel:
      cancel_recording(state);
      break;
    case kAbout:
      actions.message(tray_about_text());
      break;
    case kToggleMini:
      actions.toggle_mini();
      break;
    case kSelfTest:
    case kDevSelfTest:
      actions.start_self_test();
      break;
    case kMicPrivacy:
      actions.open_mic_privacy_settings();
      break;
    case kPermissionReport:
      actions.show_permission_report();
      break;
    default:
      break;  // 0 (menu dismissed) and ids without a command
  }
}

TrayMenuInputs read_tray_menu_inputs(AppState& state, bool developer_mode) {
  TrayMenuInputs in;
  in.developer_mode = developer_mode;
  {
    std::lock_guard lock(state.mu);
    in.phase = state.phase;
    in.has_core = state.core.has_value();
    if (in.has_core) {
      std::string text = CoreCalls(*state.core).get_last_result();
      if (!text.empty()) in.last_result = std::move(text);
    }
  }
  {
    std::lock_guard lock(state.mu);
    if (state.core) in.failed_segments_json = CoreCalls(*state.core).failed_segments();
  }
  return in;
}

}  // namespace kesu::shell
