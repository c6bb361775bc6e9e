// The diagnostics report: the default configuration line by line, and the lines that depend on
// settings and on files present.

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"
#include "kesu_version.h"

namespace {

using namespace kesu_test;
namespace fs = std::filesystem;

std::string utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

class Diagnose : public ::testing::Test {
 protected:
  void SetUp() override {
    // The simulated microphone makes the device line the same on every machine.
    set_env("KESU_MIC_WAV", utf8(sc.dir.path() / "mic.wav").c_str());
    ASSERT_NE(sc.core, nullptr);
  }
  void TearDown() override { set_env("KESU_MIC_WAV", nullptr); }

  std::string report() { return CoreString(kesu_diagnose(sc.core)).str(); }
  void set(const Json& patch) {
    ASSERT_EQ(kesu_set_config_json(sc.core, patch.dump().c_str(), nullptr), KESU_OK);
  }
  // The line starting with `prefix`, or "" when there is none.
  std::string line(const std::string& prefix) {
    const std::string text = report();
    const std::size_t at = text.find("\n" + prefix);
    if (at == std::string::npos) return {};
    const std::size_t end = text.find('\n', at + 1);
    return text.substr(at + 1, end - at - 1);
  }
  void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }

  // Declared before the core: a delivery still running when the callback is cleared must find
  // the recorder alive until the core's threads have ended.
  EventRecorder rec;
  ScopedCore sc;
};

TEST_F(Diagnose, DefaultConfigurationReport) {
  const fs::path dir = sc.dir.path();
  const std::string expected =
      "Kesu core " KESU_VERSION " (ABI 1.14)\n"
      "配置目录：" + utf8(dir) + "\n"
      "引擎：sense（SenseVoice 就绪=false / Qwen3 就绪=false）\n"
      "VAD：" + utf8(dir / "models" / "silero_vad.onnx") + " (缺失)\n"
      "输入设备：模拟麦克风（KESU_MIC_WAV）（默认：模拟麦克风（KESU_MIC_WAV））\n"
      "历史：0 条（开启）\n"
      "润色档：日常（light，CTRL+ALT+1）共 3 档\n"
      "热词：0 条（" + utf8(dir / "hotwords.toml") + "）\n"
      "最短录音：400ms；会话上限：120s\n"
      "上屏方式：paste（按应用覆盖 0 条）；隐私模式：关；降噪：开（但模型没装，实际不降噪）；暂停播放：关\n"
      "快捷键：ALT_R\n"
      "只录我的声音：关（未注册声纹；阈值 0.62）\n"
      "标点模型：开（未装，只在句末补「。」）\n";
  EXPECT_EQ(report(), expected);
}

TEST_F(Diagnose, LinesFollowSettingsAndFiles) {
  const fs::path models = sc.dir.path() / "models";
  EXPECT_EQ(line("已指定设备："), "");
  set({{"device", "USB 麦克风"}, {"denoise", false}, {"privacy_mode", true}});
  EXPECT_EQ(line("已指定设备："), "已指定设备：USB 麦克风");
  EXPECT_NE(line("上屏方式：").find("隐私模式：开；降噪：关；"), std::string::npos);

  set({{"denoise", true}});
  touch(models / "gtcrn_simple.onnx");
  EXPECT_NE(line("上屏方式：").find("降噪：开（GTCRN）"), std::string::npos);

  const fs::path punct = models / "sherpa-onnx-punct-ct-transformer-zh-en-vocab272727-2024-04-12-int8" /
                         "model.int8.onnx";
  touch(punct);
  EXPECT_EQ(line("标点模型："), "标点模型：开（已装 " + utf8(punct) + "，补逗号/句号）");

  for (const char* file : {"model.int8.onnx", "tokens.txt"}) {
    touch(models / "sherpa-onnx-sense-voice-zh-en-ja-ko-yue-int8-2025-09-09" / file);
  }
  touch(models / "silero_vad.onnx");
  EXPECT_EQ(line("引擎："), "引擎：sense（SenseVoice 就绪=true / Qwen3 就绪=false）");
  EXPECT_NE(line("VAD：").find(" (有)"), std::string::npos);

  std::ofstream(sc.dir.path() / "voice_print.bin")
      << R"({"model":"3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx","dim":2,)"
         R"("created":"2026-12-10 09:30:00","vec":[0.5,null]})";
  set({{"voice_lock", true}, {"voice_lock_threshold", 0.7}});
  EXPECT_EQ(line("只录我的声音："), "只录我的声音：开（已注册 2 维，2026-12-10 09:30:00；阈值 0.70）");
}

TEST_F(Diagnose, LatencyAndLoadWarningLinesAppearOnceThereIsSomething) {
  EXPECT_EQ(line("最近延迟："), "");
  EXPECT_EQ(line("上次加载提示："), "");
  rec.attach(sc.core);
  ASSERT_EQ(kesu_debug_submit_text(sc.core, "你好"), KESU_OK);
  ASSERT_FALSE(rec.wait_for_type("stats").is_null());
  const std::string latency = line("最近延迟：");
  EXPECT_EQ(latency.rfind("最近延迟：1 次，p50 ", 0), 0u) << latency;
  kesu_clear_event_cb(sc.core);

  // A broken file leaves a warning that the report repeats.
  const TempDir other;
  std::ofstream(other.path() / "config.toml") << "[engine\n";
  KesuCore* core = kesu_core_new(other.utf8().c_str());
  ASSERT_NE(core, nullptr);
  const std::string text = CoreString(kesu_diagnose(core)).str();
  kesu_core_free(core);
  EXPECT_NE(text.find("\n上次加载提示：config.toml 解析失败"), std::string::npos) << text;
}

}  // namespace
