#pragma once

#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/model_loader.h"
#include "engine/sherpa_objects.h"
#include "util/error.h"

namespace kesu {

// Silero detectors kept built between recordings. Building one is an onnxruntime session: tens
// to hundreds of milliseconds, far more than segmenting the last seconds of a dictation. Each
// user holds its own detector; a built one is reset and reused until the model file or the
// configured path changes.
class VadPool {
 public:
  explicit VadPool(const ModelLoader& loader) : loader_(loader) {}
  VadPool(const VadPool&) = delete;
  VadPool& operator=(const VadPool&) = delete;

  // A detector on loan; given back (reset for the next recording) when it goes out of scope.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&& other) noexcept;
    ~Lease();
    const SherpaOnnxVoiceActivityDetector* get() const { return vad_.get(); }
    explicit operator bool() const { return static_cast<bool>(vad_); }

   private:
    friend class VadPool;
    void give_back();
    VadPool* pool_ = nullptr;
    VadHandle vad_;
    std::uint64_t generation_ = 0;
  };

  // A detector for `model`, ready for a new recording, or why none can be built.
  Result<Lease> acquire(const std::filesystem::path& model);

  // Has a detector for `model` built and waiting, without holding it (the warm-up after start).
  Status prepare(const std::filesystem::path& model);

  const SherpaApi* api() const { return loader_.api(); }
  // Detectors built so far (tests and benchmarks see whether one was reused).
  std::size_t built() const;

 private:
  enum class Use { caller, pool };
  Result<Lease> take(const std::filesystem::path& model, Use use);
  Result<VadHandle> build(const std::filesystem::path& model) const;
  void take_back(VadHandle vad, std::uint64_t generation);

  // More than this many idle detectors are not kept: two users at once is already rare.
  static constexpr std::size_t kMaxIdle = 2;

  const ModelLoader& loader_;
  mutable std::mutex mu_;
  std::condition_variable build_finished_;
  bool building_ = false;           // guarded by mu_
  std::string identity_;            // guarded by mu_; the model's path and change stamp
  std::uint64_t generation_ = 0;    // guarded by mu_; counts model changes
  std::vector<VadHandle> idle_;     // guarded by mu_
  std::size_t built_ = 0;           // guarded by mu_
};

}  // namespace kesu
