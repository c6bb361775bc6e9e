#include "lan/lan_request.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <system_error>

#include "audio/wav.h"
#include "lan/lan_http.h"
#include "lan/lan_page.h"
#include "lan/audio_limit.h"
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
// The most a turned-away client's request is read before the busy answer.
constexpr std::size_t kMaxDrain = 1u << 20;

// Reads lines and bytes through one 8 KiB buffer. While the head (request line and headers) is
// read, every wait counts against one deadline.
class Reader {
 public:
  Reader(Connection& c, Clock::time_point head_deadline) : c_(c), head_deadline_(head_deadline) {}

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

  // The head has been read: from now on only the per-read time-out applies.
  void head_done() { head_deadline_.reset(); }
  bool timed_out() const { return timed_out_; }

  // Up to `size` bytes of the body: what is buffered first, then from the connection. With a
  // deadline, waits for the connection no longer than until then.
  long read(char* out, std::size_t size, std::optional<Clock::time_point> until = std::nullopt) {
    if (pos_ < len_) {
      const std::size_t n = std::min(size, len_ - pos_);
      std::copy(buf_ + pos_, buf_ + pos_ + n, out);
      pos_ += n;
      return static_cast<long>(n);
    }
    if (until && !wait_until(*until)) return -1;
    return c_.read(out, size);
  }

 private:
  bool wait_until(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left > 0ms && c_.wait_readable(left)) return true;
    timed_out_ = true;
    return false;
  }
  long fill() {
    if (head_deadline_ && !wait_until(*head_deadline_)) return -1;
    const long n = c_.read(buf_, sizeof buf_);
    pos_ = 0;
    len_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n;
  }
  Connection& c_;
  std::optional<Clock::time_point> head_deadline_;
  bool timed_out_ = false;
  char buf_[kReadBuffer];
  std::size_t pos_ = 0, len_ = 0;
};

struct Head {
  RequestLine line;
  RequestHeaders headers;
};
enum class HeadRead { ok, failed, timed_out, bad_line, too_long };

HeadRead read_head(Reader& reader, Head& head) {
  std::string line;
  const Reader::Line first = reader.read_line(line);
  if (first == Reader::Line::failed) return reader.timed_out() ? HeadRead::timed_out : HeadRead::failed;
  std::optional<RequestLine> request = first == Reader::Line::too_long ? std::nullopt : parse_request_line(line);
  if (!request) return HeadRead::bad_line;
  head.line = std::move(*request);

  std::size_t header_bytes = 0;
  while (true) {
    const Reader::Line got = reader.read_line(line);
    if (got == Reader::Line::failed) return reader.timed_out() ? HeadRead::timed_out : HeadRead::failed;
    if (got == Reader::Line::end) return HeadRead::ok;
    header_bytes += line.size() + 1;
    if (got == Reader::Line::too_long || header_bytes > kMaxHeaderBytes) return HeadRead::too_long;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return HeadRead::ok;
    apply_header_line(line, head.headers);
  }
}

// Reads and drops what the client has sent so far, at most `limit` bytes, without waiting.
std::string read_available(Connection& c, std::size_t limit) {
  std::string seen;
  char buf[kReadBuffer];
  while (seen.size() < limit && c.wait_readable(0ms)) {
    const long n = c.read(buf, std::min(sizeof buf, limit - seen.size()));
    if (n <= 0) break;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return seen;
}

RequestOutcome send(Connection& c, int status, const std::string& body) {
  if (!c.write_all(json_response(status, body))) return {};
  return {status, body.size(), {}};
}

RequestOutcome send_error(Connection& c, int status, std::string_view code, std::string_view message) {
  return send(c, status, error_body(code, message));
}

RequestOutcome health(Connection& c, const CoreSnapshot& now, const CoreAccess& core) {
  std::error_code ec;
  const bool vad_ready = std::filesystem::is_regular_file(path_from_utf8(now.config->models_vad), ec);
  return send(c, 200, R"({"ok":true,"engine":")" + json_escape(core.engine_name()) +
                          R"(","vad_ready":)" + (vad_ready ? "true" : "false") + R"(,"protocol":1})");
}

RequestOutcome transcribe(Connection& c, Reader& reader, const CoreSnapshot& now, const CoreAccess& core,
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
  // The length is judged from the header, before decoding: a few bytes of a low sample rate
  // would otherwise become gigabytes at 16 kHz.
  if (const std::optional<std::uint64_t> samples = wav_samples_at_16k(body); samples && *samples > kMaxAudioSamples) {
    return send_error(c, 413, "too_long", too_long_message(*samples));
  }
  // Decoded in memory: two requests at once can never see each other's audio.
  WavRead wav = decode_wav_16k_mono(body);
  body = {};
  if (!wav.samples) return send_error(c, 400, "bad_wav", user_message(*wav.error));
  if (wav.samples->size() < 4000) return send_error(c, 400, "too_short", "音频太短了：至少 0.25 秒");

  const auto clock = Clock::now();
  const Transcript transcript = core.transcribe(*wav.samples, *now.config);
  if (transcript.failure) return send_error(c, 500, "decode_failed", user_message(*transcript.failure));
  const std::string& text = transcript.text;
  if (text.empty()) return send(c, 200, std::string(kEmptyTranscription));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clock).count();
  return send(c, 200, R"({"ok":true,"text":")" + json_escape(text) + R"(","ms":)" + std::to_string(ms) +
                          R"(,"segments":)" + std::to_string(transcript.segments) + R"(,"chars":)" +
                          std::to_string(utf8_char_count(text)) + "}");
}

RequestOutcome route(Connection& c, Reader& reader, const RequestContext& ctx, const Head& head) {
  const RequestLine& request = head.line;
  const bool page = request.method == "GET" && (request.path == "/" || request.path == "/index.html");
  if (!page && !ctx.token.empty()) {
    const std::string& presented = head.headers.token.empty() ? request.query_token : head.headers.token;
    if (!tokens_equal(presented, ctx.token)) {
      return send_error(c, 403, "forbidden", "token 不对：请在请求头加 x-kesu-token");
    }
  }
  if (page) {
    const std::string_view html = dictation_page();
    if (!c.write_all(page_response(html))) return {};
    return {200, html.size(), {}};
  }
  const bool health_probe = request.method == "GET" && request.path == "/health";
  const bool transcription = request.method == "POST" && request.path == "/transcribe";
  if (!health_probe && !transcription) {
    return send_error(c, 404, "not_found", "只支持 GET /health 和 POST /transcribe");
  }
  const std::optional<CoreSnapshot> now = ctx.core.snapshot();
  if (!now) return send_error(c, 500, "decode_failed", user_message(Error{ErrorCode::core_closing, {}}));
  if (health_probe) return health(c, *now, ctx.core);
  return transcribe(c, reader, *now, ctx.core, head.headers.content_length);
}

// Reads at most `limit` bytes until `until`, stopping early at the end of the stream.
void discard(Reader& reader, std::uint64_t limit, Clock::time_point until) {
  char buf[kReadBuffer];
  while (limit > 0) {
    const long n = reader.read(buf, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, limit)), until);
    if (n <= 0) return;
    limit -= static_cast<std::uint64_t>(n);
  }
}

// The busy answer to a request whose head was read: its body is read first (at most 1 MiB, for
// at most 2 seconds) and the client's close awaited after (at most 1 second), so that closing
// does not reset the connection under the answer.
RequestOutcome answer_busy(Connection& c, Reader& reader, std::uint64_t content_length) {
  discard(reader, std::min<std::uint64_t>(content_length, kMaxDrain), Clock::now() + 2s);
  const RequestOutcome out = send(c, 503, std::string(kBusyBody));
  c.shutdown_send();
  discard(reader, kMaxDrain, Clock::now() + 1s);
  return out;
}

}  // namespace

RequestOutcome handle_request(Connection& c, const RequestContext& ctx, Places& in_flight) {
  c.set_read_timeout(30s);
  Reader reader(c, Clock::now() + kHeadTimeLimit);
  Head head;
  switch (read_head(reader, head)) {
    case HeadRead::failed: return {};
    case HeadRead::timed_out: return send_error(c, 408, "timeout", "收数据太慢了，已断开");
    case HeadRead::bad_line: return send_error(c, 400, "bad_request", "请求行看不懂");
    case HeadRead::too_long: {
      RequestOutcome out = send_error(c, 400, "bad_request", "请求头太长");
      out.path = head.line.path;
      return out;
    }
    case HeadRead::ok: break;
  }
  reader.head_done();
  RequestOutcome out;
  if (!in_flight.try_take()) {
    out = answer_busy(c, reader, head.headers.content_length);
  } else {
    // The place is given back before the connection closes: a client that sends its next
    // request as soon as it has read this answer must not find the server still full.
    struct GiveBack {
      Places& places;
      ~GiveBack() { places.give_back(); }
    } give_back{in_flight};
    out = route(c, reader, ctx, head);
  }
  out.path = head.line.path;
  return out;
}

RequestOutcome turn_away_at_once(Connection& c) {
  const std::string seen = read_available(c, kMaxDrain);
  RequestOutcome out = send(c, 503, std::string(kBusyBody));
  c.shutdown_send();
  (void)read_available(c, kMaxDrain);
  out.path = path_for_log(seen);
  return out;
}

}  // namespace kesu::lan
