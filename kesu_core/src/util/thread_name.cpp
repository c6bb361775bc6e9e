#include "util/thread_name.h"

#if defined(_WIN32)
#include <windows.h>

#include <string>
#elif defined(__linux__)
#include <pthread.h>
#endif

namespace kesu {

#if defined(_WIN32)
void name_this_thread(const char* name) {
  // SetThreadDescription exists from Windows 10 1607 on; look it up instead of linking to it.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  auto set = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  if (set == nullptr) return;
  const std::wstring wide(name, name + std::char_traits<char>::length(name));  // ASCII names
  set(GetCurrentThread(), wide.c_str());
}
#elif defined(__linux__)
void name_this_thread(const char* name) { pthread_setname_np(pthread_self(), name); }
#else
void name_this_thread(const char*) {}
#endif

}  // namespace kesu
