#include <windows.h>

#include "main/dynamic_library.h"
#include "main/text.h"
#include "main/win_handles.h"

namespace kesu::shell {

namespace {

std::string system_error_text(DWORD code) {
  wchar_t* raw = nullptr;
  const DWORD len = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  win::LocalFreeHandle owner(raw);
  std::string text = "错误 " + std::to_string(code);
  if (len > 0) {
    text = utf16_to_utf8({reinterpret_cast<const char16_t*>(raw), len});
    text = std::string(trim(text)) + "（" + std::to_string(code) + "）";
  }
  return text;
}

class ModuleLibrary final : public Library {
 public:
  explicit ModuleLibrary(HMODULE module) : module_(module) {}
  void* symbol(const char* name) override {
    return reinterpret_cast<void*>(::GetProcAddress(module_.get(), name));
  }
  void keep_loaded() override { (void)module_.release(); }

 private:
  win::FreeLibraryHandle module_;
};

class ModuleOpener final : public LibraryOpener {
 public:
  std::unique_ptr<Library> open(const std::filesystem::path& path, std::string& error) override {
    // The altered search path makes the core's own folder the first place its dependencies
    // (sherpa-onnx, onnxruntime, PortAudio) are looked for.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
      error = system_error_text(::GetLastError());
      return nullptr;
    }
    return std::make_unique<ModuleLibrary>(module);
  }
};

}  // namespace

std::unique_ptr<LibraryOpener> system_library_opener() { return std::make_unique<ModuleOpener>(); }

}  // namespace kesu::shell
