#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kesu {

// The files under <core directory>/pending that let text and audio survive a crash or an
// insertion that never got confirmed.
class PendingFiles {
 public:
  explicit PendingFiles(std::filesystem::path core_dir);

  // Deletes files older than 24 hours; they are no longer worth offering.
  void remove_expired() const;
  std::optional<std::string> read_last_result() const;
  // Replaces last_result.txt atomically; false with `error` set when it could not be written.
  [[nodiscard]] bool write_last_result(std::string_view text, std::string& error) const;
  void delete_last_result() const;

  std::filesystem::path last_result_path() const;

 private:
  std::filesystem::path dir_;
};

}  // namespace kesu
