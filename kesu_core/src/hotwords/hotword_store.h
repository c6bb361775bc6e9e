#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "hotwords/hotword_table.h"
#include "util/error.h"

namespace kesu {

// The core's one hotword table. Readers take the current table under the lock and work on it
// outside; replacements swap it whole.
class HotwordStore {
 public:
  explicit HotwordStore(HotwordTable initial)
      : table_(std::make_shared<const HotwordTable>(std::move(initial))) {}

  std::shared_ptr<const HotwordTable> table() const {
    std::lock_guard lock(mu_);
    return table_;
  }

  std::string apply(std::string_view text) const { return table()->apply(text); }

  // Writes the table's file and, when that worked, makes it the current table (on failure the
  // current table stays).
  Status save_and_replace(HotwordTable table);

  // Loads the table again from `path` (hand edits, a new directory) and makes it current.
  void reload(const std::filesystem::path& path);

 private:
  void swap_in(HotwordTable table);

  // Held across a file write and the swap that follows it, so that the file and the table
  // never end up from two different setters.
  std::mutex file_mu_;
  mutable std::mutex mu_;
  std::shared_ptr<const HotwordTable> table_;  // guarded by mu_
};

}  // namespace kesu
