#pragma once

// Files the executable carries inside itself and writes into the data folder at start.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kesu::shell {

enum class PayloadKind {
  CoreLibrary,  // the core itself; exactly one
  Runtime,      // anything the core loads or starts at run time; goes beside the core in "bin"
  Model,        // built-in model; goes to "models", compared by size only
};

struct Payload {
  std::string_view name;  // file name on disk
  PayloadKind kind;
  std::span<const unsigned char> bytes;  // the file as a gzip stream
};

// The payloads linked into this executable (generated at build time).
std::span<const Payload> embedded_payloads();

using LogFn = std::function<void(std::string_view)>;

std::uint64_t fnv1a64(std::span<const unsigned char> bytes);
// "{length}-{hash}" of the core image; every other library adds " {name}={length}-{hash}" so a
// change to any of them rewrites the whole set. Lengths and hashes are of the packed bytes.
std::string expected_stamp(std::span<const Payload> payloads);

// Writes missing or wrongly sized models (by their unpacked size) into {data}/models; errors are
// skipped silently.
void write_models(const std::filesystem::path& data_dir, std::span<const Payload> payloads,
                  const LogFn& log);

struct Placement {
  std::filesystem::path library;  // the core library to load
  std::string error;              // set when placement failed
};

// The core beside the executable wins; otherwise {data}/bin is brought up to date with the
// embedded libraries, guided by "kesu_core.stamp".
Placement place_core_library(const std::optional<std::filesystem::path>& exe_dir,
                             const std::filesystem::path& data_dir,
                             std::span<const Payload> payloads, const LogFn& log);

}  // namespace kesu::shell
