#pragma once

// The key capture control's decisions: which key message records which value in the hotkey
// notation, which values are refused, and what the control paints. Key codes are Windows
// virtual-key codes; the Win32 control (keycap_win.cpp) only feeds messages in and paints.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesu::shell {

struct KeyCapColour {
  std::uint8_t r, g, b;
  bool operator==(const KeyCapColour&) const = default;
};

namespace keycap_colour {
inline constexpr KeyCapColour kBackground{46, 48, 56};
inline constexpr KeyCapColour kFocusBorder{59, 130, 246};
inline constexpr KeyCapColour kBorder{58, 61, 69};
inline constexpr KeyCapColour kHint{154, 160, 166};
inline constexpr KeyCapColour kValue{233, 233, 236};
inline constexpr KeyCapColour kRefusal{245, 166, 35};
}  // namespace keycap_colour

inline constexpr std::u16string_view kKeyCapFont = u"Segoe UI";
inline constexpr int kKeyCapFontHeight = 14;  // design units; the font is built −(this × scale)
inline constexpr int kKeyCapCorner = 6;
inline constexpr int kKeyCapTextLeft = 10;  // text inset from the left edge
inline constexpr int kKeyCapTextRight = 8;  // text inset from the right edge

inline constexpr std::string_view kKeyCapArmedText = "按下要用的键…";
inline constexpr std::string_view kKeyCapEmptyText = "点这里，然后按键";

// Design units to pixels at the owner's scale, rounded to the nearest pixel.
int keycap_scaled(int units, float scale);

// Shift, Ctrl, Alt (generic or side-specific) and either Windows key.
bool is_modifier_key(unsigned vk);

// The key's part in the hotkey notation; nothing for keys the control does not record.
// `extended` is the key message's extended-key bit (right Alt); `right_ctrl_down` tells the two
// Ctrl keys apart.
std::optional<std::string> key_name(unsigned vk, bool extended, bool right_ctrl_down);

enum class KeyEvent { down, up, sys_down, sys_up };

struct KeyMessage {
  KeyEvent event = KeyEvent::down;
  unsigned vk = 0;
  bool extended = false;  // bit 24 of the message's second parameter
};

// Key state at the message being handled (not the asynchronous state).
struct ModifierState {
  bool ctrl = false;   // either side
  bool alt = false;    // either side
  bool shift = false;  // either side
  bool win = false;    // either Windows key
  bool right_ctrl = false;
  bool right_win = false;

  bool any() const { return ctrl || alt || shift || win; }
};

struct KeyDecision {
  enum class Kind { keep_waiting, recorded, refused };
  Kind kind = Kind::keep_waiting;
  std::string value;    // recorded: the new value; refused: the value that was turned down
  std::string message;  // refused: what the control shows instead

  bool operator==(const KeyDecision&) const = default;
};

// What one key message does to an armed control.
KeyDecision decide_key(const KeyMessage& message, const ModifierState& modifiers);

// How a value in the hotkey notation is shown in the control ("CTRL+ALT+SPACE" → "Ctrl+Alt+空格").
std::string key_display_form(std::string_view value);

struct KeyCapCaption {
  std::string text;
  KeyCapColour colour;
  bool operator==(const KeyCapCaption&) const = default;
};
KeyCapCaption key_capture_caption(bool armed, std::string_view value, std::string_view refusal);

struct KeyCapBorder {
  int width = 1;
  KeyCapColour colour;
  bool operator==(const KeyCapBorder&) const = default;
};
KeyCapBorder key_capture_border(bool focused);

// One control's state: armed while it has the focus, the recorded value, the refusal on show.
class KeyCapture {
 public:
  explicit KeyCapture(std::string_view value) : value_(value) {}

  const std::string& value() const { return value_; }
  // The owner's preset; the control does not judge it.
  void set_value(std::string_view value) { value_ = std::string(value); }
  bool armed() const { return armed_; }

  void focus_gained();
  void focus_lost();

  // Handles a key message; true when it recorded a new value (the owner is told then).
  bool key(const KeyMessage& message, const ModifierState& modifiers);

  KeyCapCaption caption() const { return key_capture_caption(armed_, value_, refusal_); }

 private:
  std::string value_;
  bool armed_ = false;
  std::string refusal_;  // shown until the next key press or focus change
  // A key that recorded nothing was pressed while modifiers were held: releasing those modifiers
  // ends that combination and records nothing (else Ctrl+Esc would store "CTRL_L").
  bool in_combination_ = false;
};

}  // namespace kesu::shell
