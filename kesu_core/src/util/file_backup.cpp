#include "util/file_backup.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "util/atomic_file.h"
#include "util/paths.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

bool holds(const fs::path& path, std::string_view bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return !in.bad() && text == bytes;
}

}  // namespace

fs::path backup_name(const fs::path& file, int n) {
  fs::path name = file;
  name += n <= 1 ? ".broken" : ".broken." + std::to_string(n);
  return name;
}

Result<fs::path> keep_backup(const fs::path& file, std::string_view bytes) {
  std::optional<fs::path> free_name;
  for (int n = 1; n <= kMaxBackups; ++n) {
    const fs::path name = backup_name(file, n);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(name, ec);
    // A name that cannot even be looked at counts as taken: it is never written over.
    const bool taken = fs::exists(status) || (ec && ec != std::errc::no_such_file_or_directory);
    if (!taken) {
      if (!free_name) free_name = name;
      continue;
    }
    if (holds(name, bytes)) return name;
  }
  if (!free_name) {
    return Error{ErrorCode::backups_full, path_to_utf8(backup_name(file, 1))};
  }
  // Written under a temporary name first, so a cut-short copy never looks like a backup.
  fs::path tmp = *free_name;
  tmp += ".tmp";
  Status kept = write_whole_file(tmp, bytes, FileAccess::owner_only);
  if (kept) kept = replace_file(tmp, *free_name);
  if (!kept) {
    std::error_code ec;
    fs::remove(tmp, ec);
    return kept.error();
  }
  return *free_name;
}

}  // namespace kesu
