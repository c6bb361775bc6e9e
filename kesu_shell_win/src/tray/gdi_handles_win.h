#pragma once

// Owners of the GDI, icon and menu handles the tray and the mini window use, on the pattern of
// main/win_handles.h.

#include <windows.h>

#include "main/win_handles.h"

namespace kesu::shell::win {

struct DeleteObjectCall {
  void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DeleteDcCall {
  void operator()(HDC h) const { ::DeleteDC(h); }
};
struct DestroyIconCall {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
struct DestroyMenuCall {
  void operator()(HMENU h) const { ::DestroyMenu(h); }
};

using DeleteObjectHandle = Owned<HGDIOBJ, DeleteObjectCall>;
using DeleteDcHandle = Owned<HDC, DeleteDcCall>;
using DestroyIconHandle = Owned<HICON, DestroyIconCall>;
using DestroyMenuHandle = Owned<HMENU, DestroyMenuCall>;

// Puts the previous object back into the device context when it goes.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint … EndPaint.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(::BeginPaint(window, &ps_)) {}
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { ::EndPaint(window_, &ps_); }
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

}  // namespace kesu::shell::win
