#include "lan/lan_http.h"

#include <cstdio>
#include <limits>

namespace kesu::lan {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view trim_ascii(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_space(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !is_space(text[i])) ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string json_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

std::string_view reason_phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    default: return "Internal Server Error";
  }
}

std::string json_response(int status, std::string_view body) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason_phrase(status)) +
                    "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  out += body;
  return out;
}

std::string page_response(std::string_view page) {
  std::string out = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                    std::to_string(page.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
  out += page;
  return out;
}

std::string error_body(std::string_view code, std::string_view message) {
  return R"({"ok":false,"code":")" + json_escape(code) + R"(","message":")" + json_escape(message) + "\"}";
}

std::optional<RequestLine> parse_request_line(std::string_view line) {
  const std::vector<std::string_view> parts = words(trim_ascii(line));
  if (parts.size() < 2) return std::nullopt;
  RequestLine out;
  out.method = std::string(parts[0]);
  const std::string_view target = parts[1];
  const std::size_t q = target.find('?');
  out.path = std::string(target.substr(0, q));
  if (q != std::string_view::npos) {
    std::string_view query = target.substr(q + 1);
    while (true) {
      const std::size_t amp = query.find('&');
      const std::string_view param = query.substr(0, amp);
      if (param.substr(0, 6) == "token=") {
        out.query_token = std::string(param.substr(6));
        break;
      }
      if (amp == std::string_view::npos) break;
      query.remove_prefix(amp + 1);
    }
  }
  return out;
}

std::uint64_t parse_content_length(std::string_view value) {
  value = trim_ascii(value);
  if (!value.empty() && value.front() == '+') value.remove_prefix(1);
  if (value.empty()) return 0;
  std::uint64_t n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return 0;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (n > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return 0;
    n = n * 10 + digit;
  }
  return n;
}

void apply_header_line(std::string_view line, RequestHeaders& headers) {
  if (starts_with_nocase(line, "content-length:")) {
    headers.content_length = parse_content_length(line.substr(15));
  } else if (starts_with_nocase(line, "x-kesu-token:")) {
    headers.token = std::string(trim_ascii(line.substr(13)));
  }
}

std::string path_for_log(std::string_view first_bytes) {
  std::string_view line = first_bytes.substr(0, first_bytes.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> parts = words(line);
  if (parts.size() < 2) return {};
  return std::string(parts[1].substr(0, parts[1].find('?')));
}

bool tokens_equal(std::string_view presented, std::string_view configured) {
  // Every byte of the configured token is compared whatever the presented length.
  unsigned diff = presented.size() == configured.size() ? 0u : 1u;
  for (std::size_t i = 0; i < configured.size(); ++i) {
    const unsigned char a = i < presented.size() ? static_cast<unsigned char>(presented[i]) : 0;
    diff |= a ^ static_cast<unsigned char>(configured[i]);
  }
  return diff == 0;
}

std::string log_json(const std::vector<LogEntry>& entries) {
  std::string out = "[";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const LogEntry& e = entries[i];
    if (i > 0) out += ',';
    out += "{\"at\":" + std::to_string(e.at) + ",\"src\":\"" + json_escape(e.src) + "\",\"path\":\"" +
           json_escape(e.path) + "\",\"code\":" + std::to_string(e.code) + ",\"ms\":" +
           std::to_string(e.ms) + ",\"bytes\":" + std::to_string(e.bytes) + "}";
  }
  out += "]";
  return out;
}

}  // namespace kesu::lan
