// Voice enrolment with an embedder the test controls: lengths, messages and the file written.

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "config/config_record.h"
#include "support/event_recorder.h"
#include "voice/enrolment.h"
#include "voice/voice_print.h"

namespace {

using namespace kesu_test;
namespace fs = std::filesystem;

std::optional<kesu::Embedding> three_dims(std::span<const float>) { return kesu::Embedding{0.25f, -1.0f, 2.0f}; }
std::optional<kesu::Embedding> nothing(std::span<const float>) { return std::nullopt; }

std::string failure_text(const kesu::EnrolOutcome& outcome) {
  return outcome.ok() ? std::string() : kesu::user_message(outcome.error());
}

class Enrolment : public ::testing::Test {
 protected:
  void install_model() {
    const fs::path model = dir.path() / "models" / "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx";
    fs::create_directories(model.parent_path());
    std::ofstream(model) << "model";
  }
  fs::path wav(double seconds) {
    const fs::path path = dir.path() / "voice.wav";
    EXPECT_TRUE(kesu::write_wav_16k_mono(path, std::vector<float>(std::size_t(seconds * 16000), 0.2f)).ok());
    return path;
  }
  TempDir dir;
};

TEST_F(Enrolment, FromAWavFile) {
  const kesu::EnrolOutcome no_model = kesu::enrol_from_wav(wav(2), dir.path(), three_dims);
  ASSERT_FALSE(no_model.ok());
  EXPECT_EQ(no_model.error().code, kesu::ErrorCode::voice_model_missing);
  EXPECT_EQ(kesu::user_message(no_model.error()).rfind("声纹模型还没下载：", 0), 0u);
  EXPECT_NE(kesu::user_message(no_model.error()).find("3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx"), std::string::npos);

  install_model();
  EXPECT_EQ(failure_text(kesu::enrol_from_wav(wav(0.9), dir.path(), three_dims)), "样本太短了：至少说 1 秒（建议 8–10 秒）");
  EXPECT_EQ(failure_text(kesu::enrol_from_wav(wav(2), dir.path(), nothing)), "这段音频算不出声纹（可能太安静或全是噪声）");
  EXPECT_FALSE(fs::exists(dir.path() / "voice_print.bin"));

  const kesu::EnrolOutcome ok = kesu::enrol_from_wav(wav(25.9), dir.path(), three_dims);
  ASSERT_TRUE(ok.ok()) << kesu::user_message(ok.error());
  EXPECT_EQ(*ok, "已注册声纹（3 维，来自 25 秒音频）");
  const auto print = kesu::read_voice_print(dir.path() / "voice_print.bin");
  ASSERT_TRUE(print);
  EXPECT_EQ(print->vec, (std::vector<float>{0.25f, -1.0f, 2.0f}));
  EXPECT_EQ(print->created.size(), 19u);  // "YYYY-MM-DD HH:MM:SS"
}

TEST_F(Enrolment, FromTheMicrophone) {
  EXPECT_EQ(kesu::enrolment_seconds(0), 8);
  EXPECT_EQ(kesu::enrolment_seconds(-3), 8);
  EXPECT_EQ(kesu::enrolment_seconds(1), 3);
  EXPECT_EQ(kesu::enrolment_seconds(60), 20);
  EXPECT_EQ(kesu::enrolment_seconds(10), 10);

  kesu::ConfigRecord config = kesu::default_config(dir.path());
  kesu::CaptureSlot microphone;
  EXPECT_EQ(failure_text(kesu::enrol_from_microphone(1, config, three_dims, microphone)).rfind("声纹模型还没下载：", 0), 0u);
  install_model();
  const fs::path mic = dir.path() / "mic.wav";
  ASSERT_TRUE(kesu::write_wav_16k_mono(mic, std::vector<float>(5 * 16000, 0.2f)).ok());
  set_env("KESU_MIC_WAV", mic.string().c_str());
  config.audio_device = "某个不存在的设备";  // enrolment always uses the system default
  const kesu::EnrolOutcome ok = kesu::enrol_from_microphone(1, config, three_dims, microphone);
  set_env("KESU_MIC_WAV", nullptr);
  ASSERT_TRUE(ok.ok()) << kesu::user_message(ok.error());
  EXPECT_EQ(*ok, "已注册声纹（3 维，录了 3 秒）");
}

}  // namespace
