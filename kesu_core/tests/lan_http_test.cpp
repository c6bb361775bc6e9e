// The LAN server's text handling: escaping, request line and header rules, the token check,
// and random input thrown at the parsers.

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "lan/lan_http.h"
#include "lan/audio_limit.h"

namespace {

using namespace kesu::lan;

TEST(LanHttp, JsonEscaping) {
  EXPECT_EQ(json_escape("a\"b\\c\nd\re\tf\x01g\x1f 中"), "a\\\"b\\\\c\\nd\\re\\tf\\u0001g\\u001f 中");
}

TEST(LanHttp, RequestLines) {
  EXPECT_FALSE(parse_request_line("   "));
  EXPECT_FALSE(parse_request_line("GET"));
  const auto line = parse_request_line("  POST /transcribe?x=1&token=a%20b&token=c HTTP/1.1\r");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->method, "POST");
  EXPECT_EQ(line->path, "/transcribe");
  EXPECT_EQ(line->query_token, "a%20b") << "the first one, not decoded";
  EXPECT_EQ(path_for_log("GET /health?token=x HTTP/1.1\r\nHost: y"), "/health");
  EXPECT_EQ(path_for_log("GET"), "");
}

TEST(LanHttp, ContentLengthAndTokenHeaders) {
  const std::pair<const char*, std::uint64_t> lengths[] = {
      {"10", 10}, {" +10 ", 10}, {"-5", 0}, {"1e3", 0}, {"", 0},
      {"18446744073709551615", 18446744073709551615ull}, {"18446744073709551616", 0},
  };
  for (const auto& [text, value] : lengths) EXPECT_EQ(parse_content_length(text), value) << text;

  RequestHeaders headers;
  apply_header_line("CONTENT-LENGTH: 7", headers);
  apply_header_line("X-Kesu-Token:  abc ", headers);
  apply_header_line("x-kesu-token: def", headers);
  EXPECT_EQ(headers.content_length, 7u);
  EXPECT_EQ(headers.token, "def");
}

TEST(LanHttp, TokenComparisonMatchesEquality) {
  const char* tokens[] = {"", "a", "abc", "abd", "abcd", "ab"};
  for (const char* a : tokens) {
    for (const char* b : tokens) EXPECT_EQ(tokens_equal(a, b), std::string(a) == b) << a << " vs " << b;
  }
}

TEST(LanHttp, LogFormat) {
  EXPECT_EQ(log_json({}), "[]");
  EXPECT_EQ(log_json({{1, "1.2.3.4:5", "/a\"b", 200, 3, 4}}),
            R"([{"at":1,"src":"1.2.3.4:5","path":"/a\"b","code":200,"ms":3,"bytes":4}])");
}

// A PCM WAV image: `data_bytes` of silence, the data chunk declaring `declared` bytes, and an
// odd-sized chunk before the format when `padded`.
std::string wav_image(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, std::uint32_t data_bytes,
                      std::uint32_t declared, bool padded = false) {
  std::string out = "RIFF....WAVE";
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  if (padded) out += std::string("LIST\x03\0\0\0abc\0", 12);
  out += "fmt ";
  put(16, 4);
  put(1, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  out += "data";
  put(declared, 4);
  out += std::string(data_bytes, bits == 8 ? '\x80' : '\0');
  return out;
}

std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The audio length a request is judged by comes from the header alone and agrees with what the
// WAV reader makes of the same bytes.
TEST(LanHttp, AudioLengthFromTheWavHeader) {
  struct Case {
    const char* what;
    std::string wav;
    std::optional<std::uint64_t> samples;
    bool at_16k = false;  // no resampling: the reader must give exactly as many samples
  };
  const Case cases[] = {
      {"16 kHz 16-bit mono", wav_image(16000, 1, 16, 32000, 32000), 16000, true},
      {"1 kHz 8-bit mono: 16 samples a byte", wav_image(1000, 1, 8, 1000, 1000), 16000},
      {"8 kHz 16-bit stereo", wav_image(8000, 2, 16, 32000, 32000), 16000},
      {"a trailing partial frame is dropped", wav_image(16000, 1, 16, 3, 3), 1, true},
      {"size 0: up to the end", wav_image(16000, 1, 16, 200, 0), 100, true},
      {"size beyond the end: up to the end", wav_image(16000, 1, 16, 200, 1'000'000), 100, true},
      {"an odd chunk is padded", wav_image(16000, 1, 16, 200, 200, true), 100, true},
      {"44.1 kHz rounds up", wav_image(44100, 1, 16, 2, 2), 1},
      {"no data chunk", wav_image(16000, 1, 16, 0, 0).substr(0, 36), std::nullopt},
      {"rate 0", wav_image(0, 1, 16, 200, 200), std::nullopt},
      {"not RIFF", "RIFX" + wav_image(16000, 1, 16, 200, 200).substr(4), std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::wav_samples_at_16k(bytes_of(c.wav)), c.samples) << c.what;
    if (c.at_16k) {
      const kesu::WavRead read = kesu::decode_wav_16k_mono(bytes_of(c.wav));
      ASSERT_TRUE(read.samples) << c.what;
      EXPECT_EQ(read.samples->size(), *c.samples) << c.what << ": the reader agrees";
    }
  }
  EXPECT_EQ(kMaxAudioSamples, 13'107'200u) << "what 25 MiB of 16 kHz 16-bit mono holds";
  EXPECT_EQ(too_long_message(kMaxAudioSamples + 1), "音频太长了（820 秒）：上限 819 秒（约 13 分钟）");
}

// Random and mutated input never crashes the parsers (run under the sanitizers in CI).
TEST(LanHttp, RandomInputIsHandled) {
  std::mt19937 random(20261210);
  const std::string valid_wav = kesu::encode_wav_16k_mono(std::vector<float>(100, 0.5f));
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    if (round % 2 == 0) {
      bytes.resize(random() % 200);
      for (char& c : bytes) c = static_cast<char>(random());
    } else {
      bytes = valid_wav;
      for (int i = 0; i < 4; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
      bytes.resize(random() % (bytes.size() + 1));
    }
    (void)parse_request_line(bytes);
    (void)path_for_log(bytes);
    RequestHeaders headers;
    apply_header_line(bytes, headers);
    (void)json_escape(bytes);
    (void)kesu::wav_samples_at_16k(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    (void)kesu::decode_wav_16k_mono(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
}

}  // namespace
