#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "config/config_store.h"
#include "lan/lan_socket.h"
#include "util/error.h"

namespace kesu::lan {

// What a request reads from the core as it begins, so that configuration changes (the detector
// model and its settings) reach the next request. LAN answers are the recogniser's text only: no
// hotword rules, punctuation, polish or voice lock.
struct CoreSnapshot {
  ConfigPtr config;
};

// What recognition made of one request's audio.
struct Transcript {
  std::string text;                    // trimmed; empty when there was nothing to recognise
  std::size_t segments = 0;            // speech segments found
  std::optional<Error> failure;  // recognition failed (no audio at all is not a failure)
};

// The LAN's only way into the core: it never sees the recognition machinery itself.
struct CoreAccess {
  std::function<std::optional<CoreSnapshot>()> snapshot;  // nullopt once the core has gone
  std::function<std::string()> engine_name;               // "" when no engine is usable
  // May be called from several request threads at once.
  std::function<Transcript(std::span<const float> samples, const ConfigRecord& config)> transcribe;
};

// What a request thread needs: the token the server started with and its way into the core.
struct RequestContext {
  std::string token;
  CoreAccess core;
};

// A fixed number of places shared by threads; taking one fails when all are taken.
class Places {
 public:
  explicit Places(int limit) : limit_(limit) {}
  [[nodiscard]] bool try_take() {
    if (taken_.fetch_add(1) >= limit_) {
      taken_.fetch_sub(1);
      return false;
    }
    return true;
  }
  void give_back() { taken_.fetch_sub(1); }

 private:
  const int limit_;
  std::atomic<int> taken_{0};
};

// The request line and headers must have arrived this long after the connection was accepted:
// a client that sends them slowly (or not at all) must not hold a thread for long.
inline constexpr auto kHeadTimeLimit = std::chrono::seconds(5);

struct RequestOutcome {
  int status = 0;  // 0: the connection failed before an answer was sent
  std::uint64_t body_bytes = 0;
  std::string path;  // the request path, once the request line was read
};

// Reads one request from `connection` and answers it. Only a request whose head has arrived
// takes one of `in_flight` (given back before returning); when none is free it is answered
// busy.
RequestOutcome handle_request(Connection& connection, const RequestContext& context, Places& in_flight);

// Answers busy without waiting: reads only what the client has already sent (so that closing
// does not reset the connection under the answer), sends the answer and closes the sending
// side. For the accept loop, which must never wait on one client.
RequestOutcome turn_away_at_once(Connection& connection);

}  // namespace kesu::lan
