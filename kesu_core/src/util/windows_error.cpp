#include "util/windows_error.h"

#if defined(_WIN32)

namespace kesu {

std::string windows_message(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr) {
    const int len =
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(len));
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), text.data(), len, nullptr,
                        nullptr);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
  }
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

}  // namespace kesu

#endif
