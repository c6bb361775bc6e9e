// Audio through the C interface: the level meter and the device list, with the simulated
// microphone standing in for hardware.

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "kesu_core.h"
#include "support/event_recorder.h"

namespace {

using namespace kesu_test;
using namespace std::chrono_literals;

class AudioInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(sc.core, nullptr);
    rec.attach(sc.core);
    std::vector<float> tone(32000);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * static_cast<float>(std::sin(i * 0.2));
    wav = sc.dir.path() / "tone.wav";
    ASSERT_TRUE(kesu::write_wav_16k_mono(wav, tone).ok());
    set_env("KESU_MIC_WAV", sc.dir.utf8().append("/tone.wav").c_str());
  }
  void TearDown() override {
    set_env("KESU_MIC_WAV", nullptr);
    set_env("KESU_FORCE_MIC_FAIL_MS", nullptr);
  }

  std::size_t meter_events() {
    std::size_t n = 0;
    for (const Json& e : rec.events()) n += e["type"] == "meter";
    return n;
  }

  EventRecorder rec;
  ScopedCore sc;
  std::filesystem::path wav;
};

TEST_F(AudioInterface, MeterModeReportsLevelsUntilStopped) {
  ASSERT_EQ(kesu_meter_start(sc.core), KESU_OK);
  // A chunk shorter than the tone's period (the simulated microphone under load) can miss its
  // crest, so the event looked at is one that covered it.
  const Json loud = rec.wait_for([](const Json& e) {
    return e["type"] == "meter" && e["payload"]["rms"].get<double>() > 0.2 &&
           e["payload"]["peak"].get<double>() > 0.49;
  });
  ASSERT_FALSE(loud.is_null());
  EXPECT_EQ(loud["payload"].size(), 3u);  // rms, peak, silent
  EXPECT_EQ(loud["payload"]["silent"], false);
  EXPECT_NEAR(loud["payload"]["peak"].get<double>(), 0.5, 0.01);

  ASSERT_EQ(kesu_meter_stop(sc.core), KESU_OK);
  ASSERT_EQ(kesu_cancel(sc.core), KESU_OK);  // queued behind the stop
  std::this_thread::sleep_for(150ms);
  const std::size_t after = meter_events();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(meter_events(), after);
}

TEST_F(AudioInterface, SimulatedUnplugIsReported) {
  set_env("KESU_FORCE_MIC_FAIL_MS", "100");
  ASSERT_EQ(kesu_meter_start(sc.core), KESU_OK);
  const Json lost = rec.wait_for_error("mic_unplugged");
  ASSERT_FALSE(lost.is_null());
  EXPECT_EQ(lost["payload"]["message"], "麦克风中断了（模拟拔掉）：已保留中断前录到的内容");
}

TEST_F(AudioInterface, UnreadableSimulationFileMakesTheMicrophoneUnavailable) {
  set_env("KESU_MIC_WAV", sc.dir.utf8().append("/missing.wav").c_str());
  ASSERT_EQ(kesu_meter_start(sc.core), KESU_OK);
  const Json error = rec.wait_for_error("mic_unavailable");
  ASSERT_FALSE(error.is_null());
  EXPECT_EQ(error["payload"]["message"].get<std::string>().rfind("读取 WAV 失败：", 0), 0u);
  EXPECT_EQ(error["payload"]["device_missing"], false);
}

TEST_F(AudioInterface, DeviceListNamesTheSimulatedMicrophone) {
  const Json list = Json::parse(CoreString(kesu_list_devices(sc.core)).str());
  EXPECT_EQ(list["devices"], Json::array({"模拟麦克风（KESU_MIC_WAV）"}));
  EXPECT_EQ(list["default"], "模拟麦克风（KESU_MIC_WAV）");
  EXPECT_EQ(list["selected"], "");
}

TEST_F(AudioInterface, DeviceListWorksWithoutASoundServer) {
  set_env("KESU_MIC_WAV", nullptr);
  ASSERT_EQ(kesu_set_config_json(sc.core, R"({"device": "USB 麦克风"})", nullptr), KESU_OK);
  ASSERT_FALSE(rec.wait_for_type("config_changed").is_null());
  const Json list = Json::parse(CoreString(kesu_list_devices(sc.core)).str());
  EXPECT_TRUE(list["devices"].is_array());
  EXPECT_TRUE(list["default"].is_null() || list["default"].is_string());
  EXPECT_EQ(list["selected"], "USB 麦克风");
}

}  // namespace
