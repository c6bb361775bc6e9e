#include <gtest/gtest.h>

#include "util/utf8.h"

namespace {

TEST(Utf8, StrictValidation) {
  struct Case {
    const char* bytes;
    bool valid;
    const char* why;
  };
  const Case cases[] = {
      {"", true, "empty"},
      {"plain ascii", true, "ascii"},
      {"言至 Kesu 😀", true, "2-, 3- and 4-byte forms"},
      {"\xc3\xa9", true, "é"},
      {"\xc0\xaf", false, "overlong slash"},
      {"\xe0\x80\xaf", false, "overlong 3-byte"},
      {"\xed\xa0\x80", false, "UTF-16 surrogate"},
      {"\xf4\x90\x80\x80", false, "above U+10FFFF"},
      {"\xe4\xbd", false, "truncated sequence"},
      {"\x80", false, "lone continuation byte"},
      {"\xff", false, "never valid"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::is_valid_utf8(c.bytes), c.valid) << c.why;
  }
}

TEST(Utf8, CountsCodePoints) {
  EXPECT_EQ(kesu::utf8_char_count("你好，world😀"), 9u);
  EXPECT_EQ(kesu::utf8_char_count(""), 0u);
}

}  // namespace
