// voice_print.bin: the exact text written, the round trip, and strict reading.

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "voice/voice_print.h"

namespace {

TEST(VoicePrint, WritesShortestFloatsAndNullForNonFinite) {
  kesu::VoicePrint print{"2026-12-10 09:30:00", {0.1f, -2.5f, 1e-7f, std::numeric_limits<float>::quiet_NaN(),
                                                 std::numeric_limits<float>::infinity()}};
  const std::string text = kesu::render_voice_print(print);
  EXPECT_EQ(text,
            R"({"model":"3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx","dim":5,)"
            R"("created":"2026-12-10 09:30:00","vec":[0.1,-2.5,1e-07,null,null]})");
  const auto back = kesu::parse_voice_print(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->created, print.created);
  ASSERT_EQ(back->vec.size(), 5u);
  EXPECT_EQ(back->vec[0], 0.1f);
  EXPECT_EQ(back->vec[2], 1e-7f);
  EXPECT_TRUE(std::isnan(back->vec[3]));
  EXPECT_TRUE(std::isnan(back->vec[4]));
}

// A file text with the right model member followed by `rest`.
std::string with_model(std::string_view rest) {
  std::string text;
  text.reserve(128 + rest.size());
  text.append(R"({"model":"3dspeaker_speech_eres2net_base_sv_zh-cn_3dspeaker_16k.onnx")");
  text.append(rest);
  return text;
}

TEST(VoicePrint, AnythingElseIsNoVoicePrint) {
  const std::vector<std::string> cases = {
      "",
      "not json",
      "[]",
      with_model(R"(,"dim":3,"created":"x","vec":[1,2]})"),        // dim disagrees
      with_model(R"(,"dim":1,"created":"x","vec":["1"]})"),        // not a number
      with_model(R"(,"dim":-1,"created":"x","vec":[]})"),         // negative
      R"({"model":"other.onnx","dim":0,"created":"x","vec":[]})",                  // other model
      with_model(R"(,"dim":0,"created":"x","vec":[],"extra":1})"),  // extra member
      with_model(R"(,"dim":0,"vec":[]})"),                         // missing member
  };
  for (const std::string& text : cases) EXPECT_FALSE(kesu::parse_voice_print(text)) << text;
}

}  // namespace
