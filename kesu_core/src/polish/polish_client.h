#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/config_record.h"
#include "net/http_client.h"
#include "polish/polish_prompt.h"
#include "util/error.h"

namespace kesu {

// Sends one request; tests replace it to see the exact request without a network.
using HttpTransport = std::function<HttpResponse(const HttpRequest&)>;

// The default transport, the platform's HTTP client.
HttpTransport default_transport();

struct PolishSettings {
  std::string endpoint;
  std::string model;
  std::string api_key;
  std::int64_t timeout_ms = 3000;
  PolishLevel level = PolishLevel::off;
  std::string extra_prompt;
  std::string application;
};

// Either the text or the reason there is none.
using TextOutcome = Result<std::string>;

// The result check: whether `result` is acceptable for `source`, else why not.
Status check_polish_result(std::string_view source, std::string_view result);

// Polishes `text` (level off: unchanged, no request).
TextOutcome polish_text(const PolishSettings& settings, std::string_view text,
                        const HttpTransport& send);

// The profile fields polish uses (the active one for the polish test).
struct PolishProfileView {
  std::string level;
  std::string prompt;
};

// What a dictation polishes with, or nullopt when it must not polish: polish switched off, the
// session's level off or unreadable, no API key, or the simulated microphone without
// KESU_POLISH_IN_SIM=1 (so test runs never reach a paid service by accident).
std::optional<PolishSettings> pipeline_polish_settings(const ConfigRecord& config,
                                                       const PolishProfileView& session_profile,
                                                       std::string_view application);

// Polishes the fixed sample sentence with the configuration and the active profile.
TextOutcome polish_sample(const ConfigRecord& config, const PolishProfileView& profile,
                          const HttpTransport& send);

// Model ids the service offers, as a JSON array text.
TextOutcome list_polish_models(const ConfigRecord& config, const HttpTransport& send);

// Rewrites `selected` following `instruction`.
TextOutcome rewrite_selection(const ConfigRecord& config, std::string_view instruction,
                              std::string_view selected, const HttpTransport& send);

}  // namespace kesu
