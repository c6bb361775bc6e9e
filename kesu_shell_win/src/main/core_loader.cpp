#include "main/core_loader.h"

#include <mutex>

#include "main/text.h"

namespace kesu::shell {

namespace {

std::mutex g_free_mu;
decltype(&::kesu_string_free) g_string_free = nullptr;  // guarded by g_free_mu

// Looks up one export into `slot`; remembers the first missing name.
template <class Fn>
void bind(Library& lib, const char* name, Fn& slot, std::string& missing) {
  if (!missing.empty()) return;
  slot = reinterpret_cast<Fn>(lib.symbol(name));
  if (slot == nullptr) missing = name;
}

#define BIND(field) bind(lib, #field, b.field, missing);

LoadResult bind_steps(Library& lib, const std::filesystem::path& data_dir);

}  // namespace

void set_string_free(decltype(&::kesu_string_free) fn) {
  std::lock_guard lock(g_free_mu);
  g_string_free = fn;
}

void free_core_string(char* s) {
  if (s == nullptr) return;
  std::lock_guard lock(g_free_mu);
  if (g_string_free != nullptr) g_string_free(s);
}

LoadResult bind_core(Library& lib, const std::filesystem::path& data_dir) {
  LoadResult result = bind_steps(lib, data_dir);
  // A failed load unloads the library: the slot must not keep pointing into it.
  if (!result.binding) set_string_free(nullptr);
  return result;
}

namespace {

LoadResult bind_steps(Library& lib, const std::filesystem::path& data_dir) {
  std::string missing;
  decltype(&::kesu_abi_version) abi_version = nullptr;
  bind(lib, "kesu_abi_version", abi_version, missing);
  if (!missing.empty()) return {std::nullopt, "缺少导出 " + missing};
  const unsigned major = abi_version() >> 16;
  if (major != 1) return {std::nullopt, "ABI 主版本不匹配：dll=" + std::to_string(major) + "，壳=1"};

  // Everything is bound before the core starts: a library missing an export never runs.
  CoreBinding b;
  KESU_CORE_EXPORTS(BIND)
  if (!missing.empty()) return {std::nullopt, "缺少导出 " + missing};
  set_string_free(b.kesu_string_free);

  const std::string dir = path_to_utf8(data_dir);
  b.core = b.kesu_core_new(dir.c_str());
  if (b.core == nullptr) return {std::nullopt, kCoreNewFailed};
  return {b, {}};
}

}  // namespace

#undef BIND

LoadResult load_core(const std::filesystem::path& data_dir, const LoaderInputs& in) {
  write_models(data_dir, in.payloads, in.log);
  const Placement placed = place_core_library(in.exe_dir, data_dir, in.payloads, in.log);
  if (!placed.error.empty()) return {std::nullopt, placed.error};

  std::string os_error;
  std::unique_ptr<Library> lib = in.opener->open(placed.library, os_error);
  if (!lib) {
    return {std::nullopt,
            "LoadLibraryW(" + path_to_utf8(placed.library) + ") 失败：" + sanitize_utf8(os_error)};
  }
  LoadResult result = bind_core(*lib, data_dir);
  if (result.binding) lib->keep_loaded();
  return result;
}

}  // namespace kesu::shell
