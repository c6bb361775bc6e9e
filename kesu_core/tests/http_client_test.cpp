// The HTTP client against the loopback server of scripts/http_test_server.py (started by CTest;
// its state folder comes in KESU_TEST_HTTP_STATE).

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/test_server.h"
#include <nlohmann/json.hpp>

#include "net/http_client.h"

namespace {

using namespace std::chrono_literals;


class HttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    base = kesu_test::test_server_base();
    if (base.empty()) GTEST_SKIP() << "test server not running (KESU_TEST_HTTP_STATE)";
  }
  kesu::HttpResponse send(const std::string& path, std::chrono::milliseconds timeout = 5s) {
    kesu::HttpRequest request;
    request.method = "POST";
    request.url = base + path;
    request.timeout = timeout;
    return kesu::http_request(request);
  }
  std::string base;
};

TEST_F(HttpClient, SendsMethodHeadersAndBodyAsGiven) {
  kesu::HttpRequest request;
  request.method = "POST";
  request.url = base + "/echo";
  request.headers = {{"Authorization", "Bearer sk-test"}, {"Content-Type", "application/json"}};
  request.body = R"({"text":"你好，言至"})";
  const kesu::HttpResponse response = kesu::http_request(request);
  ASSERT_FALSE(response.error) << kesu::user_message(*response.error);
  EXPECT_EQ(response.status, 200);
  const auto echo = nlohmann::json::parse(response.body);
  EXPECT_EQ(echo["method"], "POST");
  EXPECT_EQ(echo["headers"]["authorization"], "Bearer sk-test");
  EXPECT_EQ(echo["headers"]["content-type"], "application/json");
  EXPECT_EQ(echo["body"], request.body);
}

TEST_F(HttpClient, ErrorStatusesComeBackWithTheirBodies) {
  const kesu::HttpResponse response = send("/status/500");
  EXPECT_FALSE(response.error) << kesu::user_message(*response.error);
  EXPECT_EQ(response.status, 500);
  EXPECT_GT(response.body.size(), 100000u);
  EXPECT_EQ(send("/status/401").status, 401);
}

// The overall time-out holds whether the server says nothing or keeps sending a byte at a time.
TEST_F(HttpClient, OverallTimeOutCutsStallsAndTrickles) {
  for (const char* path : {"/stall", "/trickle"}) {
    const auto start = std::chrono::steady_clock::now();
    const kesu::HttpResponse response = send(path, 800ms);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(response.error) << path;
    EXPECT_TRUE(response.timed_out()) << path << ": " << kesu::user_message(*response.error);
    EXPECT_FALSE(kesu::user_message(*response.error).empty()) << path;
    EXPECT_EQ(response.status, 0) << path;
    EXPECT_LT(took, 10s) << path;  // the trickle alone would take 20 s, the stall 60 s
  }
}

TEST_F(HttpClient, OversizedBodiesAndUnreachableServersFail) {
  const kesu::HttpResponse big = send("/big", 30s);
  ASSERT_TRUE(big.error);
  EXPECT_EQ(kesu::user_message(*big.error), "响应太大");
  EXPECT_TRUE(big.body.empty());

  kesu::HttpRequest refused;
  refused.url = "http://127.0.0.1:1/";
  refused.timeout = 5s;
  const kesu::HttpResponse none = kesu::http_request(refused);
  EXPECT_EQ(none.status, 0);
  ASSERT_TRUE(none.error);
  EXPECT_FALSE(kesu::user_message(*none.error).empty());
  EXPECT_FALSE(none.timed_out());

  kesu::HttpRequest bad;
  bad.url = "not a url";
  EXPECT_TRUE(kesu::http_request(bad).error.has_value());
}

}  // namespace
