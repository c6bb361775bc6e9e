#include "ffi/boundary.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "util/utf8.h"

namespace kesu::ffi {

std::optional<std::string_view> text_arg(const char* s) {
  if (s == nullptr) return std::nullopt;
  std::string_view text(s);
  if (!is_valid_utf8(text)) return std::nullopt;
  return text;
}

char* new_c_string(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return nullptr;
  // malloc, because kesu_string_free is the single release function for every returned string.
  auto* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out == nullptr) throw std::bad_alloc();
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

void set_message(char** err, std::string_view message) {
  if (err == nullptr) return;
  *err = new_c_string(message);
}

void log_boundary_failure(const char* export_name, const char* what) {
  log_line(std::string(export_name) + " 内部错误（已拦截）：" + what);
}

}  // namespace kesu::ffi
