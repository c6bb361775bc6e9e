#pragma once

#include <memory>

#include "inject/insert_platform.h"

namespace kesu::shell::win {

// UI Automation through COM, created on the calling thread (apartment-threaded). Where the
// system has none (Wine) the object that comes back answers like NoUiAutomation.
std::unique_ptr<UiAutomation> open_ui_automation();

}  // namespace kesu::shell::win
