#pragma once

#if defined(_WIN32)
#include <windows.h>

#include <string>

namespace kesu {

// The system's own wording for a Windows error code, as UTF-8 without the trailing line break;
// empty when the system has none.
std::string windows_message(DWORD code);

}  // namespace kesu
#endif
