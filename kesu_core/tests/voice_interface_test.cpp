// Voice lock through the C interface: its state and clearing the voice print.

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;

TEST(VoiceInterface, StateBeforeAndAfterAVoicePrintAppears) {
  ScopedCore sc;
  const Json before = Json::parse(CoreString(kesu_voice_state(sc.core)).str());
  EXPECT_EQ(before["enrolled"], false);
  EXPECT_EQ(before["dim"], 0);
  EXPECT_EQ(before["created"], "");
  EXPECT_EQ(before["enabled"], false);
  EXPECT_EQ(before["model_ready"], false);
  EXPECT_EQ(before["threshold"].get<double>(), 0.6200000047683716);
  const std::string text = CoreString(kesu_voice_state(sc.core)).str();
  EXPECT_NE(text.find("\"threshold\":0.6200000047683716"), std::string::npos) << text;
  const std::filesystem::path model = before["model_path"].get<std::string>();
  EXPECT_EQ(model.filename(), "3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx");

  std::ofstream(sc.dir.path() / "voice_print.bin")
      << R"({"model":"3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx","dim":3,)"
         R"("created":"2026-12-10 09:30:00","vec":[0.5,0.25,null]})";
  const Json after = Json::parse(CoreString(kesu_voice_state(sc.core)).str());
  EXPECT_EQ(after["enrolled"], true);
  EXPECT_EQ(after["dim"], 3);
  EXPECT_EQ(after["created"], "2026-12-10 09:30:00");

  char* err = nullptr;
  EXPECT_EQ(kesu_voice_clear(sc.core, &err), KESU_OK);
  EXPECT_EQ(err, nullptr);
  EXPECT_FALSE(std::filesystem::exists(sc.dir.path() / "voice_print.bin"));
  EXPECT_EQ(kesu_voice_clear(sc.core, &err), KESU_OK) << "no voice print is not an error";
  EXPECT_EQ(kesu_voice_state(nullptr), nullptr);
  EXPECT_EQ(kesu_voice_clear(nullptr, &err), KESU_ERR_ARGUMENT);
  kesu_string_free(err);
}

}  // namespace
