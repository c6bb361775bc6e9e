#include "hotwords/hotword_store.h"

#include "hotwords/hotword_file.h"

namespace kesu {

Status HotwordStore::save_and_replace(HotwordTable table) {
  std::lock_guard file_lock(file_mu_);
  if (Status saved = save_hotwords(table); !saved) return saved;
  swap_in(std::move(table));
  return Status::success();
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
