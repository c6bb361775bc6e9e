#pragma once

// Writes out the embedded payloads, loads the core library, checks its version, binds its
// exports and creates the core handle.

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "main/core_binding.h"
#include "main/dynamic_library.h"
#include "main/payloads.h"

namespace kesu::shell {

struct LoadResult {
  std::optional<CoreBinding> binding;
  std::string error;  // for display when binding is absent
};

struct LoaderInputs {
  std::optional<std::filesystem::path> exe_dir;
  std::span<const Payload> payloads;
  LibraryOpener* opener;
  LogFn log;
};

LoadResult load_core(const std::filesystem::path& data_dir, const LoaderInputs& in);

// Binds the library's exports and creates the handle (the steps after placement).
LoadResult bind_core(Library& library, const std::filesystem::path& data_dir);

inline constexpr const char* kCoreNewFailed =
    "核心初始化失败：kesu_core_new 返回空。\n最常见原因：已经有一份 Kesu 在运行、占着数据目录；"
    "其次是数据目录不可写或磁盘满。";

}  // namespace kesu::shell
