#include "util/paths.h"

#include <system_error>

namespace kesu {

std::filesystem::path path_from_utf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string path_to_utf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

std::optional<std::string> file_change_stamp(const std::filesystem::path& file) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return std::nullopt;
  const auto mtime = std::filesystem::last_write_time(file, ec);
  if (ec) return std::nullopt;
  return std::to_string(size) + ":" + std::to_string(mtime.time_since_epoch().count());
}

}  // namespace kesu
