// Voice activity segmentation with the real Silero model, the fixed-window fallback and the
// segment decode loop.

#include <gtest/gtest.h>

#include "engine/engine_factory.h"
#include "pipeline/segment_decode.h"
#include "engine/vad_segmenter.h"
#include "support/event_recorder.h"
#include "support/test_models.h"
#include "util/paths.h"

using namespace kesu;
using namespace kesu_test;

namespace {

std::vector<std::size_t> sizes(const std::vector<SpeechPiece>& pieces) {
  std::vector<std::size_t> out;
  for (const SpeechPiece& p : pieces) out.push_back(p.samples.size());
  return out;
}

}  // namespace

TEST(Vad, TwoSentencesWithAPauseGiveTwoSegmentsAndSilenceNone) {
  TempDir dir;
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool pool(loader);
  const Segmentation speech = segment_speech(test_recording("speech-two.wav"), pool, real_vad_model());
  EXPECT_TRUE(speech.by_detector);
  ASSERT_EQ(speech.pieces.size(), 2u);
  EXPECT_LT(speech.pieces[0].start + speech.pieces[0].samples.size(), speech.pieces[1].start);

  const Segmentation silence = segment_speech(std::vector<float>(3 * 16000, 0.0f), pool, real_vad_model());
  EXPECT_TRUE(silence.by_detector);
  EXPECT_TRUE(silence.pieces.empty());

  // The detector built for the first recording served the second, reset in between: the same
  // recording cuts the same way again.
  const Segmentation again = segment_speech(test_recording("speech-two.wav"), pool, real_vad_model());
  EXPECT_EQ(sizes(again.pieces), sizes(speech.pieces));
  EXPECT_EQ(pool.built(), 1u);
}

TEST(Vad, TwoUsersAtOnceEachGetADetectorAndAModelChangeBuildsAFreshOne) {
  TempDir dir;
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool pool(loader);
  const std::filesystem::path model = dir.path() / "silero_vad.onnx";
  copy_into(real_vad_model(), model);
  {
    Result<VadPool::Lease> first = pool.acquire(model);
    Result<VadPool::Lease> second = pool.acquire(model);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->get(), second->get());
  }
  EXPECT_EQ(pool.built(), 2u);
  { EXPECT_TRUE(pool.acquire(model)); }
  EXPECT_EQ(pool.built(), 2u) << "a detector given back is reused";
  EXPECT_TRUE(pool.prepare(model));
  EXPECT_EQ(pool.built(), 2u) << "the warm-up builds nothing when one is waiting";

  // Replaced by a file that is no Silero model: the kept detectors are not used for it.
  std::filesystem::remove(model);
  copy_into(test_models() / "gtcrn_simple.onnx", model);
  const Segmentation cut = segment_speech(std::vector<float>(16000, 0.0f), pool, model);
  EXPECT_FALSE(cut.by_detector);
  EXPECT_EQ(pool.built(), 2u);

  const Result<VadPool::Lease> absent = pool.acquire(dir.path() / "absent.onnx");
  ASSERT_FALSE(absent);
  EXPECT_EQ(user_message(absent.error()),
            "缺少 VAD 模型：" + path_to_utf8(dir.path() / "absent.onnx"));
}

TEST(Vad, TheWarmUpLeavesItsDetectorForTheFirstUser) {
  TempDir dir;
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool pool(loader);
  ASSERT_TRUE(pool.prepare(real_vad_model()));
  {
    Result<VadPool::Lease> first = pool.acquire(real_vad_model());
    ASSERT_TRUE(first);
  }
  EXPECT_EQ(pool.built(), 1u);
  EXPECT_FALSE(pool.prepare(dir.path() / "absent.onnx"));
}

TEST(Vad, WithoutTheDetectorSixtySecondsAreCutIntoFixedWindows) {
  TempDir dir;
  const std::vector<float> minute(60 * 16000, 0.01f);
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool pool(loader);
  const Segmentation cut = segment_speech(minute, pool, dir.path() / "missing_vad.onnx");
  EXPECT_FALSE(cut.by_detector);
  EXPECT_EQ(sizes(cut.pieces), (std::vector<std::size_t>{400000, 400000, 160000}));
  EXPECT_EQ(cut.pieces[2].start, 800000u);

  struct Case {
    std::size_t samples;
    std::vector<std::size_t> expected;
  };
  for (const Case& c : {Case{0, {}}, Case{1, {1}}, Case{400000, {400000}},
                        Case{400001, {400000, 1}}}) {
    EXPECT_EQ(sizes(fixed_windows(std::vector<float>(c.samples))), c.expected) << c.samples;
  }
}

TEST(Vad, ABrokenDetectorModelFallsBackToFixedWindows) {
  TempDir dir;
  const std::filesystem::path bad = dir.path() / "silero_vad.onnx";
  copy_into(test_models() / "gtcrn_simple.onnx", bad);  // loads, but is no Silero model
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool pool(loader);
  const Segmentation cut = segment_speech(std::vector<float>(16000, 0.0f), pool, bad);
  EXPECT_FALSE(cut.by_detector);
  EXPECT_EQ(cut.pieces.size(), 1u);
}

TEST(FaultSelection, ParsesIndexesAndAll) {
  struct Case {
    const char* text;
    bool all;
    std::set<int> indexes;
  };
  const Case cases[] = {
      {"", false, {}},          {"all", true, {}},        {"0", false, {0}},
      {"0,2", false, {0, 2}},   {" 1 , 3 ", false, {1, 3}}, {"x,2,-1,", false, {2}},
      {"all,1", true, {1}},
  };
  for (const Case& c : cases) {
    const FaultSelection parsed = parse_fault_selection(c.text);
    EXPECT_EQ(parsed.all, c.all) << c.text;
    EXPECT_EQ(parsed.indexes, c.indexes) << c.text;
  }
}

TEST(SegmentTexts, JoinWithASpaceOnlyBetweenLatinWords) {
  EXPECT_EQ(join_segment_texts({"你好", "世界"}), "你好世界");
  EXPECT_EQ(join_segment_texts({"hello", "world"}), "hello world");
  EXPECT_EQ(join_segment_texts({"hello.", "", "World"}), "hello.World");
}

class SegmentDecode : public ::testing::Test {
 protected:
  void TearDown() override { set_env("KESU_FAULT_FAIL_SEGMENTS", nullptr); }

  TempDir dir;
  ModelLoader loader = ModelLoader::for_core(dir.path());
  VadPool vad{loader};
  Punctuator rule;
};

TEST_F(SegmentDecode, EmptyAudioIsNoAudio) {
  EngineSlot slot(std::make_shared<StubEngine>());
  const DecodeOutcome out = segment_decode({}, {slot, vad, rule, real_vad_model(), {}, {}});
  ASSERT_TRUE(out.error);
  EXPECT_EQ(out.error->code, ErrorCode::no_audio);
  EXPECT_EQ(user_message(*out.error), "没有录到音频");
}

TEST_F(SegmentDecode, SegmentsInOrderWithHotwordsAndPunctuation) {
  EngineCreation sense = create_sense_engine(test_models() / "sense", 1, loader);
  ASSERT_TRUE(sense) << user_message(sense.error());
  EngineSlot slot(*sense);
  auto hotwords = [](std::string_view text) { return "「" + std::string(text) + "」"; };
  const DecodeOutcome out = segment_decode(test_recording("speech-two.wav"),
                                           {slot, vad, rule, real_vad_model(), hotwords, {}});
  ASSERT_FALSE(out.error);
  ASSERT_EQ(out.segments.size(), 2u);
  EXPECT_EQ(out.segments[0].index, 0);
  EXPECT_EQ(out.segments[1].index, 1);
  EXPECT_FALSE(out.segments[0].text.empty());
  EXPECT_EQ(out.text, "「" + out.segments[0].text + out.segments[1].text + "」");
  EXPECT_GT(out.speech_ms, 1000.0);
}

TEST_F(SegmentDecode, InjectedFaultsFailTheirSegmentsOnly) {
  EngineSlot slot(std::make_shared<StubEngine>());
  set_env("KESU_FAULT_FAIL_SEGMENTS", "1");
  const DecodeOutcome some = segment_decode(test_recording("speech-two.wav"),
                                            {slot, vad, rule, real_vad_model(), {}, {}});
  ASSERT_EQ(some.segments.size(), 2u);
  EXPECT_FALSE(some.segments[0].error);
  ASSERT_TRUE(some.segments[1].error);
  EXPECT_EQ(user_message(*some.segments[1].error), "故障注入：模拟这一段识别失败");
  EXPECT_FALSE(some.error);
  EXPECT_EQ(some.text, "测试文本：你好，Kesu。");

  set_env("KESU_FAULT_FAIL_SEGMENTS", "all");
  const DecodeOutcome all = segment_decode(test_recording("speech-two.wav"),
                                           {slot, vad, rule, real_vad_model(), {}, {}});
  ASSERT_TRUE(all.error);
  EXPECT_EQ(user_message(*all.error), "故障注入：模拟这一段识别失败");
  EXPECT_EQ(all.text, "");
  EXPECT_EQ(all.segments.size(), 2u);  // the audio of every segment is kept for a retry
  EXPECT_FALSE(all.segments[1].samples.empty());
}

// A speaker filter sees the segments before recognition; only those it keeps are recognised.
TEST_F(SegmentDecode, AFilterChoosesTheSegmentsToRecognise) {
  EngineSlot slot(std::make_shared<StubEngine>());
  const auto keep_only = [](std::vector<bool> keep) {
    return [keep](const std::vector<std::span<const float>>& segments) {
      FilterOutcome out;
      out.keep = keep;
      out.total = segments.size();
      return out;
    };
  };
  const DecodeOutcome second = segment_decode(test_recording("speech-two.wav"),
                                              {slot, vad, rule, real_vad_model(), {}, keep_only({false, true})});
  ASSERT_EQ(second.segments.size(), 1u);
  EXPECT_EQ(second.filtered_out, 1u);
  EXPECT_FALSE(second.all_filtered);
  EXPECT_EQ(second.text, "测试文本：你好，Kesu。");

  const DecodeOutcome none = segment_decode(test_recording("speech-two.wav"),
                                            {slot, vad, rule, real_vad_model(), {}, keep_only({false, false})});
  EXPECT_TRUE(none.all_filtered);
  EXPECT_FALSE(none.error);
  EXPECT_EQ(none.text, "");
}
