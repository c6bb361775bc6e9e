#pragma once

// Fetching one catalog model with curl (mirror first, then the official release) and installing
// it into the models directory. Everything runs on the calling thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "models/catalog.h"
#include "util/error.h"

namespace kesu {

struct DownloadJob {
  const CatalogRow* row = nullptr;
  std::filesystem::path models_dir;
  std::string mirror;                         // the [models] mirror setting, as configured
  std::string proxy_setting;                  // the [models] proxy setting, as configured
  const std::atomic<bool>* cancel = nullptr;  // the core's shutdown flag
  // Bytes in the partial file and the expected size (0 when unknown).
  std::function<void(std::uint64_t received, std::uint64_t total)> progress;
};

// Downloads (or reuses a finished download under .download), unpacks or copies, and returns the
// installed marker path. A partial file is kept after a failure so the next attempt resumes it.
Result<std::filesystem::path> run_download(const DownloadJob& job);

// <models dir>/<marker>, in the platform's separators.
std::filesystem::path marker_path(const std::filesystem::path& models_dir, const CatalogRow& row);

// The directory the model owns inside the models directory (the marker's first component), or
// nullopt for a single-file model lying directly in the models directory.
std::optional<std::filesystem::path> model_own_directory(const std::filesystem::path& models_dir,
                                                         const CatalogRow& row);

}  // namespace kesu
