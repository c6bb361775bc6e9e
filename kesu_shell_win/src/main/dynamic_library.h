#pragma once

// Loading a shared library, behind an interface so the loader's steps run against a fake in tests.

#include <filesystem>
#include <memory>
#include <string>

namespace kesu::shell {

class Library {
 public:
  virtual ~Library() = default;
  virtual void* symbol(const char* name) = 0;
  // The core's threads run until the process ends, so a bound library is never unloaded.
  virtual void keep_loaded() = 0;
};

class LibraryOpener {
 public:
  virtual ~LibraryOpener() = default;
  // nullptr with `error` set to the operating system's text on failure.
  virtual std::unique_ptr<Library> open(const std::filesystem::path& path, std::string& error) = 0;
};

// LoadLibrary / dlopen.
std::unique_ptr<LibraryOpener> system_library_opener();

}  // namespace kesu::shell
