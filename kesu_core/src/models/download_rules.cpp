#include "models/download_rules.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "util/utf8.h"

namespace kesu {

namespace {

// Lines without their "\n" or "\r\n" ending.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return lines;
}

std::string_view trim_ascii(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<std::string> candidate_urls(std::string_view mirror, std::string_view file_name,
                                        const std::string& official) {
  std::vector<std::string> urls;
  std::string base = trim_unicode(mirror);
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (!base.empty()) urls.push_back(base + "/" + std::string(file_name));
  if (urls.empty() || urls.front() != official) urls.push_back(official);
  return urls;
}

std::uint64_t probe_size(std::string_view head_output) {
  std::string lower(head_output);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  constexpr std::string_view kField = "content-length:";
  std::uint64_t largest = 0;
  for (std::string_view line : split_lines(lower)) {
    if (!line.starts_with(kField)) continue;
    const std::string_view digits = trim_ascii(line.substr(kField.size()));
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc() && end == digits.data() + digits.size())
      largest = std::max(largest, value);
  }
  return largest;
}

std::string_view curl_hint(int exit_code) {
  switch (exit_code) {
    case 5:
      return "代理地址解析不出来，检查系统代理设置";
    case 6:
      return "域名解析失败：内网可能要走代理，或 DNS 没放行";
    case 7:
      return "连不上服务器：防火墙/代理挡了，或镜像地址不可达";
    case 18:
    case 56:
      return "传输中断：网络不稳定或中间设备重置了连接";
    case 22:
      return "服务器返回错误（404/403）：镜像路径或权限不对";
    case 28:
      return "超时：网速太慢或代理不通";
    case 35:
      return "TLS 握手失败：可能有中间设备拦截 HTTPS";
    default:
      return "";
  }
}

std::string_view curl_detail_line(std::string_view error_output) {
  std::string_view detail;
  for (std::string_view line : split_lines(error_output)) {
    // curl redraws its progress meter in place, ending each update with a carriage return, so
    // the meter and the message share one line: only the text after the last return is current.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const std::size_t cr = line.rfind('\r'); cr != std::string_view::npos) {
      line.remove_prefix(cr + 1);
    }
    // Some builds print their message straight after the last meter update, with no return in
    // between; the message always starts with curl's own "curl: (N)" prefix.
    if (const std::size_t own = line.find("curl: ("); own != std::string_view::npos) {
      line.remove_prefix(own);
    }
    if (!line.empty()) detail = line;
  }
  return detail;
}

Error curl_failure(int exit_code, std::string_view error_output, std::string_view proxy) {
  const std::string detail = lossy_utf8(curl_detail_line(error_output));
  // Exit code 22 is curl's "HTTP error" (its hint names 404/403); other codes count when curl's
  // own line names one of those statuses.
  const bool missing = exit_code == 22 || detail.find("404") != std::string::npos ||
                       detail.find("403") != std::string::npos;
  return {missing ? ErrorCode::download_file_missing : ErrorCode::download_failed,
          detail_parts({std::to_string(exit_code), proxy, curl_hint(exit_code), detail})};
}

std::string lossy_utf8(std::string_view bytes) {
  if (is_valid_utf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    // Longest valid sequence (1 to 4 bytes) starting here, else one replacement character.
    std::size_t len = 0;
    for (std::size_t n = 1; n <= 4 && i + n <= bytes.size(); ++n) {
      if (is_valid_utf8(bytes.substr(i, n))) {
        len = n;
        break;
      }
    }
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

}  // namespace kesu
