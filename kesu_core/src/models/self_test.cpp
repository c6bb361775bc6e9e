#include "models/self_test.h"

#include <system_error>

#include "util/paths.h"

namespace kesu {

Status check_marker_present(const CatalogRow& row, const std::filesystem::path& model_dir) {
  const std::filesystem::path marker = model_dir / path_from_utf8(row.marker).filename();
  std::error_code ec;
  if (std::filesystem::exists(marker, ec)) return Status::success();
  return Error{ErrorCode::model_marker_missing, path_to_utf8(marker)};
}

}  // namespace kesu
