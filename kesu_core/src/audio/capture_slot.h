#pragma once

#include <mutex>

namespace kesu {

enum class CaptureUser { none, dictation, enrolment };

// Who records from the microphone. A dictation and a voice enrolment each need the speaker's
// words whole, so neither opens a capture while the other holds the slot. (The level meter is
// a preview: it yields to both and takes no claim.)
class CaptureSlot {
 public:
  // Holds the slot until destroyed; empty when the slot was taken.
  class Claim {
   public:
    Claim() = default;
    Claim(Claim&& other) noexcept : slot_(other.slot_) { other.slot_ = nullptr; }
    Claim& operator=(Claim&& other) noexcept {
      if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = nullptr;
      }
      return *this;
    }
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim() { release(); }
    explicit operator bool() const { return slot_ != nullptr; }

   private:
    friend class CaptureSlot;
    explicit Claim(CaptureSlot* slot) : slot_(slot) {}
    void release() {
      if (slot_ == nullptr) return;
      std::lock_guard lock(slot_->mu_);
      slot_->holder_ = CaptureUser::none;
      slot_ = nullptr;
    }
    CaptureSlot* slot_ = nullptr;
  };

  [[nodiscard]] Claim claim(CaptureUser user) {
    std::lock_guard lock(mu_);
    if (holder_ != CaptureUser::none) return Claim();
    holder_ = user;
    return Claim(this);
  }

  CaptureUser holder() const {
    std::lock_guard lock(mu_);
    return holder_;
  }

 private:
  mutable std::mutex mu_;
  CaptureUser holder_ = CaptureUser::none;  // guarded by mu_
};

}  // namespace kesu
