#include <dlfcn.h>

#include "main/dynamic_library.h"

namespace kesu::shell {

namespace {

// Owns a dlopen handle; dlclose on destruction unless the library is kept loaded.
class DlLibrary final : public Library {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;
  ~DlLibrary() override {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* symbol(const char* name) override { return dlsym(handle_, name); }
  void keep_loaded() override { handle_ = nullptr; }

 private:
  void* handle_;
};

class DlOpener final : public LibraryOpener {
 public:
  std::unique_ptr<Library> open(const std::filesystem::path& path, std::string& error) override {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      error = why != nullptr ? why : "dlopen failed";
      return nullptr;
    }
    return std::make_unique<DlLibrary>(handle);
  }
};

}  // namespace

std::unique_ptr<LibraryOpener> system_library_opener() { return std::make_unique<DlOpener>(); }

}  // namespace kesu::shell
