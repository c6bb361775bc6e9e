#pragma once

// Owners of Win32 handles, each named after the call that releases it. Movable, not copyable.

#include <windows.h>

#include <utility>

namespace kesu::shell::win {

template <class T, class Release>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, T{});
    }
    return *this;
  }
  ~Owned() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }
  // Gives up ownership without releasing.
  T release() { return std::exchange(value_, T{}); }
  void reset() {
    if (value_ != T{}) Release{}(value_);
    value_ = T{};
  }

 private:
  T value_{};
};

struct FreeLibraryCall {
  void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
struct RegCloseKeyCall {
  void operator()(HKEY h) const { ::RegCloseKey(h); }
};
struct LocalFreeCall {
  void operator()(HLOCAL h) const { ::LocalFree(h); }
};
struct DestroyWindowCall {
  void operator()(HWND h) const { ::DestroyWindow(h); }
};

struct DeleteObjectCall {
  void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DeleteDCCall {
  void operator()(HDC h) const { ::DeleteDC(h); }
};

struct DestroyIconCall {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
struct DestroyMenuCall {
  void operator()(HMENU h) const { ::DestroyMenu(h); }
};

using FreeLibraryHandle = Owned<HMODULE, FreeLibraryCall>;
using RegCloseKeyHandle = Owned<HKEY, RegCloseKeyCall>;
using LocalFreeHandle = Owned<HLOCAL, LocalFreeCall>;
using DestroyWindowHandle = Owned<HWND, DestroyWindowCall>;
using FontHandle = Owned<HFONT, DeleteObjectCall>;
using BitmapHandle = Owned<HBITMAP, DeleteObjectCall>;
using MemoryDCHandle = Owned<HDC, DeleteDCCall>;
using DeleteObjectHandle = Owned<HGDIOBJ, DeleteObjectCall>;
using DestroyIconHandle = Owned<HICON, DestroyIconCall>;
using DestroyMenuHandle = Owned<HMENU, DestroyMenuCall>;

// The screen's device context for the life of the object.
class ScreenDC {
 public:
  ScreenDC() : dc_(::GetDC(nullptr)) {}
  ~ScreenDC() {
    if (dc_ != nullptr) ::ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~Selection() {
    if (old_ != nullptr && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
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
