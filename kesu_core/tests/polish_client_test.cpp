// The polish client's requests and its handling of answers, with a recording fake transport.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "polish/polish_client.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

std::optional<std::string> text_of(const kesu::TextOutcome& outcome) {
  return outcome.ok() ? std::optional<std::string>(*outcome) : std::nullopt;
}

template <class Outcome>
std::string failure_of(const Outcome& outcome) {
  return outcome.ok() ? std::string() : kesu::user_message(outcome.error());
}

std::optional<std::string> problem_of(const kesu::Status& checked) {
  return checked.ok() ? std::nullopt : std::optional<std::string>(failure_of(checked));
}

kesu::HttpResponse answer(int status, std::string body) {
  return {status, std::move(body), std::nullopt};
}

kesu::Error unreachable(const char* reason) {
  return {kesu::ErrorCode::http_transport_failed, reason};
}

// Records every request and answers with a fixed response.
struct FakeService {
  kesu::HttpResponse reply;
  std::vector<kesu::HttpRequest> seen;
  kesu::HttpTransport transport() {
    return [this](const kesu::HttpRequest& r) {
      seen.push_back(r);
      return reply;
    };
  }
  static kesu::HttpResponse chat(const json& content, const char* finish = "stop") {
    json message = {{"role", "assistant"}};
    if (!content.is_null()) message["content"] = content;
    return answer(200, json{{"choices", {{{"message", message}, {"finish_reason", finish}}}}}.dump());
  }
};

kesu::PolishSettings settings(kesu::PolishLevel level = kesu::PolishLevel::medium) {
  kesu::PolishSettings s;
  s.endpoint = "https://api.example.test/v1/";
  s.model = "deepseek-chat";
  s.api_key = "  sk-secret-key ";
  s.level = level;
  s.application = " notepad.exe ";
  return s;
}

TEST(PolishUrls, EndpointRules) {
  struct Case {
    const char* endpoint;
    const char* chat;
    const char* models;
  };
  const Case cases[] = {
      {"https://h/v1/", "https://h/v1/chat/completions", "https://h/v1/models"},
      {" https://h ", "https://h/v1/chat/completions", "https://h/v1/models"},
      {"https://h/api/chat/completions", "https://h/api/chat/completions", "https://h/api/models"},
      {"https://h/compat//", "https://h/compat/v1/chat/completions", "https://h/compat/v1/models"},
      {"", "/v1/chat/completions", "/v1/models"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::chat_url(c.endpoint), c.chat) << c.endpoint;
    EXPECT_EQ(kesu::models_url(c.endpoint), c.models) << c.endpoint;
  }
}

TEST(PolishLevels, EnglishAndChineseWords) {
  using L = kesu::PolishLevel;
  const std::pair<const char*, std::optional<L>> cases[] = {
      {"off", L::off}, {" 关闭 ", L::off}, {"关", L::off}, {"Light", L::light}, {"轻度", L::light},
      {"轻", L::light}, {"MEDIUM", L::medium}, {"中", L::medium}, {"strong", L::strong},
      {"强", L::strong}, {"重度", L::strong}, {"max", std::nullopt}, {"", std::nullopt}};
  for (const auto& [text, level] : cases) EXPECT_EQ(kesu::parse_polish_level(text), level) << text;
}

TEST(PolishRequest, BodyHeadersPromptAndTimeOut) {
  FakeService service;
  service.reply = FakeService::chat("今天开会。");
  kesu::PolishSettings s = settings(kesu::PolishLevel::light);
  s.extra_prompt = "  用书面语  ";
  s.timeout_ms = 100;  // clamped up to 500
  const kesu::TextOutcome out = kesu::polish_text(s, "嗯今天开会", service.transport());
  ASSERT_TRUE(out.ok()) << failure_of(out);
  EXPECT_EQ(*out, "今天开会。");
  ASSERT_EQ(service.seen.size(), 1u);
  const kesu::HttpRequest& r = service.seen[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.url, "https://api.example.test/v1/chat/completions");
  EXPECT_EQ(r.timeout, 500ms);
  EXPECT_EQ(r.headers, (std::vector<std::pair<std::string, std::string>>{
                           {"Content-Type", "application/json"},
                           {"Authorization", "Bearer sk-secret-key"}}));
  const json body = json::parse(r.body);
  EXPECT_EQ(body["model"], "deepseek-chat");
  EXPECT_EQ(body["temperature"], 0.2);
  EXPECT_EQ(body["max_tokens"], 512);  // 3 × 5 + 256 is below the floor
  EXPECT_EQ(body["messages"][1], json({{"role", "user"}, {"content", "嗯今天开会"}}));
  const std::string prompt = body["messages"][0]["content"];
  EXPECT_EQ(prompt.rfind("你是语音输入法的文本润色器。", 0), 0u);
  EXPECT_NE(prompt.find("\n\n本次润色力度：只做最少改动："), std::string::npos);
  EXPECT_NE(prompt.find("\n\n<CONTEXT_INFORMATION>\n- 输入方式：语音转写\n- 前台应用：notepad.exe\n</CONTEXT_INFORMATION>\n\n【这一档的额外要求】\n用书面语"),
            std::string::npos);
  EXPECT_EQ(prompt.substr(prompt.size() - 12), "用书面语");  // nothing after the extra prompt
}

TEST(PolishRequest, PromptEndsWithTheContextWhenThereIsNoExtraAndNoApp) {
  const std::string prompt = kesu::polish_system_prompt(kesu::PolishLevel::strong, "  ", "");
  const std::string tail = "- 前台应用：（未知）\n</CONTEXT_INFORMATION>";
  EXPECT_EQ(prompt.substr(prompt.size() - tail.size()), tail);
  EXPECT_NE(prompt.find("本次润色力度：在中度基础上："), std::string::npos);
}

TEST(PolishRequest, MaxTokensScaleWithTheTextWithinBounds) {
  struct Case {
    std::size_t chars;
    int expected;
  };
  for (const Case c : {Case{100, 556}, Case{10, 512}, Case{5000, 8192}}) {
    FakeService service;
    const std::string text(c.chars, 'a');
    service.reply = FakeService::chat(text);
    (void)kesu::polish_text(settings(), text, service.transport());
    EXPECT_EQ(json::parse(service.seen.at(0).body)["max_tokens"], c.expected) << c.chars;
  }
}

TEST(PolishOutcome, EveryFailureHasItsMessageAndNeverTheKey) {
  struct Case {
    kesu::HttpResponse reply;
    std::string error;
  };
  const Case cases[] = {
      {{0, "", unreachable("Connection refused")}, "连不上润色服务：Connection refused"},
      {answer(401, std::string(300, 'e')), "服务返回 401：" + std::string(200, 'e')},
      {answer(500, ""), "服务返回 500："},
      // A body with line breaks of its own comes back whole.
      {answer(502, "bad\ngateway\n"), "服务返回 502：bad\ngateway\n"},
      {answer(200, "<html>"), ""},  // prefix checked below
      {FakeService::chat("半句", "length"), "润色没写完（输出被截断），这次用原文"},
      {FakeService::chat(nullptr), "响应里没有 choices[0].message.content"},
      {FakeService::chat(42), "响应里没有 choices[0].message.content"},
      {FakeService::chat("   "), "润色结果为空，已用原文"},
  };
  for (const Case& c : cases) {
    FakeService service;
    service.reply = c.reply;
    const kesu::TextOutcome out = kesu::polish_text(settings(), "今天天气很好我们出去走走吧", service.transport());
    ASSERT_FALSE(out.ok());
    const std::string message = failure_of(out);
    if (c.error.empty()) {
      EXPECT_EQ(message.rfind("响应不是合法 JSON：", 0), 0u) << message;
    } else {
      EXPECT_EQ(message, c.error);
    }
    EXPECT_EQ(message.find("sk-secret-key"), std::string::npos);
  }
}

TEST(PolishOutcome, MissingSettingsFailWithoutARequest) {
  FakeService service;
  kesu::PolishSettings s = settings();
  s.endpoint = "  ";
  EXPECT_EQ(failure_of(kesu::polish_text(s, "文本", service.transport())), "没有配置润色服务地址");
  s = settings();
  s.api_key = " ";
  EXPECT_EQ(failure_of(kesu::polish_text(s, "文本", service.transport())), "没有配置 API Key");
  const kesu::TextOutcome off = kesu::polish_text(settings(kesu::PolishLevel::off), "原样", service.transport());
  EXPECT_EQ(text_of(off), "原样");
  EXPECT_TRUE(service.seen.empty());
}

TEST(PolishOutcome, ResultCheckBounds) {
  const std::string source(100, 'a');
  struct Case {
    std::size_t result_chars;
    std::optional<std::string> problem;
  };
  const Case cases[] = {
      {210, std::nullopt}, {211, "润色结果比原文长太多"}, {36, std::nullopt},
      {35, "润色结果比原文短太多"}, {30, "润色结果比原文短太多"}};
  for (const Case& c : cases) {
    EXPECT_EQ(problem_of(kesu::check_polish_result(source, std::string(c.result_chars, 'b'))),
              c.problem)
        << c.result_chars;
  }
  // A text of 10 characters or fewer can never be too short.
  EXPECT_TRUE(kesu::check_polish_result("十个字十个字十个字十", "一").ok());
  EXPECT_EQ(problem_of(kesu::check_polish_result("", "   ")), "润色结果为空");
}

TEST(Rewrite, RequestAndMessages) {
  kesu::ConfigRecord config = kesu::default_config("/kesu");
  config.polish_endpoint = "https://h";
  config.polish_api_key = "sk-secret-key";
  config.polish_timeout_ms = 100;
  FakeService service;
  service.reply = FakeService::chat("  Hello world  ");
  const kesu::TextOutcome out = kesu::rewrite_selection(config, "翻译成英文", "你好世界", service.transport());
  EXPECT_EQ(text_of(out), "Hello world");
  const kesu::HttpRequest& r = service.seen.at(0);
  EXPECT_EQ(r.timeout, 15000ms);
  EXPECT_EQ(r.url, "https://h/v1/chat/completions");
  const json body = json::parse(r.body);
  EXPECT_FALSE(body.contains("max_tokens"));
  EXPECT_EQ(body["temperature"], 0.3);
  EXPECT_EQ(body["messages"][0]["content"], kesu::rewrite_system_prompt());
  EXPECT_EQ(body["messages"][1]["content"], "指令：翻译成英文\n\n文字：\n你好世界");

  config.polish_timeout_ms = 90000;
  (void)kesu::rewrite_selection(config, "x", "y", service.transport());
  EXPECT_EQ(service.seen.back().timeout, 60000ms);

  service.reply = FakeService::chat("  ");
  EXPECT_EQ(failure_of(kesu::rewrite_selection(config, "x", "y", service.transport())), "服务返回了空内容");
  EXPECT_EQ(failure_of(kesu::rewrite_selection(config, "x", "  ", service.transport())), "没有选中文字");
  config.polish_api_key = "";
  EXPECT_EQ(failure_of(kesu::rewrite_selection(config, "x", "y", service.transport())),
            "没有配置 API Key（设置页「润色」里填）");
  config.polish_endpoint = "";
  EXPECT_EQ(failure_of(kesu::rewrite_selection(config, "x", "y", service.transport())),
            "没有配置服务地址（设置页「润色」里填）");
}

TEST(PolishSample, LevelComesFromTheProfileThenTheConfiguration) {
  kesu::ConfigRecord config = kesu::default_config("/kesu");
  config.polish_api_key = "k";
  FakeService service;
  service.reply = FakeService::chat("我明天上午十点把设计文档发给你，然后我们再对一下细节。");
  config.polish_level = "off";
  EXPECT_EQ(failure_of(kesu::polish_sample(config, {"关", ""}, service.transport())),
            "当前润色档的力度是「关闭」：在设置 → 润色 → 这一档里选 轻度/中度/重度");
  config.polish_level = "strong";
  ASSERT_TRUE(text_of(kesu::polish_sample(config, {"off", ""}, service.transport())));
  EXPECT_NE(json::parse(service.seen.back().body)["messages"][0]["content"].get<std::string>().find("在中度基础上"),
            std::string::npos);
  ASSERT_TRUE(text_of(kesu::polish_sample(config, {"轻度", "口语化"}, service.transport())));
  EXPECT_EQ(json::parse(service.seen.back().body)["messages"][1]["content"],
            "嗯那个我明天上午十点把设计文档发给你然后我们再对一下细节");
  config.polish_api_key = " ";
  EXPECT_EQ(failure_of(kesu::polish_sample(config, {"轻度", ""}, service.transport())), "没有填 API Key");
  config.polish_api_key = "k";
  service.reply = {0, "", kesu::Error{kesu::ErrorCode::http_timed_out, "timeout"}};
  EXPECT_EQ(failure_of(kesu::polish_sample(config, {"轻度", ""}, service.transport())),
            "润色失败：连不上润色服务：timeout");
}

TEST(PolishModels, IdsSortedAndDeduplicatedAndFailuresWorded) {
  kesu::ConfigRecord config = kesu::default_config("/kesu");
  config.polish_endpoint = "https://h/v1";
  config.polish_api_key = "k";
  FakeService service;
  service.reply = answer(200, R"({"data":[{"id":"b"},{"id":"a"},{"id":"a"},{"x":1}]})");
  EXPECT_EQ(text_of(kesu::list_polish_models(config, service.transport())), R"(["a","b"])");
  const kesu::HttpRequest& r = service.seen.at(0);
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.url, "https://h/v1/models");
  EXPECT_EQ(r.timeout, 8000ms);
  EXPECT_EQ(r.headers, (std::vector<std::pair<std::string, std::string>>{
                           {"Authorization", "Bearer k"}, {"Accept", "application/json"}}));

  struct Case {
    kesu::HttpResponse reply;
    std::string error;
  };
  const Case cases[] = {
      {answer(200, R"({"data":[]})"), "https://h/v1/models 没有返回任何模型（有的服务不支持 /models）"},
      {answer(200, std::string(150, 'z')), "返回的不是 JSON：" + std::string(120, 'z')},
      {answer(403, "denied"), "HTTP 403：denied"},
      {{0, "", unreachable("refused")}, "连不上 https://h/v1/models：refused"},
  };
  for (const Case& c : cases) {
    service.reply = c.reply;
    EXPECT_EQ(failure_of(kesu::list_polish_models(config, service.transport())), c.error);
  }
  config.polish_api_key = "";
  EXPECT_EQ(failure_of(kesu::list_polish_models(config, service.transport())),
            "还没有 Key：先粘贴并保存，再检测模型");
}

}  // namespace
