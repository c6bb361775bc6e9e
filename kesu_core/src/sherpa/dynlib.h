#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace kesu {

// A shared library opened at run time; closing it is the destructor's job.
class DynamicLibrary {
 public:
  // Opens `path`; on failure returns nullptr and puts the system's reason into `error`.
  static std::unique_ptr<DynamicLibrary> open(const std::filesystem::path& path,
                                              std::string& error);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The address of an exported function, or nullptr.
  void* symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The folder of the module (shared library or executable) this code was linked into: the core
// finds sherpa-onnx and its helper program beside itself.
std::filesystem::path this_module_directory();

}  // namespace kesu
