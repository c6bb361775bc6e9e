#pragma once

// The key capture control: a child window that records the next key pressed while it has the
// focus, in the hotkey notation. Decisions and texts come from keycap/key_capture.h.

#include <windows.h>

#include <string>
#include <string_view>

namespace kesu::shell::win {

inline constexpr const wchar_t* kKeyCapClass = L"KesuKeyCap";

// A visible child of `parent` at the given pixel rectangle, with `id` as its control identifier;
// `scale` is the owner's DPI scale (1.0 at 96 DPI). Null when the window cannot be created.
// After it records a value the control sends WM_COMMAND (id, 0, its window) to `parent`.
HWND create_key_capture(HWND parent, int x, int y, int width, int height, int id,
                        std::string_view value, float scale);

// The stored value; empty for a window that is not a key capture control.
std::string key_capture_value(HWND control);

// Replaces the stored value (preset buttons) and repaints.
void set_key_capture_value(HWND control, std::string_view value);

}  // namespace kesu::shell::win
