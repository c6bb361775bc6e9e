#include "events/event_sink.h"

#include "util/log.h"

namespace kesu {
namespace {
// Set while this thread is inside the host's callback; a drain from there must not wait for
// itself.
thread_local int callback_depth = 0;
}  // namespace

void EventSink::set(EventCallback cb, void* user) {
  std::lock_guard lock(mu_);
  cb_ = cb;
  user_ = user;
}

void EventSink::clear() {
  std::lock_guard lock(mu_);
  cb_ = nullptr;
  user_ = nullptr;
}

void EventSink::clear_and_drain() {
  std::unique_lock lock(mu_);
  cb_ = nullptr;
  user_ = nullptr;
  const int own = callback_depth;
  idle_cv_.wait(lock, [&] { return in_flight_ <= own; });
}

void EventSink::deliver(const nlohmann::json& envelope) {
  EventCallback cb;
  void* user;
  {
    std::lock_guard lock(mu_);
    cb = cb_;
    user = user_;
    if (cb == nullptr) return;
    ++in_flight_;
  }
  struct InFlight {
    EventSink& sink;
    ~InFlight() {
      --callback_depth;
      std::lock_guard lock(sink.mu_);
      --sink.in_flight_;
      sink.idle_cv_.notify_all();
    }
  };
  ++callback_depth;
  InFlight guard{*this};
  const std::optional<std::string> text = render_event(envelope);
  if (!text) {
    log_line("dropped an event whose text contains a NUL byte");
    return;
  }
  cb(text->c_str(), user);
}

void EventSink::emit_core_event(std::string_view type, std::string_view payload_text) {
  deliver(make_envelope(type, parse_payload_text(payload_text), EventStamp{}));
}

}  // namespace kesu
