#pragma once

// Helpers shared by the exported functions: argument checks, string hand-over and the guard
// that keeps every C++ exception on this side of the C interface.

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "kesu_core.h"
#include "lib/core.h"
#include "util/log.h"

// The handle is a small heap cell with one shared reference to the core.
struct KesuCore {
  std::shared_ptr<kesu::Core> core;
};

namespace kesu::ffi {

// Message of exports whose service is not built into this core yet.
inline constexpr std::string_view kNotImplemented = "尚未实现";
inline constexpr std::string_view kBadArgument = "参数错误";

inline Core* core_of(KesuCore* handle) { return handle ? handle->core.get() : nullptr; }

// An input string: nullopt when NULL or not valid UTF-8 (both count as missing).
std::optional<std::string_view> text_arg(const char* s);

// A caller-owned copy for kesu_string_free; NULL when the text holds a NUL byte.
char* new_c_string(std::string_view text);

// Stores a message into *err when the caller gave a place for it.
void set_message(char** err, std::string_view message);

// A command the worker's full queue refused (the host sends faster than the worker works).
inline constexpr std::string_view kQueueFull = "Kesu 忙不过来：还有太多命令没处理完，请稍后再试";

inline int post_result_code(PostResult result) {
  switch (result) {
    case PostResult::queued:
      return KESU_OK;
    case PostResult::queue_full:
      return KESU_ERR_FAILED;
    case PostResult::shutting_down:
      break;
  }
  return KESU_ERR_SHUTDOWN;
}

void log_boundary_failure(const char* export_name, const char* what);

// Runs an export body; an escaping exception becomes KESU_ERR_FAILED with a message.
template <class Body>
int guard_int(const char* export_name, char** err, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    log_boundary_failure(export_name, e.what());
    try {
      set_message(err, std::string("内部错误：") + e.what());
    } catch (...) {
    }
  } catch (...) {
    log_boundary_failure(export_name, "unknown");
    try {
      set_message(err, "内部错误");
    } catch (...) {
    }
  }
  return KESU_ERR_FAILED;
}

// Runs a pointer-returning export body; an escaping exception becomes NULL.
template <class Body>
auto guard_pointer(const char* export_name, Body&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::exception& e) {
    log_boundary_failure(export_name, e.what());
  } catch (...) {
    log_boundary_failure(export_name, "unknown");
  }
  return nullptr;
}

}  // namespace kesu::ffi
