#pragma once

// Waiting on a thread that owns windows: the time passes while its messages are served.

#include <windows.h>

#include <chrono>

namespace kesu::shell::win {

inline void serve_messages_for(std::chrono::milliseconds duration) {
  const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(duration.count());
  for (ULONGLONG now = ::GetTickCount64(); now < until; now = ::GetTickCount64()) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

}  // namespace kesu::shell::win
