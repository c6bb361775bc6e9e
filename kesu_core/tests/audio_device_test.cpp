// Capture from real (virtual) microphones through PulseAudio, with the code the worker uses.
// Needs the daemon of scripts/pulse-vmic.sh; without it the tests skip, unless
// KESU_REQUIRE_PULSE is set (as in CI), where a missing daemon is a failure.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "audio/capture.h"
#include "audio/wav.h"
#include "config/config_record.h"
#include "support/event_recorder.h"

namespace {

using namespace std::chrono_literals;

class VirtualMicrophone : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("KESU_PULSE_READY") == nullptr) {
      if (std::getenv("KESU_REQUIRE_PULSE") != nullptr) FAIL() << "PulseAudio test daemon not running";
      GTEST_SKIP() << "no PulseAudio test daemon (source scripts/pulse-vmic.sh start)";
    }
  }

  kesu::ConfigRecord config_for(const std::string& device) {
    kesu::ConfigRecord config = kesu::default_config(dir.path());
    config.audio_device = device;
    return config;
  }

  // espeak-ng speech at 16 kHz: the source the captured audio is compared with.
  std::vector<float> make_speech(std::string& path) {
    const std::string raw = dir.utf8() + "/speech22k.wav";
    path = dir.utf8() + "/speech.wav";
    const std::string cmd = "espeak-ng -v cmn -w '" + raw + "' '今天天气不错，我们去公园散步吧' && sox '" +
                            raw + "' -r 16000 -c 1 -b 16 '" + path + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    kesu::WavRead wav = kesu::read_wav_16k_mono(path);
    EXPECT_TRUE(wav.samples.has_value()) << (wav.error ? kesu::user_message(*wav.error) : std::string());
    return wav.samples.value_or(std::vector<float>{});
  }

  kesu_test::TempDir dir;
};

// Largest normalised cross-correlation of `b` against `a` over lags of 0..max_lag samples.
double best_correlation(const std::vector<float>& captured, const std::vector<float>& source,
                        std::size_t max_lag) {
  double best = 0;
  for (std::size_t lag = 0; lag <= max_lag && lag + source.size() / 2 < captured.size(); lag += 4) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < source.size() && lag + i < captured.size(); i += 2) {
      const double a = captured[lag + i], b = source[i];
      ab += a * b;
      aa += a * a;
      bb += b * b;
    }
    if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
  }
  return best;
}

TEST_F(VirtualMicrophone, BothMicrophonesAreListed) {
  const auto list = nlohmann::json::parse(kesu::list_input_devices_json(config_for("vmic16")));
  const auto& names = list["devices"];
  EXPECT_NE(std::find(names.begin(), names.end(), "vmic48"), names.end()) << list.dump();
  EXPECT_NE(std::find(names.begin(), names.end(), "vmic16"), names.end()) << list.dump();
  EXPECT_TRUE(list["default"].is_string());
  EXPECT_EQ(list["selected"], "vmic16");
}

TEST_F(VirtualMicrophone, SpeechIsCapturedAs16kMono) {
  std::string speech_path;
  const std::vector<float> source = make_speech(speech_path);
  ASSERT_GT(source.size(), 16000u);

  for (const char* device : {"vmic48", "vmic16"}) {
    SCOPED_TRACE(device);
    kesu::CaptureOpen opened = kesu::open_capture(config_for(device));
    ASSERT_TRUE(opened.capture) << (opened.error ? kesu::user_message(*opened.error) : std::string());
    EXPECT_EQ(opened.capture->device_name(), device);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(std::system(("paplay -d vmic_out '" + speech_path + "'").c_str()), 0);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(opened.capture->healthy()) << kesu::user_message(opened.capture->failure().value_or(kesu::Error{}));
    opened.capture->stop();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::vector<float> captured = opened.capture->buffer().take_all();

    const double seconds = captured.size() / 16000.0;
    EXPECT_NEAR(seconds, elapsed, 0.4);
    float peak = 0;
    for (const float s : captured) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.05f);
    // A wrong rate or channel mix-up drops this near zero; a loaded machine's odd dropout does not.
    EXPECT_GT(best_correlation(captured, source, 16000), 0.5);
  }
}

// Listing beside a running capture must leave the stream alone; a microphone that appears
// meanwhile is listed once no stream holds the audio library any more.
TEST_F(VirtualMicrophone, ListingBesideACaptureKeepsItRunningAndLaterSeesNewDevices) {
  const auto names = [&] {
    const auto list = nlohmann::json::parse(kesu::list_input_devices_json(config_for("")));
    return list["devices"].get<std::vector<std::string>>();
  };
  const auto has = [](const std::vector<std::string>& list, const char* name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  };
  kesu::CaptureOpen opened = kesu::open_capture(config_for("vmic16"));
  ASSERT_TRUE(opened.capture) << (opened.error ? kesu::user_message(*opened.error) : std::string());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(has(names(), "vmic16"));

  // A new input appears, as when a headset is plugged in: one more ALSA device name.
  const std::string asoundrc = std::string(std::getenv("HOME")) + "/.asoundrc";
  const std::string keep = asoundrc + ".kept";
  ASSERT_EQ(std::system(("cp '" + asoundrc + "' '" + keep + "' && echo 'pcm.vmiclate { type pulse "
                         "device \"vmic16\" hint { show on description \"LateMic\" } }' >> '" +
                         asoundrc + "'").c_str()),
            0);
  const std::size_t before = opened.capture->buffer().size();
  // The running stream's snapshot serves: the library was not restarted under it.
  const std::vector<std::string> during = names();
  EXPECT_TRUE(has(during, "vmic48"));
  EXPECT_FALSE(has(during, "vmiclate"));
  std::this_thread::sleep_for(400ms);
  EXPECT_TRUE(opened.capture->healthy()) << kesu::user_message(opened.capture->failure().value_or(kesu::Error{}));
  EXPECT_GT(opened.capture->buffer().size(), before + 3200) << "audio stopped flowing";
  opened.capture->stop();
  opened.capture.reset();

  const std::vector<std::string> after = names();
  std::rename(keep.c_str(), asoundrc.c_str());
  EXPECT_TRUE(has(after, "vmiclate"));
  EXPECT_TRUE(has(after, "vmic48"));
}

TEST_F(VirtualMicrophone, UnknownNameListsTheDevicesPresent) {
  const kesu::CaptureOpen opened = kesu::open_capture(config_for("vmic99"));
  ASSERT_FALSE(opened.capture);
  ASSERT_TRUE(opened.error);
  EXPECT_EQ(opened.error->code, kesu::ErrorCode::mic_device_missing);
  const std::string message = kesu::user_message(*opened.error);
  EXPECT_EQ(message.rfind("找不到输入设备「vmic99」：可能已断开。可用设备：", 0), 0u) << message;
  EXPECT_NE(message.find("vmic48 / "), std::string::npos) << message;
  EXPECT_NE(message.find("。在设置 → 音频 里改回系统默认即可"), std::string::npos);
}

TEST_F(VirtualMicrophone, LosingTheDeviceWhileRecordingIsNoticedAndKeepsTheAudio) {
  kesu::CaptureOpen opened = kesu::open_capture(config_for("vmic48"));
  ASSERT_TRUE(opened.capture) << (opened.error ? kesu::user_message(*opened.error) : std::string());
  std::this_thread::sleep_for(500ms);
  // The server drops our stream, as when a device is pulled or taken over. Only client streams:
  // the virtual microphones' own streams (client "-") would take the devices away for later tests.
  ASSERT_EQ(std::system("for id in $(pactl list short source-outputs | awk -F'\\t' '$3 != \"-\" {print $1}'); do "
                        "pacmd kill-source-output $id; done"),
            0);
  bool lost = false;
  for (int i = 0; i < 150 && !lost; ++i) {
    lost = !opened.capture->healthy();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(lost);
  EXPECT_TRUE(opened.capture->failure().has_value());
  opened.capture->stop();  // returns at once even now
  EXPECT_GT(opened.capture->buffer().size(), 4000u);
}

}  // namespace
