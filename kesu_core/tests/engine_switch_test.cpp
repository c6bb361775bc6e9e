// kesu_set_engine and the worker's engine switch, through the C interface.

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"
#include "support/test_models.h"

using namespace kesu_test;

namespace {

// A core whose config.toml starts with `engine` and the given model folders.
struct SwitchCore {
  SwitchCore(const char* engine, const std::filesystem::path& sense,
             const std::filesystem::path& qwen3) {
    std::ofstream toml(dir.path() / "config.toml");
    toml << "[engine]\nactive = \"" << engine << "\"\nnum_threads = 1\n[models]\ndir = \""
         << toml_path(sense) << "\"\nqwen3 = \"" << toml_path(qwen3) << "\"\n";
    toml.close();
    core = kesu_core_new(dir.utf8().c_str());
    events.attach(core);
  }
  ~SwitchCore() { kesu_core_free(core); }

  std::string config_file() const {
    std::ifstream in(dir.path() / "config.toml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  EventRecorder events;
  TempDir dir;
  KesuCore* core = nullptr;
};

// Building an engine starts the model checker; sanitizer builds make that slow.
Json wait_for_code(EventRecorder& events, const std::string& code) {
  return events.wait_for(
      [&](const Json& e) { return e["type"] == "error" && e["payload"]["code"] == code; },
      std::chrono::seconds(120));
}

}  // namespace

TEST(EngineSwitch, NamesAndMissingModelsAreRefusedBeforeAnythingIsPosted) {
  SwitchCore sc("stub", test_models() / "sense", test_models() / "no-qwen3-here");
  EXPECT_EQ(kesu_set_engine(sc.core, "Sense"), KESU_ERR_ARGUMENT);
  EXPECT_EQ(kesu_set_engine(sc.core, nullptr), KESU_ERR_ARGUMENT);
  EXPECT_EQ(kesu_set_engine(nullptr, "stub"), KESU_ERR_ARGUMENT);
  EXPECT_EQ(kesu_set_engine(sc.core, "qwen3"), KESU_ERR_MODEL_MISSING);
  // Round trip through the worker: nothing of the refused calls reached it.
  ASSERT_EQ(kesu_set_engine(sc.core, "stub"), KESU_OK);
  EXPECT_FALSE(wait_for_code(sc.events, "engine_ready").is_null());
  for (const Json& e : sc.events.events()) {
    EXPECT_NE(e["payload"].value("code", ""), "model_missing");
  }
  EXPECT_NE(sc.config_file().find("active = \"stub\""), std::string::npos);
}

TEST(EngineSwitch, SuccessSavesTheChoiceAndAnnouncesIt) {
  SwitchCore sc("stub", test_models() / "sense", test_models() / "qwen3-empty");
  ASSERT_EQ(kesu_set_engine(sc.core, "sense"), KESU_OK);
  const Json ready = wait_for_code(sc.events, "engine_ready");
  ASSERT_FALSE(ready.is_null());
  EXPECT_EQ(ready["payload"]["message"], "已切换到 sense，下次录音生效");
  const Json changed = sc.events.wait_for_type("config_changed");
  ASSERT_FALSE(changed.is_null());
  EXPECT_EQ(changed["payload"]["engine"], "sense");
  EXPECT_NE(sc.config_file().find("active = \"sense\""), std::string::npos);
}

TEST(EngineSwitch, FailureKeepsTheOldEngineAndSetting) {
  SwitchCore sc("stub", test_models() / "sense", test_models() / "qwen3-empty");
  ASSERT_EQ(kesu_set_engine(sc.core, "qwen3"), KESU_OK);
  const Json failed = wait_for_code(sc.events, "engine_switch_failed");
  ASSERT_FALSE(failed.is_null());
  EXPECT_EQ(failed["payload"]["message"],
            "切换引擎失败：Qwen3 recognizer 创建失败（模型损坏或内存不足）");
  // A later round trip shows the setting went back to the engine still in use.
  ASSERT_EQ(kesu_set_engine(sc.core, "stub"), KESU_OK);
  ASSERT_FALSE(wait_for_code(sc.events, "engine_ready").is_null());
  EXPECT_NE(sc.config_file().find("active = \"stub\""), std::string::npos);
  for (const Json& e : sc.events.events()) {
    if (e["type"] == "config_changed") {
      EXPECT_EQ(e["payload"]["engine"], "stub");
    }
  }
}
