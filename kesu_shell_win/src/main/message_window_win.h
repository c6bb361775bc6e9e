#pragma once

// The hidden top-level window "KesuMessageWindow": other threads and a second instance reach
// the user-interface thread through its private messages.

#include <windows.h>

#include "main/app_state.h"
#include "main/event_intake.h"
#include "main/win_handles.h"

namespace kesu::shell::win {

inline constexpr wchar_t kMessageWindowClass[] = L"KesuMessageWindow";
inline constexpr UINT kMsgTray = WM_APP + 1;
inline constexpr UINT kMsgCoreEvent = WM_APP + 2;
inline constexpr UINT kMsgHookKey = WM_APP + 3;
inline constexpr UINT kMsgOpenSettings = WM_APP + 4;
inline constexpr UINT kMsgInsertionResult = WM_APP + 6;
inline constexpr UINT kMsgAlreadyRunning = WM_APP + 11;
inline constexpr UINT_PTR kTrayTimerId = 7;

inline constexpr char kAlreadyRunningNotice[] =
    "Kesu 已经在运行了：这是同一个实例，托盘图标也在右下角";

// What the window procedure works on; owned by the desktop host, bound at WM_NCCREATE.
class DesktopDictation;
class DesktopTray;

struct MessageWindowContext {
  AppState* state = nullptr;
  EventIntake* intake = nullptr;  // set while the message loop runs
  DesktopDictation* dictation = nullptr;
  DesktopTray* tray = nullptr;
  UINT taskbar_created = 0;
};

DestroyWindowHandle create_message_window(MessageWindowContext& context);

// The windowed event callback: converts to UTF-16 and posts kMsgCoreEvent to the window given
// as user pointer. Runs on core threads and does nothing else.
void windowed_event_callback(const char* json, void* user);

}  // namespace kesu::shell::win
