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

using FreeLibraryHandle = Owned<HMODULE, FreeLibraryCall>;
using RegCloseKeyHandle = Owned<HKEY, RegCloseKeyCall>;
using LocalFreeHandle = Owned<HLOCAL, LocalFreeCall>;
using DestroyWindowHandle = Owned<HWND, DestroyWindowCall>;

}  // namespace kesu::shell::win
