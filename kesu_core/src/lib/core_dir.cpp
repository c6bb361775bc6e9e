#include "lib/core_dir.h"

#include <cstdlib>

#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {
namespace {

std::optional<std::string_view> env_text(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0' || !is_valid_utf8(value)) return std::nullopt;
  return std::string_view(value);
}

}  // namespace

std::filesystem::path resolve_core_dir(std::optional<std::string_view> requested) {
  if (requested && !requested->empty()) return path_from_utf8(*requested);
  if (auto dir = env_text("KESU_CONFIG_DIR")) return path_from_utf8(*dir);
  if (auto home = env_text("HOME")) return path_from_utf8(*home) / ".kesu";
  return std::filesystem::path("/tmp") / ".kesu";
}

}  // namespace kesu
