#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "util/error.h"

namespace kesu {

struct HttpRequest {
  std::string method = "GET";
  std::string url;  // http:// or https://
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The whole exchange, from name lookup to the last byte, ends by then.
  std::chrono::milliseconds timeout{10000};
};

struct HttpResponse {
  int status = 0;  // 0 when no response arrived
  std::string body;
  std::optional<Error> error;  // transport failure (no connection, time-out, TLS …)

  bool timed_out() const { return error && error->code == ErrorCode::http_timed_out; }
};

// Upper bound of a response body kept in memory; larger answers are a failure.
inline constexpr std::size_t kMaxResponseBytes = 16u << 20;

// Blocking request over the platform's HTTP stack (libcurl with the system CA store; WinHTTP with
// the system certificate store and proxy on Windows). Never throws.
HttpResponse http_request(const HttpRequest& request);

}  // namespace kesu
