// kesu_models_list and the answers of kesu_models_pull that need no download.

#include <gtest/gtest.h>

#include <fstream>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using kesu_test::CoreString;
using kesu_test::Json;
using kesu_test::ScopedCore;

const char* const kSenseDir = "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09";
const char* const kPunctDir = "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8";

void write_bytes(const std::filesystem::path& file, std::size_t n) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << std::string(n, 'x');
}

std::string utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

Json list_of(KesuCore* core) {
  CoreString text(kesu_models_list(core));
  EXPECT_NE(text.s, nullptr);
  return Json::parse(text.str());
}

TEST(ModelsListTest, SixEntriesInOrderWithSortedKeys) {
  ScopedCore c;
  CoreString text(kesu_models_list(c.core));
  ASSERT_NE(text.s, nullptr);
  const Json list = Json::parse(text.str());
  ASSERT_EQ(list.size(), 6u);
  const char* ids[] = {"sense", "qwen3", "punct", "gtcrn", "speaker", "stub"};
  const bool engines[] = {true, true, false, false, false, true};
  const unsigned mb[] = {233, 879, 65, 1, 39, 0};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(list[i]["id"], ids[i]);
    EXPECT_EQ(list[i]["engine"], engines[i]) << ids[i];
    EXPECT_EQ(list[i]["approx_mb"], mb[i]) << ids[i];
    EXPECT_EQ(list[i]["installed"], i == 5) << ids[i];  // only the test engine on a fresh core
    EXPECT_EQ(list[i]["size_bytes"], 0u) << ids[i];
  }
  EXPECT_EQ(list[0]["name"], "SenseVoice Small（默认·快）");
  EXPECT_EQ(list[5]["note"], "只验证链路，不接模型");
  EXPECT_TRUE(text.str().starts_with(
      R"([{"active":true,"approx_mb":233,"engine":true,"id":"sense","installed":false,"name":)"))
      << text.str();
}

TEST(ModelsListTest, InstalledAndSizesFollowTheFilesOnDisk) {
  ScopedCore c;
  const auto models = c.dir.path() / "models";
  write_bytes(models / kSenseDir / "model.int8.onnx", 1000);
  write_bytes(models / kSenseDir / "sub" / "tokens.txt", 234);
  write_bytes(models / kPunctDir / "model.int8.onnx", 50);
  write_bytes(models / "gtcrn_simple.onnx", 10);
  write_bytes(models / "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx", 10);
#ifndef _WIN32
  // A link inside a model folder is not followed.
  std::filesystem::create_directory_symlink(models / kPunctDir, models / kSenseDir / "loop");
#endif
  const Json list = list_of(c.core);
  EXPECT_EQ(list[0]["installed"], true);
  EXPECT_EQ(list[0]["size_bytes"], 1234u);
  EXPECT_EQ(list[1]["installed"], false);
  EXPECT_EQ(list[2]["installed"], true);
  EXPECT_EQ(list[2]["size_bytes"], 50u);
  EXPECT_EQ(list[3]["installed"], true);
  EXPECT_EQ(list[3]["size_bytes"], 0u);  // not measured for single-file models
  EXPECT_EQ(list[4]["installed"], true);
}

TEST(ModelsListTest, RecognisersAreLookedUpWhereTheConfigurationPointsAndActiveFollowsIt) {
  ScopedCore c;
  const auto elsewhere = c.dir.path() / "elsewhere";
  write_bytes(elsewhere / "model.int8.onnx", 7);
  Json patch = {
      {"model_dir", utf8(elsewhere)}, {"engine", "stub"}, {"punct", false}, {"denoise", true}};
  char* err = nullptr;
  ASSERT_EQ(kesu_set_config_json(c.core, patch.dump().c_str(), &err), 0) << (err ? err : "");
  const Json list = list_of(c.core);
  EXPECT_EQ(list[0]["installed"], true);
  EXPECT_EQ(list[0]["size_bytes"], 7u);
  const bool active[] = {false, false, false, true, false, true};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(list[i]["active"], active[i]) << list[i]["id"];

  // The pull checks the catalog location, not the configured folder.
  write_bytes(c.dir.path() / "models" / kSenseDir / "model.int8.onnx", 1);
  patch = {{"model_dir", utf8(c.dir.path() / "empty")}};
  ASSERT_EQ(kesu_set_config_json(c.core, patch.dump().c_str(), nullptr), 0);
  EXPECT_EQ(list_of(c.core)[0]["installed"], false);
  EXPECT_EQ(kesu_models_pull(c.core, "sense", nullptr), KESU_ERR_ALREADY_INSTALLED);
}

TEST(ModelsPullTest, RefusalsAndTheirMessages) {
  ScopedCore c;
  write_bytes(c.dir.path() / "models" / "silero_vad.onnx", 3);
  struct Case {
    const char* id;
    int expected;
    const char* message;  // nullptr: none stored
  };
  const Case cases[] = {
      {nullptr, KESU_ERR_ARGUMENT, nullptr},
      {"\xC3\x28", KESU_ERR_ARGUMENT, nullptr},  // not UTF-8
      {"stub", KESU_ERR_FAILED, "未知的模型：stub"},
      {"Sense", KESU_ERR_FAILED, "未知的模型：Sense"},
      {"", KESU_ERR_FAILED, "未知的模型："},
      {"vad", KESU_ERR_ALREADY_INSTALLED, "这个模型已经装好了"},  // pullable, though not listed
  };
  for (const Case& k : cases) {
    char* err = nullptr;
    EXPECT_EQ(kesu_models_pull(c.core, k.id, &err), k.expected) << (k.id ? k.id : "NULL");
    CoreString message(err);
    if (k.message) {
      EXPECT_EQ(message.str(), k.message);
    } else {
      EXPECT_EQ(err, nullptr);
    }
    EXPECT_EQ(kesu_models_pull(c.core, k.id, nullptr), k.expected);  // no place for a message
  }
  EXPECT_EQ(kesu_models_pull(nullptr, "sense", nullptr), KESU_ERR_ARGUMENT);
  EXPECT_EQ(kesu_models_list(nullptr), nullptr);
}

}  // namespace
