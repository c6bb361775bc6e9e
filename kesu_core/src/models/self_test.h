#pragma once

// The check run on a freshly installed model before it is reported as installed.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "models/catalog.h"

namespace kesu {

// Gets the catalog row and the directory holding its marker; returns the reason the model
// cannot be used, or nullopt when it loads.
using ModelSelfTest = std::function<std::optional<std::string>(
    const CatalogRow& row, const std::filesystem::path& model_dir)>;

// The marker file must be there ("解包后没找到 {path}"); nothing is loaded.
std::optional<std::string> check_marker_present(const CatalogRow& row,
                                                const std::filesystem::path& model_dir);

}  // namespace kesu
