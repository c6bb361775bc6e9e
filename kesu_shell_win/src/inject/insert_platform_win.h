#pragma once

#include <windows.h>

#include "inject/insert_platform.h"
#include "main/win_handles.h"

namespace kesu::shell::win {

// The desktop as the insertion sees it. Use it on one thread: its clipboard owner window
// belongs to the thread that created the object.
class WinInsertPlatform final : public InsertPlatform {
 public:
  // With serve_messages the waits dispatch this thread's messages (an insertion thread of its
  // own); without, they only sleep (the user-interface thread, whose handlers must not nest).
  explicit WinInsertPlatform(bool serve_messages);

  WindowId foreground() override;
  void bring_to_front(WindowId window) override;
  std::string class_name(WindowId window) override;
  std::string title(WindowId window) override;
  std::uint32_t process_id(WindowId window) override;
  std::uint32_t thread_id(WindowId window) override;
  bool is_own_process(WindowId window) override;
  std::string image_name(WindowId window) override;
  bool blocked_by_elevation(WindowId window) override;
  WindowId focus_window() override;
  std::optional<std::string> window_text(WindowId window) override;
  bool send_paste_message(WindowId window) override;
  ClipboardWrite write_clipboard(std::string_view text) override;
  std::optional<std::string> read_clipboard() override;
  bool send_key(std::uint16_t vk, bool up) override;
  unsigned send_unicode(std::u16string_view units) override;
  bool post_char(WindowId window, char16_t unit) override;
  void sleep(std::chrono::milliseconds duration) override;

 private:
  // Clipboard data set while the clipboard is open without an owner window is refused.
  DestroyWindowHandle owner_;
  bool serve_messages_;
};

}  // namespace kesu::shell::win
