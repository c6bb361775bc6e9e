#pragma once

// What a settings page consists of, decided without Win32: the page models produce a list of
// control specs from the configuration, and the window's builder creates one child control per
// spec. Positions are design units with the content's origin at the top of the content area
// (below the title bar); the builder scales them and adds the title bar's height.

#include <string>
#include <utility>
#include <vector>

namespace kesu::shell {

enum class ControlKind {
  label,           // static text
  heading,         // static text in the heading font; x 196, width 664, height 20 unless given
  button,          // owner-drawn push button
  primary_button,  // owner-drawn push button in the accent colour
  toggle,          // owner-drawn switch with its label at the left
  edit,            // one-line edit box, height 28
  multiline_edit,  // multi-line edit box with a vertical scroll bar
  password_edit,   // one-line edit box with hidden characters, always created empty
  list_box,        // owner-drawn list; x 196, width 664 unless given
  info_marker,     // not a window: an "i" in a circle whose text shows on hover
  key_capture,     // the push-to-talk key capture control (its rectangle is not offset)
  level_bar,       // static text holding the input level cells
};

// Control identifiers: what a command from a control means. Stable per control across pages,
// so "保存" and "使用" carry the page-dependent meaning through the current page, not their id.
enum ControlId : int {
  kIdNone = 0,
  kIdClose = 100,
  kIdSave = 101,
  kIdUse = 102,
  // General page.
  kIdKeyCapture = 200,
  kIdPresetAltRight = 201,
  kIdPresetCtrlAltSpace = 202,
  kIdPresetF13 = 203,
  kIdPresetClear = 204,
  kIdMinRecord = 205,
  kIdMaxRecord = 206,
  kIdModePaste = 207,
  kIdModeKeystroke = 208,
  kIdPrivacy = 209,
  kIdLaunchAtLogin = 210,
  kIdPerApp = 211,
  // Audio page.
  kIdDeviceList = 300,
  kIdDenoise = 301,
  kIdPauseMedia = 302,
  kIdPunct = 303,
  kIdSourceLock = 304,
  kIdLevelBar = 305,
  kIdMeterButton = 306,
  kIdMeterHint = 307,
  // Polish page.
  kIdPolish = 500,
};

struct ControlSpec {
  ControlKind kind = ControlKind::label;
  int id = kIdNone;
  std::string text;  // caption, initial text, or an info marker's explanation
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool on = false;                 // toggles: the initial state
  bool read_only = false;          // edit boxes
  std::vector<std::string> items;  // list boxes: the rows
  int selected = -1;               // list boxes: the selected row, -1 for none
};

inline ControlSpec make_control(ControlKind kind, int id, std::string text, int x, int y, int width,
                                int height) {
  ControlSpec c;
  c.kind = kind;
  c.id = id;
  c.text = std::move(text);
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  return c;
}

struct PageSpec {
  std::vector<ControlSpec> controls;
};

}  // namespace kesu::shell
