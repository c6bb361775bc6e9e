#pragma once

#include <memory>
#include <string>

#include "config/config_store.h"
#include "lan/lan_socket.h"
#include "pipeline/speech_backend.h"

namespace kesu::lan {

// What a request thread needs: the token, the configuration for recognition (the detector
// model path among it) and the shared recogniser.
struct RequestContext {
  std::string token;
  ConfigPtr config;
  std::shared_ptr<SpeechBackend> speech;
};

struct RequestOutcome {
  int status = 0;  // 0: the connection failed before an answer was sent
  std::uint64_t body_bytes = 0;
};

// Reads one request from `connection`, answers it and reports what was sent.
RequestOutcome handle_request(Connection& connection, const RequestContext& context);

// Reads and discards what a client sends (at most 1 MiB, for at most 2 seconds), so that an
// answer sent before reading the request is not lost to a connection reset.
void drain(Connection& connection);

}  // namespace kesu::lan
