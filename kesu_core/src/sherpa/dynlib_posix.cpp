#include <dlfcn.h>

#include "sherpa/dynlib.h"

namespace kesu {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::filesystem::path& path,
                                                     std::string& error) {
  // RTLD_LOCAL keeps sherpa-onnx's and onnxruntime's symbols out of everyone else's way.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

std::filesystem::path this_module_directory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&this_module_directory), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::filesystem::path(info.dli_fname).parent_path() : file.parent_path();
}

}  // namespace kesu
