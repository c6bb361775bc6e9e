#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <vector>
#include <string>
#include <string_view>

#include "util/error.h"

namespace kesu {

// The files under <core directory>/pending that let text and audio survive a crash or an
// insertion that never got confirmed.
class PendingFiles {
 public:
  explicit PendingFiles(std::filesystem::path core_dir);

  // Deletes files older than 24 hours; they are no longer worth offering.
  void remove_expired() const;
  std::optional<std::string> read_last_result() const;
  // Replaces last_result.txt atomically.
  Status write_last_result(std::string_view text) const;
  void delete_last_result() const;

  // last_failed.wav: the audio of the last failed recognition, kept for a retry.
  Status write_failed_audio(std::span<const float> samples) const;
  struct FailedAudio {
    std::optional<std::vector<float>> samples;
    std::optional<Error> error;  // set when the file exists but cannot be used
  };
  FailedAudio read_failed_audio() const;

  std::filesystem::path last_result_path() const;
  std::filesystem::path last_failed_path() const;

 private:
  std::filesystem::path dir_;
};

}  // namespace kesu
