// The speaker filters' decisions, with embeddings chosen by the test: each segment's first sample
// says which voice it is (0: none measurable, 1: the user, 2: someone else).

#include <optional>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "voice/voice_filter.h"

namespace {

const std::vector<float> kUser = {1.0f, 0.0f};
const std::vector<float> kOther = {0.0f, 1.0f};

std::optional<kesu::Embedding> embed(std::span<const float> s) {
  if (s.empty() || s[0] == 0.0f) return std::nullopt;
  return s[0] == 1.0f ? kUser : kOther;
}

// Segments of `seconds` each, spoken by the voices given.
struct Recording {
  std::vector<std::vector<float>> audio;
  std::vector<std::span<const float>> spans;
  Recording(std::initializer_list<std::pair<int, float>> parts) {
    for (const auto& [voice, seconds] : parts) {
      audio.emplace_back(static_cast<std::size_t>(seconds * 16000), static_cast<float>(voice));
    }
    for (const auto& a : audio) spans.emplace_back(a);
  }
};

TEST(Similarity, Cases) {
  EXPECT_FLOAT_EQ(kesu::similarity(std::vector<float>{1, 2}, std::vector<float>{2, 4}), 1.0f);
  EXPECT_FLOAT_EQ(kesu::similarity(kUser, kOther), 0.0f);
  EXPECT_EQ(kesu::similarity(std::vector<float>{1, 2}, std::vector<float>{1}), 0.0f);
  EXPECT_EQ(kesu::similarity(std::vector<float>{}, std::vector<float>{}), 0.0f);
  EXPECT_EQ(kesu::similarity(std::vector<float>{0, 0}, std::vector<float>{1, 1}), 0.0f);
}

TEST(VoiceLock, DropsOtherVoicesUnlessTheVoicePrintSeemsWrong) {
  struct Case {
    Recording recording;
    std::vector<bool> keep;
    const char* line;
  };
  const Case cases[] = {
      {Recording{{1, 1}, {2, 1}, {1, 1}, {2, 1}}, {true, true, true, true},
       "[kesu][voice] 声纹过滤掉 2/4 段，疑似不认你的声音，改为整段重识别"},
      {Recording{{1, 1}, {2, 1}, {1, 1}, {2, 1}, {1, 1}}, {true, false, true, false, true},
       "[kesu][voice] 声纹过滤掉 2/5 段"},
      {Recording{{2, 1}, {2, 1}}, {false, false}, "[kesu][voice] 声纹过滤掉 2/2 段"},
      {Recording{{1, 1}, {0, 1}}, {true, true}, ""},
  };
  for (const Case& c : cases) {
    const kesu::FilterOutcome out = kesu::apply_voice_lock(c.recording.spans, kUser, 0.62f, embed);
    EXPECT_EQ(out.keep, c.keep) << c.line;
    EXPECT_EQ(out.log_line, c.line);
  }
}

TEST(SourceLock, LocksOnTheFirstMeasurableVoice) {
  // A short opening is dropped before any lock; afterwards short pieces pass.
  const Recording r{{2, 0.5f}, {0, 1}, {1, 2}, {2, 1}, {1, 0.3f}, {1, 1}};
  const kesu::FilterOutcome out = kesu::apply_source_lock(r.spans, 0.62f, embed);
  EXPECT_EQ(out.keep, (std::vector<bool>{false, true, true, false, true, true}));
  EXPECT_EQ(out.log_line, "[kesu][sourcelock] 锁定第 1 段；留下 2 段、跳过 1 段");
}

TEST(SourceLock, FollowsAnotherVoiceThatPersistsForEightSeconds) {
  const Recording r{{1, 2}, {2, 3}, {2, 3}, {2, 2.5f}, {2, 1}, {1, 1}};
  const kesu::FilterOutcome out = kesu::apply_source_lock(r.spans, 0.62f, embed);
  // 3 + 3 s are dropped; at 8.5 s the lock moves to the other voice, which is kept from then on.
  EXPECT_EQ(out.keep, (std::vector<bool>{true, false, false, true, true, false}));
  EXPECT_EQ(out.log_line, "[kesu][sourcelock] 锁定第 4 段；留下 2 段、跳过 3 段");
}

}  // namespace
