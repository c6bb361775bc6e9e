// The LAN server's text handling: escaping, request line and header rules, the token check,
// and random input thrown at the parsers.

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "lan/lan_http.h"

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
    (void)kesu::decode_wav_16k_mono(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
}

}  // namespace
