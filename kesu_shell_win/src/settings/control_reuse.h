#pragma once

// A page rebuild keeps the child windows that can show the new page's controls. Making and
// destroying a window costs round trips to the window system (under Wine, to its server), while
// a window that stays where it is with the same text costs nothing: rebuilding a page in place
// then touches almost no window, and a page switch moves and retitles most of them.

#include <vector>

#include "settings/page_spec.h"

namespace kesu::shell {

// The window a control needs; controls of one shape can take each other's window.
enum class ControlShape {
  none,  // no window (info markers)
  static_text,
  owner_drawn_static,
  owner_drawn_button,
  edit,
  read_only_edit,
  password_edit,
  multiline_edit,
  read_only_multiline_edit,
  list_box,
  key_capture,
};

ControlShape control_shape(const ControlSpec& spec);

// A window the page has now.
struct ExistingWindow {
  ControlShape shape = ControlShape::none;
  int id = kIdNone;
};

struct ReusePlan {
  std::vector<int> take;     // per new control: the existing window it takes, or -1 to make one
  std::vector<int> destroy;  // existing windows no control takes, in ascending order
};

// A window with the same shape and identifier is taken first, so the focus and a list's scroll
// position stay on the control they belonged to; then any window of the same shape, in order.
// A key capture control is always made anew: it holds the state of a key being recorded.
ReusePlan plan_reuse(const std::vector<ExistingWindow>& existing,
                     const std::vector<ControlSpec>& next);

}  // namespace kesu::shell
