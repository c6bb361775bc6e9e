#include "engine/engine_slot.h"

#include <chrono>
#include <exception>

namespace kesu {

EngineSlot::EngineSlot(std::shared_ptr<Engine> engine)
    : engine_(std::move(engine)), name_(engine_ ? std::string(engine_->name()) : "") {}

SlotResult EngineSlot::recognise(std::span<const float> samples) {
  const auto asked = std::chrono::steady_clock::now();
  std::lock_guard lock(engine_mu_);
  const std::chrono::duration<double, std::milli> waited = std::chrono::steady_clock::now() - asked;
  SlotResult out;
  out.wait_ms = waited.count();
  if (!engine_) {
    out.recognition.error = Error{ErrorCode::no_engine, {}};
    return out;
  }
  // A failing segment keeps its error; it never takes the decoding thread down.
  try {
    out.recognition = engine_->recognise(samples);
  } catch (const std::exception& e) {
    out.recognition = {{}, Error{ErrorCode::recognition_failed, e.what()}};
  } catch (...) {
    out.recognition = {{}, Error{ErrorCode::recognition_failed, {}}};
  }
  return out;
}

void EngineSlot::replace(std::shared_ptr<Engine> engine) {
  std::shared_ptr<Engine> old;
  {
    std::lock_guard lock(engine_mu_);
    old = std::exchange(engine_, std::move(engine));
    std::lock_guard name_lock(name_mu_);
    name_ = engine_ ? std::string(engine_->name()) : "";
  }
  // `old` is destroyed here, outside the lock: freeing a large model takes a while.
}

std::string EngineSlot::name() const {
  std::lock_guard lock(name_mu_);
  return name_;
}

}  // namespace kesu
