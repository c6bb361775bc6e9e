#include "polish/polish_client.h"

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "config/config_rules.h"
#include "util/utf8.h"

namespace kesu {

using nlohmann::json;

namespace {

constexpr std::string_view kSampleText = "嗯那个我明天上午十点把设计文档发给你然后我们再对一下细节";

// The first `n` characters of a body for a message, cut at a character boundary.
std::string prefix_chars(std::string_view text, std::size_t n) {
  std::size_t chars = 0, i = 0;
  while (i < text.size() && chars < n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    ++chars;
  }
  std::string out(text.substr(0, i));
  if (!is_valid_utf8(out)) {
    // Bodies are arbitrary bytes; keep messages valid text.
    for (char& c : out) {
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
  }
  return out;
}

HttpRequest chat_request(const std::string& url, const std::string& key, json body,
                         std::chrono::milliseconds timeout) {
  HttpRequest request;
  request.method = "POST";
  request.url = url;
  request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + key}};
  request.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
  request.timeout = timeout;
  return request;
}

// The JSON body of a chat answer. A transport failure is reported with `unreachable` (its detail
// is the transport's reason); an error status or a body that is not JSON fail too.
Result<json> chat_reply(const HttpResponse& response, ErrorCode unreachable) {
  if (response.error) return Error{unreachable, user_message(*response.error)};
  if (response.status < 200 || response.status >= 300) {
    return Error{ErrorCode::chat_http_status,
                 detail_parts({std::to_string(response.status), prefix_chars(response.body, 200)})};
  }
  try {
    return json::parse(response.body);
  } catch (const json::exception& e) {
    return Error{ErrorCode::chat_reply_not_json, e.what()};
  }
}

// Reads choices[0].message.content.
Result<std::string> chat_content(const json& body) {
  const json* content = nullptr;
  if (body.is_object()) {
    const auto choices = body.find("choices");
    if (choices != body.end() && choices->is_array() && !choices->empty() &&
        (*choices)[0].is_object()) {
      const auto message = (*choices)[0].find("message");
      if (message != (*choices)[0].end() && message->is_object()) {
        const auto c = message->find("content");
        if (c != message->end()) content = &*c;
      }
    }
  }
  if (content == nullptr || !content->is_string()) return Error{ErrorCode::chat_no_content, {}};
  return content->get<std::string>();
}

bool finished_for_length(const json& body) {
  if (!body.is_object()) return false;
  const auto choices = body.find("choices");
  if (choices == body.end() || !choices->is_array() || choices->empty() ||
      !(*choices)[0].is_object()) {
    return false;
  }
  const auto reason = (*choices)[0].find("finish_reason");
  return reason != (*choices)[0].end() && reason->is_string() && *reason == "length";
}

Error failure(ErrorCode code, std::string detail = {}) { return {code, std::move(detail)}; }

}  // namespace

HttpTransport default_transport() { return [](const HttpRequest& r) { return http_request(r); }; }

Status check_polish_result(std::string_view source, std::string_view result) {
  if (trim(result).empty()) return failure(ErrorCode::polish_result_empty);
  const double o = static_cast<double>(std::max<std::size_t>(utf8_char_count(source), 1));
  const double r = static_cast<double>(utf8_char_count(result));
  if (r > 2 * o + 10) return failure(ErrorCode::polish_result_too_long);
  if (r < 0.4 * std::max(o - 10, 0.0)) return failure(ErrorCode::polish_result_too_short);
  return Status::success();
}

TextOutcome polish_text(const PolishSettings& s, std::string_view text, const HttpTransport& send) {
  if (s.level == PolishLevel::off) return std::string(text);
  if (trim(s.endpoint).empty()) return failure(ErrorCode::polish_no_endpoint);
  const std::string key = trim(s.api_key);
  if (key.empty()) return failure(ErrorCode::polish_no_key);

  const std::int64_t chars = static_cast<std::int64_t>(utf8_char_count(text));
  const std::int64_t max_tokens = std::clamp<std::int64_t>(3 * chars + 256, 512, 8192);
  json body = json::object();
  body["model"] = s.model;
  body["temperature"] = 0.2;
  body["max_tokens"] = max_tokens;
  body["messages"] = json::array(
      {json{{"role", "system"}, {"content", polish_system_prompt(s.level, s.extra_prompt, s.application)}},
       json{{"role", "user"}, {"content", std::string(text)}}});
  const auto timeout = std::chrono::milliseconds(std::clamp<std::int64_t>(s.timeout_ms, 500, 20000));
  const HttpResponse response = send(chat_request(chat_url(s.endpoint), key, std::move(body), timeout));

  const Result<json> parsed = chat_reply(response, ErrorCode::polish_unreachable);
  if (!parsed) return parsed.error();
  if (finished_for_length(*parsed)) return failure(ErrorCode::polish_truncated);
  const Result<std::string> content = chat_content(*parsed);
  if (!content) return content.error();
  if (Status checked = check_polish_result(text, *content); !checked) {
    return failure(ErrorCode::polish_result_rejected, user_message(checked.error()));
  }
  return trim(*content);
}

// The service settings of the configuration with a level, a style prompt and an application.
static PolishSettings polish_settings(const ConfigRecord& config, PolishLevel level, std::string_view prompt,
                               std::string_view application) {
  PolishSettings settings;
  settings.endpoint = config.polish_endpoint;
  settings.model = config.polish_model;
  settings.api_key = config.polish_api_key;
  settings.timeout_ms = config.polish_timeout_ms;
  settings.level = level;
  settings.extra_prompt = std::string(prompt);
  settings.application = std::string(application);
  return settings;
}

std::optional<PolishSettings> pipeline_polish_settings(const ConfigRecord& config,
                                                       const PolishProfileView& session_profile,
                                                       std::string_view application) {
  if (!config.polish_enabled || trim(config.polish_api_key).empty()) return std::nullopt;
  const std::optional<PolishLevel> level = parse_polish_level(session_profile.level);
  if (!level || *level == PolishLevel::off) return std::nullopt;
  if (std::getenv("KESU_MIC_WAV") != nullptr) {
    const char* in_sim = std::getenv("KESU_POLISH_IN_SIM");
    if (in_sim == nullptr || std::string_view(in_sim) != "1") return std::nullopt;
  }
  return polish_settings(config, *level, session_profile.prompt, application);
}

TextOutcome polish_sample(const ConfigRecord& config, const PolishProfileView& profile,
                          const HttpTransport& send) {
  std::optional<PolishLevel> level = parse_polish_level(profile.level);
  if (!level || *level == PolishLevel::off) level = parse_polish_level(config.polish_level);
  if (!level || *level == PolishLevel::off) {
    return failure(ErrorCode::polish_level_off);
  }
  if (trim(config.polish_api_key).empty()) return failure(ErrorCode::polish_sample_no_key);
  const PolishSettings settings = polish_settings(config, *level, profile.prompt, "");
  TextOutcome outcome = polish_text(settings, kSampleText, send);
  if (!outcome) return failure(ErrorCode::polish_sample_failed, user_message(outcome.error()));
  return outcome;
}

TextOutcome list_polish_models(const ConfigRecord& config, const HttpTransport& send) {
  const std::string key = trim(config.polish_api_key);
  if (key.empty()) return failure(ErrorCode::models_no_key);
  const std::string url = models_url(config.polish_endpoint);
  HttpRequest request;
  request.url = url;
  request.headers = {{"Authorization", "Bearer " + key}, {"Accept", "application/json"}};
  request.timeout = std::chrono::milliseconds(8000);
  const HttpResponse response = send(request);
  if (response.error) {
    return failure(ErrorCode::models_unreachable,
                   detail_parts({url, user_message(*response.error)}));
  }
  if (response.status < 200 || response.status >= 300) {
    return failure(ErrorCode::models_http_status,
                   detail_parts({std::to_string(response.status), prefix_chars(response.body, 200)}));
  }
  json parsed;
  try {
    parsed = json::parse(response.body);
  } catch (const json::exception&) {
    return failure(ErrorCode::models_not_json, prefix_chars(response.body, 120));
  }
  std::vector<std::string> ids;
  if (parsed.is_object()) {
    const auto data = parsed.find("data");
    if (data != parsed.end() && data->is_array()) {
      for (const json& item : *data) {
        if (!item.is_object()) continue;
        const auto id = item.find("id");
        if (id != item.end() && id->is_string()) ids.push_back(id->get<std::string>());
      }
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  if (ids.empty()) return failure(ErrorCode::models_none_listed, url);
  return json(ids).dump(-1, ' ', false, json::error_handler_t::replace);
}

TextOutcome rewrite_selection(const ConfigRecord& config, std::string_view instruction,
                              std::string_view selected, const HttpTransport& send) {
  if (trim(config.polish_endpoint).empty()) return failure(ErrorCode::rewrite_no_endpoint);
  const std::string key = trim(config.polish_api_key);
  if (key.empty()) return failure(ErrorCode::rewrite_no_key);
  if (trim(selected).empty()) return failure(ErrorCode::rewrite_nothing_selected);
  const auto timeout = std::chrono::milliseconds(
      std::clamp<std::int64_t>(std::max<std::int64_t>(config.polish_timeout_ms, 15000), 1000, 60000));
  json body = json::object();
  body["model"] = config.polish_model;
  body["temperature"] = 0.3;
  body["messages"] = json::array(
      {json{{"role", "system"}, {"content", rewrite_system_prompt()}},
       json{{"role", "user"},
            {"content", "指令：" + std::string(instruction) + "\n\n文字：\n" + std::string(selected)}}});
  const HttpResponse response =
      send(chat_request(chat_url(config.polish_endpoint), key, std::move(body), timeout));
  const Result<json> parsed = chat_reply(response, ErrorCode::rewrite_unreachable);
  if (!parsed) return parsed.error();
  const Result<std::string> content = chat_content(*parsed);
  if (!content) return content.error();
  std::string result = trim(*content);
  if (result.empty()) return failure(ErrorCode::rewrite_empty_reply);
  return result;
}

}  // namespace kesu
