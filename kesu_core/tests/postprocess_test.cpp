// Punctuation (rule and model), the denoiser and the load self-check after a download.

#include <gtest/gtest.h>

#include "audio/denoiser.h"
#include "config/model_files.h"
#include "engine/self_check.h"
#include "punct/punct_rule.h"
#include "punct/punctuator.h"
#include "support/event_recorder.h"
#include "support/test_models.h"
#include "util/paths.h"

using namespace kesu;
using namespace kesu_test;

TEST(PunctuationRule, EndsChineseSentencesOnly) {
  struct Case {
    const char* in;
    const char* out;
    const char* why;
  };
  const Case cases[] = {
      {"", "", "empty"},
      {"你好", "你好", "fewer than 6 characters"},
      {"今天天气很", "今天天气很", "5 characters"},
      {"今天天气很好", "今天天气很好。", "6 characters ending in an ideograph"},
      {"今天天气好吗？", "今天天气好吗？", "already ends in ？"},
      {"今天天气很好！", "今天天气很好！", "already ends in ！"},
      {"今天天气很好…", "今天天气很好…", "already ends in …"},
      {"hello world", "hello world", "ends in a Latin letter"},
      {"今天是2024", "今天是2024", "ends in a digit"},
      {"扩展A区㐀㐀㐀", "扩展A区㐀㐀㐀。", "U+3400 block"},
      {"今天天气很好。", "今天天气很好。", "already ends in 。"},
      {"今天天气很好,", "今天天气很好,", "ASCII comma"},
  };
  for (const Case& c : cases) EXPECT_EQ(punctuate_by_rule(c.in), c.out) << c.why;
}

class Models : public ::testing::Test {
 protected:
  ConfigRecord config() const {
    ConfigRecord c = default_config(dir.path());
    return c;
  }
  TempDir dir;
  ModelLoader loader = ModelLoader::for_core(dir.path());
};

TEST_F(Models, PunctuationModelWhenInstalledAndSwitchedOn) {
  copy_into(test_models() / "punct" / "model.int8.onnx", punct_model_path(dir.path()));
  const auto model = Punctuator::create(config(), loader);
  ASSERT_TRUE(model->uses_model());
  EXPECT_EQ(model->add("这是一次加载自检"), "这是一次，加载自检。");

  ConfigRecord off = config();
  off.audio_punct = false;
  const auto rule = Punctuator::create(off, loader);
  EXPECT_FALSE(rule->uses_model());
  EXPECT_EQ(rule->add("这是一次加载自检"), "这是一次加载自检。");
}

TEST_F(Models, PunctuationFallsBackToTheRuleWithoutAModel) {
  const auto none = Punctuator::create(config(), loader);  // nothing installed
  EXPECT_FALSE(none->uses_model());
  copy_into(test_models() / "sense-corrupt" / "model.int8.onnx", punct_model_path(dir.path()));
  const auto broken = Punctuator::create(config(), loader);
  EXPECT_FALSE(broken->uses_model());
  EXPECT_EQ(broken->add("今天天气很好"), "今天天气很好。");
}

TEST_F(Models, DenoiserKeepsTheLengthOfTheAudio) {
  copy_into(test_models() / "gtcrn_simple.onnx", gtcrn_model_path(dir.path()));
  DenoiserOpen opened = open_denoiser(config(), loader);
  ASSERT_TRUE(opened.filter) << (opened.error ? kesu::user_message(*opened.error) : std::string());
  const std::vector<float> speech = test_recording("speech-two.wav");
  std::size_t total = 0;
  for (std::size_t from = 0; from < speech.size(); from += 1000) {
    const std::size_t n = std::min<std::size_t>(1000, speech.size() - from);
    total += opened.filter->process(std::vector<float>(speech.begin() + from, speech.begin() + from + n)).size();
  }
  total += opened.filter->flush().size();
  EXPECT_EQ(total, speech.size());
}

TEST_F(Models, DenoiserOffOrBrokenMeansNone) {
  ConfigRecord off = config();
  off.audio_denoise = false;
  copy_into(test_models() / "gtcrn_simple.onnx", gtcrn_model_path(dir.path()));
  EXPECT_FALSE(open_denoiser(off, loader).filter);

  copy_into(test_models() / "sense-no-metadata" / "model.int8.onnx", gtcrn_model_path(dir.path()));
  const DenoiserOpen broken = open_denoiser(config(), loader);
  EXPECT_FALSE(broken.filter);
  EXPECT_TRUE(broken.error.has_value());
}

TEST_F(Models, SelfCheckAfterInstall) {
  const std::filesystem::path models = models_base(dir.path());
  copy_into(test_models() / "sense", models / "sense-ok");
  copy_into(test_models() / "sense-no-metadata", models / "sense-bad");
  copy_into(test_models() / "qwen3-empty", models / "qwen3-bad");
  copy_into(test_models() / "punct", models / "punct-ok");
  copy_into(test_models() / "sense-corrupt", models / "punct-bad");
  struct Case {
    const char* id;
    std::filesystem::path marker;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"sense", models / "sense-ok" / "model.int8.onnx", std::nullopt},
      {"sense", models / "sense-bad" / "model.int8.onnx",
       "OfflineRecognizer::create 失败（模型损坏或内存不足）"},
      {"sense", models / "absent" / "model.int8.onnx",
       "解包后没找到 " + path_to_utf8(models / "absent" / "model.int8.onnx")},
      {"qwen3", models / "qwen3-bad" / "encoder.int8.onnx",
       "Qwen3 recognizer 创建失败（模型损坏或内存不足）"},
      {"punct", models / "punct-ok" / "model.int8.onnx", std::nullopt},
      {"punct", models / "punct-bad" / "model.int8.onnx", "标点模型加载失败"},
      {"gtcrn", models / "sense-bad" / "model.int8.onnx", std::nullopt},  // no load check
  };
  for (const Case& c : cases) {
    const Status checked = self_check_model(c.id, c.marker, dir.path());
    const std::optional<std::string> message =
        checked ? std::nullopt : std::optional<std::string>(user_message(checked.error()));
    EXPECT_EQ(message, c.expected) << c.id << " " << path_to_utf8(c.marker);
  }
}
