#include "sherpa/sherpa_library.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "sherpa/dynlib.h"
#include "util/paths.h"

namespace kesu {

namespace {

struct LoadedLibrary {
  std::unique_ptr<DynamicLibrary> library;
  SherpaApi api;
  std::string error;
};

SherpaLoad open_and_resolve(const std::filesystem::path& dir, LoadedLibrary& slot) {
  const std::filesystem::path file = dir / sherpa_library_file_name();
  std::string reason;
  slot.library = DynamicLibrary::open(file, reason);
  if (!slot.library) {
    slot.error = "打不开 sherpa-onnx 库 " + path_to_utf8(file) + "：" + reason;
    return {nullptr, slot.error};
  }
  std::string missing;
#define KESU_SHERPA_RESOLVE(name)                                                         \
  slot.api.name = reinterpret_cast<decltype(slot.api.name)>(slot.library->symbol(#name)); \
  if (slot.api.name == nullptr) missing += std::string(missing.empty() ? "" : ", ") + #name;
  KESU_SHERPA_FUNCTIONS(KESU_SHERPA_RESOLVE)
#undef KESU_SHERPA_RESOLVE
  if (!missing.empty()) {
    slot.error = "sherpa-onnx 库 " + path_to_utf8(file) + " 缺少函数：" + missing;
    return {nullptr, slot.error};
  }
  return {&slot.api, {}};
}

}  // namespace

const char* sherpa_library_file_name() {
#ifdef _WIN32
  return "sherpa-onnx-c-api.dll";
#else
  return "libsherpa-onnx-c-api.so";
#endif
}

std::filesystem::path sherpa_library_dir() {
  const char* dir = std::getenv("KESU_SHERPA_DIR");
  if (dir != nullptr && *dir != '\0') return path_from_utf8(dir);
  return this_module_directory();
}

SherpaLoad load_sherpa(const std::filesystem::path& dir) {
  // One entry per folder for the whole process; a failed attempt is remembered too, so a
  // missing library costs one lookup, not one per recording.
  static std::mutex mu;
  static std::map<std::filesystem::path, LoadedLibrary> loaded;  // guarded by mu
  std::lock_guard lock(mu);
  auto [it, inserted] = loaded.try_emplace(dir);
  if (inserted) return open_and_resolve(dir, it->second);
  if (it->second.error.empty()) return {&it->second.api, {}};
  return {nullptr, it->second.error};
}

SherpaLoad load_sherpa() { return load_sherpa(sherpa_library_dir()); }

}  // namespace kesu
