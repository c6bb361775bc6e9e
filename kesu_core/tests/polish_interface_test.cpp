// Polish exports against the loopback chat service of scripts/http_test_server.py, through the
// platform's HTTP stack (libcurl here, WinHTTP under Wine).

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/test_server.h"

#include "kesu_core.h"
#include "net/http_client.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;


class PolishService : public ::testing::Test {
 protected:
  void SetUp() override {
    base = kesu_test::test_server_base();
    if (base.empty()) GTEST_SKIP() << "test server not running (KESU_TEST_HTTP_STATE)";
    ASSERT_NE(sc.core, nullptr);
  }
  void configure(const std::string& model, const std::string& key) {
    const Json patch = {{"polish_endpoint", base + "/v1/"}, {"polish_model", model},
                        {"polish_api_key", key}, {"polish_level", "medium"}};
    ASSERT_EQ(kesu_set_config_json(sc.core, patch.dump().c_str(), nullptr), KESU_OK);
  }
  std::string base;
  ScopedCore sc;
};

TEST_F(PolishService, PolishTestReturnsTheServicesText) {
  configure("echo", "sk-test");
  char* err = nullptr;
  CoreString text(kesu_polish_test(sc.core, &err));
  ASSERT_NE(text.s, nullptr) << CoreString(err).str();
  EXPECT_EQ(text.str(), "嗯那个我明天上午十点把设计文档发给你然后我们再对一下细节");
}

TEST_F(PolishService, FailuresAreWordedAndCarryNoKey) {
  struct Case {
    const char* model;
    std::string prefix;
  };
  const Case cases[] = {
      {"status500", "润色失败：服务返回 500：服务端出错了"},
      {"notjson", "润色失败：响应不是合法 JSON："},
      {"length", "润色失败：润色没写完（输出被截断），这次用原文"},
      {"long", "润色失败：润色结果比原文长太多，已用原文"},
  };
  for (const Case& c : cases) {
    configure(c.model, "sk-never-shown");
    char* err = nullptr;
    EXPECT_EQ(kesu_polish_test(sc.core, &err), nullptr) << c.model;
    const std::string message = CoreString(err).str();
    EXPECT_EQ(message.rfind(c.prefix, 0), 0u) << message;
    EXPECT_EQ(message.find("sk-never-shown"), std::string::npos);
  }
}

TEST_F(PolishService, ModelListIsSortedAndDeduplicated) {
  configure("echo", "dup");
  char* err = nullptr;
  EXPECT_EQ(CoreString(kesu_polish_models(sc.core, &err)).str(), R"(["a","b"])");
  EXPECT_EQ(err, nullptr);
  configure("echo", "empty");
  EXPECT_EQ(kesu_polish_models(sc.core, &err), nullptr);
  EXPECT_EQ(CoreString(err).str(), base + "/v1/models 没有返回任何模型（有的服务不支持 /models）");
}

TEST_F(PolishService, SelectionRewrite) {
  configure("echo", "sk-test");
  char* err = nullptr;
  CoreString text(kesu_run_command(sc.core, "改成书面语", "咱明儿见", &err));
  ASSERT_NE(text.s, nullptr) << CoreString(err).str();
  EXPECT_EQ(text.str(), "指令：改成书面语\n\n文字：\n咱明儿见");
  EXPECT_EQ(kesu_run_command(sc.core, "x", "   ", &err), nullptr);
  EXPECT_EQ(CoreString(err).str(), "没有选中文字");
}

}  // namespace

namespace {

// How many chat requests carrying `text` the test server has received so far (other test
// processes use the same server at the same time).
std::size_t chat_requests(const std::string& base, const std::string& text) {
  kesu::HttpRequest request;
  request.url = base + "/requests";
  const kesu::HttpResponse response = kesu::http_request(request);
  const Json list = Json::parse(response.body, nullptr, false);
  std::size_t n = 0;
  if (list.is_array()) {
    for (const Json& r : list) {
      n += r["path"].get<std::string>().ends_with("/chat/completions") && r["body"].is_string() &&
           r["body"].get<std::string>().find(text) != std::string::npos;
    }
  }
  return n;
}

class PolishedDictation : public PolishService {
 protected:
  void SetUp() override {
    PolishService::SetUp();
    if (IsSkipped()) return;
    rec.attach(sc.core);
  }
  void TearDown() override {
    set_env("KESU_MIC_WAV", nullptr);
    // The core goes first: the recorder it calls is destroyed before the base's core would be.
    kesu_core_free(sc.core);
    sc.core = nullptr;
  }
  // Dictates `text` and returns the text sent for insertion.
  std::string dictate(const char* text) {
    rec.reset();
    EXPECT_EQ(kesu_debug_submit_text(sc.core, text), KESU_OK);
    const Json request = rec.wait_for_type("submit_request");
    if (request.is_null()) return "(no submit_request)";
    const std::string task = request["payload"]["task_id"];
    kesu_submit_result(sc.core, task.c_str(), "ok", nullptr);
    rec.wait_for_phase("idle");
    return request["payload"]["text"];
  }
  EventRecorder rec;
};

TEST_F(PolishedDictation, TheServiceTextIsInsertedAndAFailureKeepsTheOriginal) {
  configure("echo", "sk-test");
  const std::size_t before = chat_requests(base, "今天下午三点开会");
  EXPECT_EQ(dictate("今天下午三点开会"), "今天下午三点开会。");
  EXPECT_EQ(chat_requests(base, "今天下午三点开会"), before + 1);

  configure("status500", "sk-test");
  EXPECT_EQ(dictate("今天下午三点开会"), "今天下午三点开会。");
  const Json notice = rec.wait_for_type("notice")["payload"];
  EXPECT_EQ(notice["code"], "polish_failed");
  EXPECT_EQ(notice["message"].get<std::string>().rfind("润色没成功，已用原文：服务返回 500：", 0), 0u)
      << notice["message"];
}

TEST_F(PolishedDictation, TheSimulatedMicrophoneOnlyPolishesWhenAskedTo) {
  configure("echo", "sk-test");
  set_env("KESU_MIC_WAV", "unused.wav");
  const std::size_t skipped = chat_requests(base, "不该润色");
  const std::size_t polished = chat_requests(base, "这次润色");
  dictate("不该润色");
  EXPECT_EQ(chat_requests(base, "不该润色"), skipped);
  set_env("KESU_POLISH_IN_SIM", "1");
  dictate("这次润色");
  set_env("KESU_POLISH_IN_SIM", nullptr);
  EXPECT_EQ(chat_requests(base, "这次润色"), polished + 1);
}

}  // namespace
