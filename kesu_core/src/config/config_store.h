#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "config/config_record.h"

namespace kesu {

using ConfigPtr = std::shared_ptr<const ConfigRecord>;

// The current configuration record. Readers take a snapshot and keep using it for their whole
// piece of work; writers replace the record whole and advance the generation.
class ConfigStore {
 public:
  explicit ConfigStore(ConfigRecord initial)
      : current_(std::make_shared<const ConfigRecord>(std::move(initial))) {}

  ConfigPtr snapshot() const {
    std::lock_guard lock(mu_);
    return current_;
  }

  struct Replaced {
    ConfigPtr record;
    std::uint64_t generation;
  };

  // Computes the next record from the current one and stores it, in one step so concurrent
  // patches cannot overwrite each other. `next` returns nullptr to leave the record unchanged.
  Replaced update(const std::function<ConfigPtr(const ConfigRecord&)>& next) {
    std::lock_guard lock(mu_);
    ConfigPtr replacement = next(*current_);
    if (!replacement) return {nullptr, generation_.load()};
    current_ = std::move(replacement);
    return {current_, generation_.fetch_add(1) + 1};
  }

  std::uint64_t generation() const { return generation_.load(); }
  // The newest generation written to disk (worker only advances it).
  std::uint64_t saved_generation() const { return saved_generation_.load(); }
  void mark_saved(std::uint64_t generation) { saved_generation_.store(generation); }

 private:
  mutable std::mutex mu_;
  ConfigPtr current_;                         // guarded by mu_
  std::atomic<std::uint64_t> generation_{0};  // advanced under mu_
  std::atomic<std::uint64_t> saved_generation_{0};
};

}  // namespace kesu
