// The diagnostics upload against the loopback server of scripts/http_test_server.py, through
// the platform's HTTP stack (libcurl here, WinHTTP under Wine).

#include <string>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"
#include "support/test_server.h"
#include "kesu_version.h"

namespace {

using namespace kesu_test;

class DiagUpload : public ::testing::Test {
 protected:
  void SetUp() override {
    base = test_server_base();
    if (base.empty()) GTEST_SKIP() << "test server not running (KESU_TEST_HTTP_STATE)";
    ASSERT_NE(sc.core, nullptr);
  }

  // The result code and message of one upload.
  std::pair<int, std::string> upload(const std::string& url, const char* bundle = R"({"a":1})") {
    char* msg = nullptr;
    const int rc = kesu_upload_diag(sc.core, url.c_str(), bundle, &msg);
    return {rc, CoreString(msg).str()};
  }

  ScopedCore sc;
  std::string base;
};

TEST_F(DiagUpload, StatusesGiveTheirMessages) {
  struct Case {
    int status;
    int rc;
    std::string message;
  };
  const Case cases[] = {
      {404, KESU_ERR_FAILED, "服务端还没有开放诊断上传（404）：诊断包已存本地，把它发给我即可"},
      {413, KESU_ERR_FAILED, "诊断包太大，服务端拒收（413）"},
      {500, KESU_ERR_FAILED, "上传失败：HTTP 500"},
      {401, KESU_ERR_FAILED, "上传失败：HTTP 401"},
      {201, KESU_OK, "错误详情 " + std::string(495, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(upload(base + "/status/" + std::to_string(c.status)), std::pair(c.rc, c.message))
        << c.status;
  }
}

TEST_F(DiagUpload, SuccessReturnsTheStartOfTheReply) {
  const auto [rc, message] = upload(base + "/status/200");
  EXPECT_EQ(rc, KESU_OK);
  EXPECT_EQ(message, "错误详情 " + std::string(495, 'x'));
}

TEST_F(DiagUpload, SendsTheBundleAsJsonWithItsUserAgent) {
  // The echo comes back as the message, cut at 500 characters: method and headers come first.
  const auto [rc, message] = upload("  " + base + "/echo  ");
  ASSERT_EQ(rc, KESU_OK) << message;
  for (const char* part : {"\"POST\"", "Kesu/" KESU_VERSION, "application/json; charset=utf-8"}) {
    EXPECT_NE(message.find(part), std::string::npos) << part << " in " << message;
  }
}

TEST_F(DiagUpload, BlankAddressSendsNothingAndUnreachableSaysSo) {
  EXPECT_EQ(upload("   "),
            std::pair(KESU_ERR_FAILED,
                      std::string("没设上传地址（[diag] upload_url）：诊断包已存在本地，可以直接发给我")));
  const auto [rc, message] = upload("http://127.0.0.1:1/");
  EXPECT_EQ(rc, KESU_ERR_FAILED);
  EXPECT_EQ(message.rfind("上传失败：", 0), 0u) << message;
  EXPECT_NE(message.find("（网络不通或地址写错）"), std::string::npos) << message;
}

TEST_F(DiagUpload, AServerThatNeverAnswersTimesOut) {
  const auto [rc, message] = upload(base + "/stall");
  EXPECT_EQ(rc, KESU_ERR_FAILED);
  EXPECT_EQ(message.rfind("上传失败：", 0), 0u) << message;
  EXPECT_NE(message.find("（网络不通或地址写错）"), std::string::npos) << message;
}

}  // namespace
