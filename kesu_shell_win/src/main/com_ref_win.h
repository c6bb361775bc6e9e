#pragma once

// One reference to a COM object, released with the owner; and HRESULTs as text.

#include <windows.h>

#include <cstdio>
#include <string>

namespace kesu::shell::win {

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p_ != nullptr) p_->Release();
  }
  T* get() const { return p_; }
  T** out() { return &p_; }
  void** out_void() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

inline std::string hresult_text(HRESULT hr) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(hr));
  return buf;
}

}  // namespace kesu::shell::win
