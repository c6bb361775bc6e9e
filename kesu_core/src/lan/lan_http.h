#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesu::lan {

// JSON string escaping as the server writes it: quote and backslash escaped, \n \r \t, other
// control characters as \u00XX; everything else (UTF-8 included) as is.
std::string json_escape(std::string_view text);

std::string_view reason_phrase(int status);

// Whole answers, head and body, ready to send.
std::string json_response(int status, std::string_view body);
std::string page_response(std::string_view page);
std::string error_body(std::string_view code, std::string_view message);

inline constexpr std::string_view kBusyBody =
    R"({"ok":false,"code":"busy","message":"Kesu 正在处理别的请求，稍等一下再试"})";
inline constexpr std::string_view kEmptyTranscription = R"({"ok":true,"text":"","ms":0,"empty":true})";
inline constexpr std::uint64_t kMaxBody = 25ull * 1024 * 1024;

// The first line of a request, split.
struct RequestLine {
  std::string method;
  std::string path;         // up to the first "?"
  std::string query_token;  // the first "token=" parameter, not decoded
};
// nullopt when the trimmed line has fewer than two words.
std::optional<RequestLine> parse_request_line(std::string_view line);

// Header values the server cares about; later occurrences replace earlier ones.
struct RequestHeaders {
  std::uint64_t content_length = 0;  // 0 when missing or not a number
  std::string token;
};
// Applies one header line (without its line break) to `headers`.
void apply_header_line(std::string_view line, RequestHeaders& headers);

// "+123" and "123" parse; anything else, or more than 64 bits, is 0.
std::uint64_t parse_content_length(std::string_view value);

// The request path for the log, from the first bytes of a request: the second word of the
// first line, up to "?"; "" when there is none yet.
std::string path_for_log(std::string_view first_bytes);

// Equality of two tokens without an early exit on the first differing byte, so that the time
// taken does not tell an attacker how much of a guess was right.
bool tokens_equal(std::string_view presented, std::string_view configured);

// One request log entry as `kesu_lan_log` writes it.
struct LogEntry {
  std::uint64_t at = 0;
  std::string src;
  std::string path;
  std::uint16_t code = 0;
  std::uint64_t ms = 0;
  std::uint64_t bytes = 0;
};
std::string log_json(const std::vector<LogEntry>& entries);

}  // namespace kesu::lan
