#include "engine/vad_pool.h"

#include <utility>

#include "config/model_files.h"
#include "util/paths.h"

namespace kesu {

VadPool::Lease& VadPool::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    give_back();
    pool_ = std::exchange(other.pool_, nullptr);
    vad_ = std::move(other.vad_);
    generation_ = other.generation_;
  }
  return *this;
}

VadPool::Lease::~Lease() { give_back(); }

void VadPool::Lease::give_back() {
  if (pool_ != nullptr && vad_) pool_->take_back(std::move(vad_), generation_);
  pool_ = nullptr;
}

Result<VadPool::Lease> VadPool::acquire(const std::filesystem::path& model) {
  return take(model, Use::caller);
}

Status VadPool::prepare(const std::filesystem::path& model) {
  Result<Lease> taken = take(model, Use::pool);
  if (!taken) return taken.error();
  return {};
}

Result<VadPool::Lease> VadPool::take(const std::filesystem::path& model, Use use) {
  // What a built detector depends on: a replaced file or another path means building anew.
  const std::string id = path_to_utf8(model) + "|" + file_change_stamp(model).value_or("");
  Lease lease;
  std::vector<VadHandle> stale;  // destroyed outside the lock
  {
    std::unique_lock lock(mu_);
    // One build at a time: two at once (the warm-up and the first dictation, say) each take
    // twice as long on a small machine, and the one built first is usually free again at once.
    build_finished_.wait(lock, [&] { return !building_; });
    if (id != identity_) {
      identity_ = id;
      ++generation_;
      stale = std::move(idle_);
      idle_.clear();
    }
    lease.pool_ = this;
    lease.generation_ = generation_;
    if (!idle_.empty()) {
      if (use == Use::pool) return Lease{};
      lease.vad_ = std::move(idle_.back());
      idle_.pop_back();
      return lease;
    }
    building_ = true;
  }
  Result<VadHandle> built = build(model);
  bool built_away = false;
  {
    std::lock_guard lock(mu_);
    building_ = false;
    if (built) ++built_;
    // Put back under the same lock that ends the build, so a user waiting for it finds it.
    if (built && use == Use::pool) {
      if (lease.generation_ == generation_) idle_.push_back(std::move(*built));
      built_away = true;
    }
  }
  build_finished_.notify_all();
  if (!built) return built.error();
  if (built_away) return Lease{};
  lease.vad_ = std::move(*built);
  return lease;
}

Result<VadHandle> VadPool::build(const std::filesystem::path& model) const {
  if (!is_file(model)) return Error{ErrorCode::vad_model_missing, path_to_utf8(model)};
  const Result<const SherpaApi*> api = loader_.require_api();
  if (!api) return api.error();
  if (!loader_.validate(ModelKind::vad, model)) return Error{ErrorCode::vad_create_failed, {}};
  VadHandle vad;
  try {
    vad = create_silero_vad(**api, model);
  } catch (...) {
    // Linux only: sherpa-onnx's exceptions cannot be caught from a Windows build.
  }
  if (!vad) return Error{ErrorCode::vad_create_failed, {}};
  return vad;
}

void VadPool::take_back(VadHandle vad, std::uint64_t generation) {
  loader_.api()->SherpaOnnxVoiceActivityDetectorReset(vad.get());
  std::lock_guard lock(mu_);
  if (generation == generation_ && idle_.size() < kMaxIdle) idle_.push_back(std::move(vad));
  // Otherwise it is destroyed here: rare (a model change, a third concurrent user).
}

std::size_t VadPool::built() const {
  std::lock_guard lock(mu_);
  return built_;
}

}  // namespace kesu
