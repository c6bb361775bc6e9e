#include <gtest/gtest.h>

#include "events/envelope.h"

namespace {

using nlohmann::json;

TEST(Envelope, MembersAndPayloadKeysComeOutSorted) {
  const json envelope = kesu::make_envelope(
      "result", json{{"text", "好"}, {"chars", 1}, {"app", "x"}}, kesu::EventStamp{3, 7, 2});
  EXPECT_EQ(*kesu::render_event(envelope),
            R"({"generation":3,"payload":{"app":"x","chars":1,"text":"好"},"schema":1,"seq":7,"session":2,"type":"result"})");
}

TEST(Envelope, NulBytesInTextAreEscapedNeverEmbedded) {
  const json envelope =
      kesu::make_envelope("notice", json{{"message", std::string("a\0b", 3)}}, {});
  const auto text = kesu::render_event(envelope);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->find('\0'), std::string::npos);
  EXPECT_NE(text->find("a\\u0000b"), std::string::npos);
}

TEST(Envelope, InvalidUtf8InAPayloadIsReplacedNotFatal) {
  const json envelope = kesu::make_envelope("notice", json{{"message", "bad \xff"}}, {});
  EXPECT_TRUE(kesu::render_event(envelope).has_value());
}

TEST(Envelope, PayloadTextIsParsedOrBecomesAnEmptyObject) {
  EXPECT_EQ(kesu::parse_payload_text(R"({"b":1,"a":[2]})"), json({{"a", {2}}, {"b", 1}}));
  EXPECT_EQ(kesu::parse_payload_text("not json {"), json::object());
  EXPECT_EQ(kesu::parse_payload_text(""), json::object());
}

}  // namespace
