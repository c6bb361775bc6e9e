#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace kesu {

// The numbers that place an event: worker events carry the worker's counters, core-level events
// carry zeros.
struct EventStamp {
  std::uint64_t generation = 0;
  std::uint64_t seq = 0;
  std::uint64_t session = 0;
};

inline constexpr int kEventSchema = 1;

// nlohmann::json keeps object members in a std::map, so every object comes out with sorted keys.
nlohmann::json make_envelope(std::string_view type, nlohmann::json payload, EventStamp stamp);

// Compact text of an envelope; nullopt when the text would contain a NUL byte (the host receives
// it as a C string and would see a truncated event).
std::optional<std::string> render_event(const nlohmann::json& envelope);

// Payload of a core-level event given as text: parsed, or an empty object when it is not JSON.
nlohmann::json parse_payload_text(std::string_view text);

}  // namespace kesu
