#include <windows.h>

#include "sherpa/dynlib.h"
#include "util/paths.h"

namespace kesu {

namespace {

std::string last_error_text() {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = "LoadLibrary 错误 " + std::to_string(code);
  if (n > 0 && buffer != nullptr) {
    std::wstring message(buffer, n);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
      message.pop_back();
    text += "：" + path_to_utf8(std::filesystem::path(message));
  }
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::filesystem::path& path,
                                                     std::string& error) {
  // The altered search path finds onnxruntime.dll in the folder of sherpa-onnx-c-api.dll
  // rather than beside the host executable.
  HMODULE handle = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle == nullptr) {
    error = last_error_text();
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::filesystem::path this_module_directory() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&this_module_directory), &self)) {
    return {};
  }
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::filesystem::path(buffer).parent_path();
}

}  // namespace kesu
