// Speaker embeddings through sherpa-onnx with the generated speaker model, and enrolment through
// the C interface.

#include <filesystem>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "engine/model_loader.h"
#include "kesu_core.h"
#include "support/event_recorder.h"
#include "support/test_models.h"
#include "voice/speaker_embedder.h"

namespace {

using namespace kesu_test;
namespace fs = std::filesystem;

std::vector<float> read(const char* name) {
  kesu::WavRead wav = kesu::read_wav_16k_mono(test_models() / name);
  EXPECT_TRUE(wav.samples) << (wav.error ? kesu::user_message(*wav.error) : std::string());
  return wav.samples.value_or(std::vector<float>{});
}

TEST(Speaker, TheSameVoiceIsCloserThanAnother) {
  TempDir dir;
  const kesu::Embedder embed =
      kesu::make_speaker_embedder(kesu::ModelLoader::for_core(dir.path()), test_models() / "speaker.onnx");
  const auto low1 = embed(read("voice-low-1.wav"));
  const auto low2 = embed(read("voice-low-2.wav"));
  const auto high = embed(read("voice-high.wav"));
  ASSERT_TRUE(low1 && low2 && high);
  EXPECT_EQ(low1->size(), 16u);
  EXPECT_EQ(*embed(read("voice-low-1.wav")), *low1) << "the same audio, the same embedding";
  EXPECT_GT(kesu::similarity(*low1, *low2), kesu::similarity(*low1, *high));
}

TEST(Speaker, AModelThatWouldCrashTheExtractorGivesNoEmbedding) {
  TempDir dir;
  const kesu::Embedder embed = kesu::make_speaker_embedder(kesu::ModelLoader::for_core(dir.path()),
                                                           test_models() / "speaker-no-framework.onnx");
  EXPECT_FALSE(embed(read("voice-low-1.wav")));
}

TEST(Speaker, EnrolmentThroughTheInterface) {
  ScopedCore sc;
  const fs::path model = sc.dir.path() / "models" / "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx";
  fs::create_directories(model.parent_path());
  fs::copy_file(test_models() / "speaker.onnx", model);
  const std::string wav = (test_models() / "voice-low-1.wav").string();
  char* err = nullptr;
  ASSERT_EQ(kesu_voice_enroll_wav(sc.core, wav.c_str(), &err), KESU_OK) << CoreString(err).str();
  const Json state = Json::parse(CoreString(kesu_voice_state(sc.core)).str());
  EXPECT_EQ(state["enrolled"], true);
  EXPECT_EQ(state["dim"], 16);
  EXPECT_EQ(state["model_ready"], true);
  EXPECT_EQ(kesu_voice_enroll_wav(sc.core, nullptr, &err), KESU_ERR_ARGUMENT);
  EXPECT_EQ(CoreString(err).str(), "WAV 路径为空");
}

}  // namespace
