#include "lan/lan_request.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <system_error>

#include "audio/wav.h"
#include "lan/lan_http.h"
#include "lan/lan_page.h"
#include "util/paths.h"
#include "util/utf8.h"

namespace kesu::lan {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kReadBuffer = 8 * 1024;
// Limits of the head of a request: far above what any real client sends, low enough that a
// hostile one cannot make the thread hold much memory.
constexpr std::size_t kMaxLine = 8 * 1024;
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr auto kBodyTimeLimit = 180s;

// Reads lines and bytes through one 8 KiB buffer.
class Reader {
 public:
  explicit Reader(Connection& c) : c_(c) {}

  enum class Line { ok, end, failed, too_long };
  // One line without its "\n"; `end` when the stream ended before any byte of it.
  Line read_line(std::string& line) {
    line.clear();
    while (true) {
      if (pos_ == len_) {
        const long n = fill();
        if (n < 0) return Line::failed;
        if (n == 0) return line.empty() ? Line::end : Line::ok;
      }
      while (pos_ < len_) {
        const char c = buf_[pos_++];
        if (c == '\n') return Line::ok;
        if (line.size() >= kMaxLine) return Line::too_long;
        line += c;
      }
    }
  }

  // Up to `size` bytes of the body: what is buffered first, then from the connection.
  long read(char* out, std::size_t size) {
    if (pos_ < len_) {
      const std::size_t n = std::min(size, len_ - pos_);
      std::copy(buf_ + pos_, buf_ + pos_ + n, out);
      pos_ += n;
      return static_cast<long>(n);
    }
    return c_.read(out, size);
  }

 private:
  long fill() {
    const long n = c_.read(buf_, sizeof buf_);
    pos_ = 0;
    len_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n;
  }
  Connection& c_;
  char buf_[kReadBuffer];
  std::size_t pos_ = 0, len_ = 0;
};

RequestOutcome send(Connection& c, int status, const std::string& body) {
  if (!c.write_all(json_response(status, body))) return {};
  return {status, body.size()};
}

RequestOutcome send_error(Connection& c, int status, std::string_view code, std::string_view message) {
  return send(c, status, error_body(code, message));
}

RequestOutcome health(Connection& c, const RequestContext& ctx) {
  std::error_code ec;
  const bool vad_ready = std::filesystem::is_regular_file(path_from_utf8(ctx.config->models_vad), ec);
  return send(c, 200, R"({"ok":true,"engine":")" + json_escape(ctx.speech->engine_name()) +
                          R"(","vad_ready":)" + (vad_ready ? "true" : "false") + R"(,"protocol":1})");
}

RequestOutcome transcribe(Connection& c, Reader& reader, const RequestContext& ctx,
                          std::uint64_t content_length) {
  if (content_length == 0) {
    return send_error(c, 400, "empty_body", "请求体是空的：请把 WAV 文件内容放在 body 里");
  }
  if (content_length > kMaxBody) {
    return send_error(c, 413, "too_large",
                      "太长了（" + std::to_string(content_length) + " 字节）：上限 25MB（约 13 分钟 16k 音频）");
  }
  std::vector<std::uint8_t> body(static_cast<std::size_t>(content_length));
  std::size_t got = 0;
  const auto began = Clock::now();
  while (got < body.size()) {
    const long n = reader.read(reinterpret_cast<char*>(body.data()) + got, std::min(kReadBuffer, body.size() - got));
    if (n < 0) return {};  // failed or timed out: no answer
    if (n == 0) break;     // the stream ended early: use what came
    got += static_cast<std::size_t>(n);
    if (Clock::now() - began > kBodyTimeLimit) return send_error(c, 408, "timeout", "收数据太慢了，已断开");
  }
  body.resize(got);
  if (body.size() < 44 || std::string_view(reinterpret_cast<const char*>(body.data()), 4) != "RIFF") {
    return send_error(c, 400, "bad_wav", "不是 WAV 文件（要从 RIFF 开头）");
  }
  // Decoded in memory: two requests at once can never see each other's audio.
  WavRead wav = decode_wav_16k_mono(body);
  if (!wav.samples) return send_error(c, 400, "bad_wav", wav.error);
  if (wav.samples->size() < 4000) return send_error(c, 400, "too_short", "音频太短了：至少 0.25 秒");

  const auto clock = Clock::now();
  const SegmentedDecode decoded = ctx.speech->decode_segments(*wav.samples, *ctx.config, {});
  std::optional<std::string> error = decoded.failure;
  std::string text;
  for (const DecodedSegment& s : decoded.segments) {
    if (!s.error.empty() && !error) error = s.error;
    text += s.text;
  }
  if (error && *error == "没有录到音频") error.reset();  // nothing to recognise is an empty text
  if (error) return send_error(c, 500, "decode_failed", *error);
  text = trim_unicode(text);
  if (text.empty()) return send(c, 200, std::string(kEmptyTranscription));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clock).count();
  return send(c, 200, R"({"ok":true,"text":")" + json_escape(text) + R"(","ms":)" + std::to_string(ms) +
                          R"(,"segments":)" + std::to_string(decoded.segments.size()) + R"(,"chars":)" +
                          std::to_string(utf8_char_count(text)) + "}");
}

}  // namespace

RequestOutcome handle_request(Connection& c, const RequestContext& ctx) {
  c.set_read_timeout(30s);
  Reader reader(c);
  std::string line;
  const Reader::Line first = reader.read_line(line);
  if (first == Reader::Line::failed) return {};
  const std::optional<RequestLine> request =
      first == Reader::Line::too_long ? std::nullopt : parse_request_line(line);
  if (!request) return send_error(c, 400, "bad_request", "请求行看不懂");

  RequestHeaders headers;
  std::size_t header_bytes = 0;
  while (true) {
    const Reader::Line got = reader.read_line(line);
    if (got == Reader::Line::failed) return {};
    if (got == Reader::Line::end) break;
    header_bytes += line.size() + 1;
    if (got == Reader::Line::too_long || header_bytes > kMaxHeaderBytes) {
      return send_error(c, 400, "bad_request", "请求头太长");
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    apply_header_line(line, headers);
  }

  const bool page = request->method == "GET" && (request->path == "/" || request->path == "/index.html");
  if (!page && !ctx.token.empty()) {
    const std::string& presented = headers.token.empty() ? request->query_token : headers.token;
    if (!tokens_equal(presented, ctx.token)) {
      return send_error(c, 403, "forbidden", "token 不对：请在请求头加 x-kesu-token");
    }
  }
  if (page) {
    const std::string_view html = dictation_page();
    if (!c.write_all(page_response(html))) return {};
    return {200, html.size()};
  }
  if (request->method == "GET" && request->path == "/health") return health(c, ctx);
  if (request->method == "POST" && request->path == "/transcribe") {
    return transcribe(c, reader, ctx, headers.content_length);
  }
  return send_error(c, 404, "not_found", "只支持 GET /health 和 POST /transcribe");
}

void drain(Connection& c) {
  c.set_read_timeout(1s);
  const auto give_up = Clock::now() + 2s;
  std::string seen;
  char buf[kReadBuffer];
  std::size_t total = 0;
  std::optional<std::size_t> body_end;
  while (total < (1u << 20) && Clock::now() < give_up) {
    const long n = c.read(buf, sizeof buf);
    if (n <= 0) return;
    total += static_cast<std::size_t>(n);
    if (!body_end && seen.size() < kMaxHeaderBytes) {
      seen.append(buf, static_cast<std::size_t>(n));
      const std::size_t head_end = seen.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        RequestHeaders headers;
        std::size_t at = seen.find('\n') + 1;
        while (at < head_end) {
          std::size_t eol = seen.find('\n', at);
          std::string_view header(seen.data() + at, eol - at);
          if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
          apply_header_line(header, headers);
          at = eol + 1;
        }
        body_end = head_end + 4 + headers.content_length;
      }
    }
    if (body_end && total >= *body_end) return;
  }
}

}  // namespace kesu::lan
