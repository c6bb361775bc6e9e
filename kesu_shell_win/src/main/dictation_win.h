#pragma once

// The desktop side of a dictation on Windows: key capture feeding the push-to-talk controller,
// media pause, the insertion threads and their results, and the recovery of undelivered text.

#include <windows.h>

#include <memory>

#include "inject/insert_platform_win.h"
#include "inject/recovery.h"
#include "main/app_state.h"
#include "main/foreground_win.h"
#include "main/hotkey.h"
#include "main/key_handler.h"
#include "main/media_control.h"
#include "main/push_to_talk.h"
#include "main/slot_keys.h"

namespace kesu::shell::win {

class DesktopDictation {
 public:
  // On the user-interface thread, once the message window exists.
  DesktopDictation(AppState& state, HWND message_window);
  ~DesktopDictation();

  // Slot keys and the media setting from the core, then the hook and Raw Input.
  void start_capture(HotkeyHolder& hotkey);
  // The reload after settings were saved: push-to-talk spec, slot keys, media setting.
  void reload();

  void on_hook_key(WPARAM packed);
  void on_raw_input(LPARAM input);
  void on_resume();
  void on_insertion_result(LPARAM result);

  PushToTalkView* push_to_talk_view();
  InsertionView* insertion_view();
  PushToTalk& push_to_talk() { return ptt_; }

 private:
  class PttView;
  class InsertView;

  void start_insertion(std::string task_id, std::string text, std::string mode);
  RecoverySinks recovery_sinks();
  void switch_profile(const SlotKey& slot);

  AppState& state_;
  HWND window_;
  HotkeyHolder* hotkey_ = nullptr;
  WinForegroundProbe probe_;
  PushToTalk ptt_;
  SlotKeyList slots_;
  std::unique_ptr<KeyHandler> keys_;
  std::unique_ptr<MediaTransport> transport_;  // before media_, which refers to it
  MediaControl media_;
  Recovery recovery_;
  WinInsertPlatform ui_platform_;  // clipboard work of the user-interface thread
  std::unique_ptr<PttView> ptt_view_;
  std::unique_ptr<InsertView> insert_view_;
};

}  // namespace kesu::shell::win
