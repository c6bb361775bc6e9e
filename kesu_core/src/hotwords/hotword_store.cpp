#include "hotwords/hotword_store.h"

#include "hotwords/hotword_file.h"

namespace kesu {

std::optional<std::string> HotwordStore::save_and_replace(HotwordTable table) {
  std::lock_guard file_lock(file_mu_);
  if (auto error = save_hotwords(table)) return error;
  swap_in(std::move(table));
  return std::nullopt;
}

void HotwordStore::reload(const std::filesystem::path& path) {
  std::lock_guard file_lock(file_mu_);
  swap_in(load_hotwords(path));
}

void HotwordStore::swap_in(HotwordTable table) {
  auto next = std::make_shared<const HotwordTable>(std::move(table));
  std::shared_ptr<const HotwordTable> previous;  // released outside the lock
  std::lock_guard lock(mu_);
  previous = std::exchange(table_, std::move(next));
}

}  // namespace kesu
