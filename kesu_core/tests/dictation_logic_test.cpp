// The worker's pure decisions: is there speech, and which background piece comes next.

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "pipeline/piece_planner.h"
#include "pipeline/speech_judgement.h"

namespace {

using namespace std::chrono_literals;

// A voiced sound: a tone whose loudness wanders like syllables, never falling silent.
std::vector<float> monologue(std::size_t n, float level = 0.3f) {
  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double syllable = 0.7 + 0.3 * std::sin(double(i) * 2 * std::numbers::pi / 3200.0);
    out[i] = static_cast<float>(level * syllable * std::sin(double(i) * 2 * std::numbers::pi * 220 / 16000));
  }
  return out;
}

std::vector<float> bursts(float level) {
  std::vector<float> out(16000, 0.0f);
  for (std::size_t i = 4000; i < 8000; ++i) out[i] = static_cast<float>(level * std::sin(i * 0.3));
  return out;
}

TEST(SpeechJudgement, Cases) {
  struct Case {
    const char* what;
    std::vector<float> samples;
    bool speech;
  };
  std::vector<float> hum(16000);
  for (std::size_t i = 0; i < hum.size(); ++i) hum[i] = static_cast<float>(0.01 * std::sin(i * 0.3));
  const Case cases[] = {
      {"shorter than one frame", std::vector<float>(319, 0.5f), false},
      {"digital silence", std::vector<float>(16000, 0.0f), false},
      {"steady loud sound", monologue(16000), true},
      {"a whisper standing out from silence", bursts(0.01f), true},
      {"a steady quiet hum", hum, false},
      {"bursts below the audible floor", bursts(0.0005f), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::judge_speech(c.samples).speech, c.speech) << c.what;
  }
  EXPECT_NEAR(kesu::judge_speech(bursts(0.01f)).peak, 0.01f, 1e-4);
}

// Plays a recording into the planner the way the worker does, every 15 ms, with decodes that
// take no time; returns the plans in order with the recording length at which each was made.
struct Planned {
  kesu::PiecePlan plan;
  std::size_t total;
};
std::vector<Planned> play(const std::vector<float>& recording) {
  std::vector<Planned> out;
  std::size_t committed = 0;
  std::size_t next_allowed = 0;  // in samples, standing in for time
  for (std::size_t total = 240; total <= recording.size(); total += 240) {
    std::span<const float> pending(recording.data() + committed, total - committed);
    const auto plan = kesu::plan_piece(pending, committed, total >= next_allowed);
    if (!plan) continue;
    out.push_back({*plan, total});
    if (plan->final) committed = plan->to;
    next_allowed = total + 350 * 16;
  }
  return out;
}

TEST(PiecePlanner, MonologueWithoutPausesIsPreviewedThenCutIntoLongPieces) {
  const std::vector<Planned> plans = play(monologue(24 * 16000));
  std::size_t finals = 0;
  std::size_t previous_end = 0;
  for (const Planned& p : plans) {
    if (!p.plan.final) {
      EXPECT_LE(p.plan.to - p.plan.from, 80000u);
      continue;
    }
    ++finals;
    EXPECT_GE(p.total, 192000u) << "no final piece during the first 12 s";
    EXPECT_EQ(p.plan.from, previous_end) << "final pieces follow each other";
    EXPECT_GE(p.plan.to - p.plan.from, 64000u);
    if (finals > 1) {
      EXPECT_LE(p.plan.to - p.plan.from, 128000u + 240u);
    }
    previous_end = p.plan.to;
  }
  EXPECT_GE(finals, 2u);
  EXPECT_FALSE(plans.front().plan.final);
  EXPECT_EQ(plans.front().total, 12960u) << "the first preview waits for 0.8 s of audio";
}

TEST(PiecePlanner, CutsAtAPauseOnceTwelveSecondsAreRecorded) {
  std::vector<float> recording = monologue(13 * 16000);
  const std::size_t early_pause = 9 * 16000 + 3200;
  const std::size_t pause = 11 * 16000 + 3200;
  std::fill(recording.begin() + early_pause, recording.begin() + early_pause + 3200, 0.0f);
  std::fill(recording.begin() + pause, recording.begin() + pause + 3200, 0.0f);
  const auto plan = kesu::plan_piece(recording, 0, true);
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->final);
  EXPECT_EQ(plan->from, 0u);
  EXPECT_GE(plan->to, pause);
  EXPECT_LT(plan->to, pause + 3200);

  // Before 12 s the same pause only gives a preview of the last 5 s.
  std::span<const float> early(recording.data(), early_pause + 16000);
  const auto preview = kesu::plan_piece(early, 0, true);
  ASSERT_TRUE(preview);
  EXPECT_FALSE(preview->final);
  EXPECT_EQ(preview->to - preview->from, 80000u);
}

TEST(PiecePlanner, WaitsForEnoughAudioAndForTheSpacing) {
  const std::vector<float> audio = monologue(70000);
  EXPECT_FALSE(kesu::plan_piece(std::span(audio).first(12799), 0, true));
  EXPECT_TRUE(kesu::plan_piece(std::span(audio).first(12800), 0, true));
  EXPECT_FALSE(kesu::plan_piece(std::span(audio).first(63999), 0, false));
  EXPECT_TRUE(kesu::plan_piece(std::span(audio).first(64000), 0, false)) << "4 s pending skips the wait";

  EXPECT_EQ(kesu::piece_spacing(0ms), 350ms);
  EXPECT_EQ(kesu::piece_spacing(300ms), 600ms);
  EXPECT_EQ(kesu::piece_spacing(900ms), 1200ms);
}

}  // namespace
