// Engines built through the real sherpa-onnx library from the generated test models: creation,
// the checks and messages around it, the isolated validation of model files, the fallbacks, and
// the engine lock.

#include <atomic>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/engine_factory.h"
#include "engine/engine_slot.h"
#include "config/model_files.h"
#include "engine/model_loader.h"
#include "lib/core.h"
#include "pipeline/engine_speech_backend.h"
#include "support/event_recorder.h"
#include "support/test_models.h"
#include "util/paths.h"

using namespace kesu;
using namespace kesu_test;

namespace {

ConfigRecord config_in(const TempDir& dir) {
  ConfigRecord config = default_config(dir.path());
  config.engine_num_threads = 1;
  return config;
}

std::filesystem::path validated_file(const TempDir& dir) {
  return models_base(dir.path()) / ".validated.json";
}

}  // namespace

TEST(EngineCreation, SenseFromGeneratedModelHearsSpeechAndNotSilence) {
  TempDir dir;
  const EngineCreation created =
      create_sense_engine(test_models() / "sense", 1, ModelLoader::for_core(dir.path()));
  ASSERT_TRUE(created) << user_message(created.error());
  EXPECT_EQ((*created)->name(), "sense");

  const EngineResult speech = (*created)->recognise(test_recording("speech-two.wav"));
  EXPECT_FALSE(speech.error);
  EXPECT_FALSE(speech.text.empty());
  const std::vector<float> silence(16000, 0.0f);
  const EngineResult quiet = (*created)->recognise(silence);
  EXPECT_FALSE(quiet.error);
  EXPECT_EQ(quiet.text, "");
  // Pieces shorter than 1,360 samples are padded rather than read past their end.
  for (std::size_t n : {1u, 559u, 560u, 1000u, 1359u}) {
    EXPECT_FALSE((*created)->recognise(std::vector<float>(n, 0.1f)).error) << n;
  }
}

TEST(EngineCreation, StubNeedsNoModel) {
  TempDir dir;
  const EngineCreation created = create_engine("stub", config_in(dir), ModelLoader::for_core(dir.path()));
  ASSERT_TRUE(created);
  EXPECT_EQ((*created)->recognise({}).text, "测试文本：你好，Kesu。");
}

TEST(EngineCreation, MissingFilesAndUnknownNamesAreNamed) {
  TempDir dir;
  const std::filesystem::path sense = dir.path() / "sense";
  const std::filesystem::path qwen3 = dir.path() / "qwen3";
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::function<EngineCreation()> create;
    std::string expected;
  };
  auto touch = [](const std::filesystem::path& p) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << "x";
  };
  const Case cases[] = {
      {"sense without model", [] {}, [&] { return create_sense_engine(sense, 1, loader); },
       "缺少模型文件：" + path_to_utf8(sense / "model.int8.onnx")},
      {"sense without tokens", [&] { touch(sense / "model.int8.onnx"); },
       [&] { return create_sense_engine(sense, 1, loader); },
       "缺少 tokens：" + path_to_utf8(sense / "tokens.txt")},
      {"qwen3 without encoder", [&] { touch(qwen3 / "conv_frontend.onnx"); },
       [&] { return create_qwen3_engine(qwen3, 1, loader); },
       "缺少模型文件：" + path_to_utf8(qwen3 / "encoder.int8.onnx")},
      {"qwen3 without tokenizer",
       [&] {
         touch(qwen3 / "encoder.int8.onnx");
         touch(qwen3 / "decoder.int8.onnx");
       },
       [&] { return create_qwen3_engine(qwen3, 1, loader); }, "缺少模型文件：tokenizer 目录"},
      {"factory: sense not installed", [] {},
       [&] {
         ConfigRecord config = config_in(dir);
         config.models_dir = path_to_utf8(dir.path() / "nowhere");
         return create_engine("sense", config, loader);
       },
       "SenseVoice 模型未安装：" + path_to_utf8(dir.path() / "nowhere")},
      {"factory: qwen3 not installed", [] {},
       [&] { return create_engine("qwen3", config_in(dir), loader); },
       "Qwen3 模型未安装：" + config_in(dir).models_qwen3},
      {"factory: unknown", [] {}, [&] { return create_engine("whisper", config_in(dir), loader); },
       "未知引擎：whisper（可选 sense|qwen3|stub）"},
  };
  for (const Case& c : cases) {
    c.prepare();
    const EngineCreation created = c.create();
    ASSERT_FALSE(created) << c.what;
    EXPECT_EQ(user_message(created.error()), c.expected) << c.what;
  }
}

// Each of these ends the process or throws an exception that a Windows build cannot catch when
// loaded in-process; the checker process takes the blow instead.
TEST(ModelIsolation, BadModelsFailValidationAndTheHostSurvives) {
  TempDir dir;
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  struct Case {
    const char* folder;
    bool qwen3;
  };
  for (const Case& c : {Case{"sense-corrupt", false}, Case{"sense-no-metadata", false},
                        Case{"qwen3-empty", true}}) {
    const std::filesystem::path folder = test_models() / c.folder;
    const EngineCreation created = c.qwen3 ? create_qwen3_engine(folder, 1, loader)
                                           : create_sense_engine(folder, 1, loader);
    ASSERT_FALSE(created) << c.folder;
    EXPECT_EQ(user_message(created.error()),
              c.qwen3 ? "Qwen3 recognizer 创建失败（模型损坏或内存不足）"
                      : "OfflineRecognizer::create 失败（模型损坏或内存不足）")
        << c.folder;

    ConfigRecord config = config_in(dir);
    config.engine_active = c.qwen3 ? "qwen3" : "sense";
    (c.qwen3 ? config.models_qwen3 : config.models_dir) = path_to_utf8(folder);
    EXPECT_EQ(create_engine_or_stub(config, loader)->name(), "stub") << c.folder;
  }
  std::ifstream records(validated_file(dir));
  const std::string text((std::istreambuf_iterator<char>(records)), {});
  EXPECT_EQ(text.find("corrupt"), std::string::npos);
  EXPECT_EQ(text.find("no-metadata"), std::string::npos);
}

TEST(ModelIsolation, EachKindOfModelIsCheckedByLoadingIt) {
  TempDir dir;
  const ModelLoader loader = ModelLoader::for_core(dir.path());
  struct Case {
    ModelKind kind;
    const char* file;
    bool passes;
  };
  const Case cases[] = {
      {ModelKind::vad, "silero_vad.onnx", true},
      {ModelKind::vad, "gtcrn_simple.onnx", false},
      {ModelKind::punct, "punct/model.int8.onnx", true},
      {ModelKind::gtcrn, "gtcrn_simple.onnx", true},
      {ModelKind::gtcrn, "sense-corrupt/model.int8.onnx", false},
      {ModelKind::speaker, "speaker.onnx", true},
      {ModelKind::speaker, "speaker-no-framework.onnx", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loader.validate(c.kind, test_models() / c.file).ok(), c.passes) << c.file;
  }
}

TEST(ModelIsolation, ValidatedFilesAreRememberedUntilTheyChange) {
  TempDir dir;
  const std::filesystem::path sense = dir.path() / "models" / "sense";
  copy_into(test_models() / "sense", sense);
  ASSERT_TRUE(ModelLoader::for_core(dir.path()).validate(ModelKind::sense, sense).ok());
  ASSERT_TRUE(std::filesystem::exists(validated_file(dir)));

  // Without a checker program only the record can vouch for the files.
  const ModelLoader no_checker(load_sherpa(), dir.path(), dir.path() / "no-such-checker");
  EXPECT_TRUE(no_checker.validate(ModelKind::sense, sense).ok());
  std::ofstream(sense / "tokens.txt", std::ios::app) << "extra 99\n";
  const Status changed = no_checker.validate(ModelKind::sense, sense);
  ASSERT_FALSE(changed.ok());
  EXPECT_EQ(changed.error().code, ErrorCode::model_checker_missing);
  EXPECT_EQ(user_message(changed.error()),
            "找不到模型检查程序：" + path_to_utf8(dir.path() / "no-such-checker"));
}

TEST(Fallbacks, MissingLibraryLeavesTheStub) {
  TempDir dir;
  const ModelLoader loader(load_sherpa(dir.path() / "no-library-here"), dir.path(),
                           dir.path() / "checker");
  ASSERT_EQ(loader.api(), nullptr);
  EXPECT_NE(loader.api_error().find("sherpa-onnx"), std::string::npos);
  ConfigRecord config = config_in(dir);
  config.models_dir = path_to_utf8(test_models() / "sense");
  const EngineCreation created = create_engine("sense", config, loader);
  ASSERT_FALSE(created);
  EXPECT_EQ(created.error().code, ErrorCode::sherpa_unavailable);
  EXPECT_EQ(user_message(created.error()), loader.api_error());
  EXPECT_EQ(create_engine_or_stub(config, loader)->name(), "stub");
}

TEST(Fallbacks, CoreStartsWithTheStubWhenTheModelIsBad) {
  TempDir dir;
  {
    std::ofstream toml(dir.path() / "config.toml");
    toml << "[engine]\nactive = \"sense\"\n[models]\ndir = \""
         << toml_path(test_models() / "sense-no-metadata") << "\"\n";
  }
  Core core(dir.path());
  EXPECT_EQ(core.shared().engine.name(), "stub");
  EXPECT_EQ(core.shared().config.snapshot()->engine_active, "sense");  // the file keeps its choice
}

TEST(Fallbacks, CoreStartsWithTheConfiguredEngine) {
  TempDir dir;
  {
    std::ofstream toml(dir.path() / "config.toml");
    toml << "[engine]\nactive = \"sense\"\nnum_threads = 1\n[models]\ndir = \""
         << toml_path(test_models() / "sense") << "\"\n";
  }
  Core core(dir.path());
  EXPECT_EQ(core.shared().engine.name(), "sense");
}

// What the first dictation would build is built in the background after start: it finds the
// detector ready, and no dictation after it builds another.
TEST(WarmUp, TheFirstDictationAfterStartBuildsNoDetector) {
  TempDir dir;
  {
    std::ofstream toml(dir.path() / "config.toml");
    toml << "[engine]\nactive = \"sense\"\nnum_threads = 1\n[models]\ndir = \""
         << toml_path(test_models() / "sense") << "\"\nvad = \"" << toml_path(real_vad_model())
         << "\"\n";
  }
  Core core(dir.path());
  const auto& speech = dynamic_cast<const EngineSpeechBackend&>(*core.shared().speech);
  // Only a bound on the wait: a sanitizer build on a loaded machine takes many seconds to build
  // and validate the detector.
  for (int i = 0; i < 6000 && speech.vad_pool().built() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(speech.vad_pool().built(), 1u);
  const kesu::ConfigPtr config = core.shared().config.snapshot();
  for (int i = 0; i < 2; ++i) {
    const SegmentedDecode decoded =
        core.shared().speech->decode_segments(test_recording("speech-two.wav"), *config, {});
    EXPECT_EQ(decoded.segments.size(), 2u);
  }
  EXPECT_EQ(speech.vad_pool().built(), 1u);
}

// A recognition engine slow enough for the threads to queue up behind the lock.
class SlowEngine final : public Engine {
 public:
  std::string_view name() const override { return "slow"; }
  EngineResult recognise(std::span<const float>) override {
    const int now_inside = ++inside_;
    if (now_inside > 1) overlapped_ = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    --inside_;
    return {"x", {}};
  }
  std::atomic<int> inside_{0};
  std::atomic<bool> overlapped_{false};
};

TEST(EngineLock, ConcurrentRecognitionIsSerialisedAndWaitsAreReported) {
  auto slow = std::make_shared<SlowEngine>();
  EngineSlot slot(slow);
  std::atomic<double> total_wait{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        const SlotResult r = slot.recognise({});
        double seen = total_wait.load();
        while (!total_wait.compare_exchange_weak(seen, seen + r.wait_ms)) {
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(slow->overlapped_);
  EXPECT_GT(total_wait.load(), 0.0);
}

TEST(EngineLock, RealRecognisersShareTheLockAcrossThreadsAndAgree) {
  TempDir dir;
  EngineCreation created =
      create_sense_engine(test_models() / "sense", 1, ModelLoader::for_core(dir.path()));
  ASSERT_TRUE(created) << user_message(created.error());
  EngineSlot slot(*created);
  const std::vector<float> speech = test_recording("speech-two.wav");
  const std::string expected = slot.recognise(speech).recognition.text;
  std::atomic<int> disagreements{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i) {
        if (slot.recognise(speech).recognition.text != expected) ++disagreements;
      }
    });
  }
  // The switch takes the same lock as the recognisers.
  slot.replace(*created);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(disagreements.load(), 0);
  EXPECT_EQ(slot.name(), "sense");
}
