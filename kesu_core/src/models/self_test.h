#pragma once

// The check run on a freshly installed model before it is reported as installed.

#include <filesystem>
#include <functional>

#include "models/catalog.h"
#include "util/error.h"

namespace kesu {

// Gets the catalog row and the directory holding its marker; fails with the reason the model
// cannot be used.
using ModelSelfTest = std::function<Status(const CatalogRow& row, const std::filesystem::path& model_dir)>;

// The marker file must be there; nothing is loaded.
Status check_marker_present(const CatalogRow& row, const std::filesystem::path& model_dir);

}  // namespace kesu
