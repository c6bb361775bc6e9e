#include "events/envelope.h"

namespace kesu {

nlohmann::json make_envelope(std::string_view type, nlohmann::json payload, EventStamp stamp) {
  nlohmann::json envelope = nlohmann::json::object();
  envelope["generation"] = stamp.generation;
  envelope["payload"] = std::move(payload);
  envelope["schema"] = kEventSchema;
  envelope["seq"] = stamp.seq;
  envelope["session"] = stamp.session;
  envelope["type"] = std::string(type);
  return envelope;
}

std::optional<std::string> render_event(const nlohmann::json& envelope) {
  // Invalid UTF-8 inside a payload string is replaced rather than aborting the event.
  std::string text = envelope.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.find('\0') != std::string::npos) return std::nullopt;
  return text;
}

nlohmann::json parse_payload_text(std::string_view text) {
  nlohmann::json value = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return nlohmann::json::object();
  return value;
}

}  // namespace kesu
