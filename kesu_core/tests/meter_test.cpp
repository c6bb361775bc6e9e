#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "audio/capture_sim.h"
#include "audio/meter.h"
#include "support/event_recorder.h"

#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(Meter, LevelsOfKnownSignals) {
  std::vector<float> sine(16000);
  for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 1000 * i / 16000.0));
  const kesu::MeterLevels full = kesu::meter_levels(sine);
  EXPECT_NEAR(full.rms, std::sqrt(0.5), 1e-3);
  EXPECT_NEAR(full.peak, 1.0, 1e-3);
  EXPECT_FALSE(full.silent);

  const kesu::MeterLevels quiet = kesu::meter_levels(std::vector<float>(4000, 0.002f));
  EXPECT_NEAR(quiet.rms, 0.002, 1e-9);
  EXPECT_TRUE(quiet.silent);  // below 0.003

  const kesu::MeterLevels none = kesu::meter_levels({});
  EXPECT_EQ(none.rms, 0);
  EXPECT_TRUE(none.silent);
}

TEST(Meter, OnlyTheLast2400SamplesCount) {
  std::vector<float> samples(10000, 0.9f);
  std::fill(samples.end() - 2400, samples.end(), 0.1f);
  const kesu::MeterLevels levels = kesu::meter_levels(samples);
  EXPECT_NEAR(levels.peak, 0.1, 1e-6);
  EXPECT_NEAR(levels.rms, 0.1, 1e-6);
  // A short recording uses all it has.
  EXPECT_NEAR(kesu::meter_levels(std::vector<float>{0.5f, -0.5f}).rms, 0.5, 1e-9);
}

TEST(Meter, PacerAllowsOneEventPer66ms) {
  kesu::MeterPacer pacer;
  const auto t0 = std::chrono::steady_clock::time_point{} + 10s;
  EXPECT_TRUE(pacer.due(t0));
  EXPECT_FALSE(pacer.due(t0 + 65ms));
  EXPECT_TRUE(pacer.due(t0 + 66ms));
  EXPECT_FALSE(pacer.due(t0 + 100ms));
}

TEST(SimulatedMicrophone, SamplesArriveAtTheChosenSpeed) {
  struct Case {
    std::chrono::milliseconds elapsed;
    double speed;
    std::size_t expected;
  };
  const std::size_t total = 8 * 16000;  // an 8-second file
  const Case cases[] = {
      {0ms, 1.0, 0},
      {1000ms, 1.0, 16000},
      {500ms, 4.0, 32000},
      {2000ms, 4.0, total},   // at 4× the whole file is in after 2 s
      {9000ms, 1.0, total},   // never more than the file
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::simulated_samples_due(c.elapsed, c.speed, total), c.expected)
        << c.elapsed.count() << " ms at " << c.speed;
  }
}

}  // namespace

namespace {

TEST(SimulatedMicrophone, SpeedComesFromTheEnvironmentWhenSensible) {
  struct Case {
    const char* value;
    double speed;
  };
  const Case cases[] = {{nullptr, 1.0}, {"4", 4.0}, {"0.5", 0.5}, {"0.1", 1.0},
                        {"-3", 1.0},   {"fast", 1.0}, {"2x", 1.0}};
  for (const Case& c : cases) {
    kesu_test::set_env("KESU_SIM_SPEED", c.value);
    EXPECT_EQ(kesu::simulation_speed_from_env(), c.speed) << (c.value ? c.value : "unset");
  }
  kesu_test::set_env("KESU_SIM_SPEED", nullptr);
}

TEST(SimulatedMicrophone, FeedsTheBufferAndForcedFailureStopsIt) {
  auto capture = kesu::make_simulated_capture(std::vector<float>(16000, 0.25f), 4.0);
  std::this_thread::sleep_for(100ms);
  EXPECT_GT(capture->buffer().size(), 0u);
  EXPECT_EQ(capture->device_name(), "模拟麦克风（KESU_MIC_WAV）");
  capture->stop();
  const std::size_t after_stop = capture->buffer().size();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(capture->buffer().size(), after_stop);

  auto failing = kesu::with_forced_failure(
      kesu::make_simulated_capture(std::vector<float>(16000, 0.25f), 1.0), 0ms);
  EXPECT_FALSE(failing->healthy());
  EXPECT_TRUE(failing->failure_simulated());
}

}  // namespace
