#pragma once

#include <windows.h>

#include <string>

#include "main/push_to_talk.h"

namespace kesu::shell::win {

// File name of a process's image ("notepad.exe"); empty on any failure.
std::string process_image_name(DWORD pid);

class WinForegroundProbe final : public ForegroundProbe {
 public:
  std::string app_name() override;
  std::uintptr_t window() override;
  bool belongs_to_this_process(std::uintptr_t window) override;
};

}  // namespace kesu::shell::win
