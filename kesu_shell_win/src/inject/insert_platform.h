#pragma once

// What text insertion asks of the desktop. Windows are integers (0: none) so the decisions stay
// platform-free; the Windows implementation executes each call, tests use a recording fake.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesu::shell {

using WindowId = std::uintptr_t;

enum class ClipboardWrite { OpenFailed, SetFailed, Written };

class InsertPlatform {
 public:
  virtual ~InsertPlatform() = default;

  virtual WindowId foreground() = 0;
  // SetForegroundWindow, and once more attached to the foreground thread's input if refused.
  virtual void bring_to_front(WindowId window) = 0;
  virtual std::string class_name(WindowId window) = 0;  // at most 64 characters
  virtual std::string title(WindowId window) = 0;
  virtual std::uint32_t process_id(WindowId window) = 0;
  virtual std::uint32_t thread_id(WindowId window) = 0;
  virtual bool is_own_process(WindowId window) = 0;
  // File name of the window's program ("explorer.exe"); empty when unknown.
  virtual std::string image_name(WindowId window) = 0;
  // The window's program runs elevated while this one does not: input to it is blocked.
  virtual bool blocked_by_elevation(WindowId window) = 0;
  // The focus window of the foreground window's thread.
  virtual WindowId focus_window() = 0;
  // WM_GETTEXTLENGTH / WM_GETTEXT with a 300 ms time-out; nullopt when not answered or empty.
  virtual std::optional<std::string> window_text(WindowId window) = 0;
  // WM_PASTE with a 300 ms time-out; true when delivered.
  virtual bool send_paste_message(WindowId window) = 0;

  // One attempt each: open, empty, set CF_UNICODETEXT, close.
  virtual ClipboardWrite write_clipboard(std::string_view text) = 0;
  // The clipboard's text (CF_UNICODETEXT); nullopt when there is none or it cannot be opened.
  virtual std::optional<std::string> read_clipboard() = 0;

  // One SendInput call with one key event; true when it was sent.
  virtual bool send_key(std::uint16_t vk, bool up) = 0;
  // One SendInput call with a key-down and key-up (KEYEVENTF_UNICODE) per unit; events sent.
  virtual unsigned send_unicode(std::u16string_view units) = 0;
  // WM_CHAR posted with lParam 1; true when posted.
  virtual bool post_char(WindowId window, char16_t unit) = 0;

  virtual void sleep(std::chrono::milliseconds duration) = 0;
};

// UI Automation on the focused element. Absent (every call fails quietly) where the system has
// no UI Automation, as under Wine.
class UiAutomation {
 public:
  virtual ~UiAutomation() = default;
  struct Value {
    bool has_pattern = false;
    bool read_only = false;
    std::optional<std::string> current;  // nullopt: could not be read
  };
  virtual Value focused_value() = 0;
  // Sets the value; an error text on failure.
  virtual std::optional<std::string> set_focused_value(std::string_view text) = 0;
  // The focused element's value, else its text pattern's document text (at most 400,000).
  virtual std::optional<std::string> focused_text() = 0;
};

class NoUiAutomation final : public UiAutomation {
 public:
  Value focused_value() override { return {}; }
  std::optional<std::string> set_focused_value(std::string_view) override { return "UI Automation 不可用"; }
  std::optional<std::string> focused_text() override { return std::nullopt; }
};

}  // namespace kesu::shell
