#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "main/logs.h"
#include "main/text.h"
#include "temp_dir.h"

using namespace kesu::shell;

namespace {

std::string read(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(Text, Utf16RoundTripReplacesInvalidInput) {
  EXPECT_EQ(utf16_to_utf8(utf8_to_utf16("你好 Kesu 😀")), "你好 Kesu 😀");
  EXPECT_EQ(sanitize_utf8("a\xE4\xBD"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(utf16_to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
  EXPECT_EQ(cut_chars("言至言至", 3), "言至言");
  EXPECT_EQ(trim("\u3000 a b \t"), "a b");
}

TEST(MainLog, ShortensAtALineBoundaryNeverInsideACharacter) {
  // 600,000 bytes of three-byte characters: the raw cut point falls inside one.
  std::string line;
  for (int i = 0; i < 33; ++i) line += "言";
  line += "\n";  // 100 bytes per line
  std::string content;
  while (content.size() < 600000) content += line;
  content += "言x";  // shifts the raw cut point into the middle of a character
  ASSERT_EQ(static_cast<unsigned char>(content[content.size() - kMainLogKeep]) & 0xC0, 0x80);

  const auto kept = shortened_main_log(content);
  ASSERT_TRUE(kept);
  EXPECT_TRUE(is_valid_utf8(*kept));
  EXPECT_EQ(kept->substr(0, 3), "言");
  EXPECT_LE(kept->size(), kMainLogKeep);
  EXPECT_FALSE(shortened_main_log(std::string(kMainLogLimit, 'x')));

  // Without any line break the cut still lands on a character boundary.
  std::string no_breaks;
  while (no_breaks.size() < 600000) no_breaks += "言";
  EXPECT_TRUE(is_valid_utf8(*shortened_main_log(no_breaks)));
}

TEST(MainLog, AppendShortensAnOversizedFileFirst) {
  TempDir dir;
  {
    std::ofstream out(dir.path() / "kesu-cli.log", std::ios::binary);
    for (int i = 0; i < 7000; ++i) out << std::string(99, 'a') << '\n';
  }
  append_main_log(dir.path(), "最后一行");
  const std::string content = read(dir.path() / "kesu-cli.log");
  EXPECT_LE(content.size(), kMainLogKeep + 20);
  EXPECT_EQ(content.substr(content.size() - 13), "最后一行\n");
  EXPECT_EQ(content[0], 'a');
}

TEST(ErrorLog, MessageIsFirstLineCutTo120Characters) {
  EXPECT_EQ(error_log_message("第一行\n第二行\n第三行"), "第一行");
  std::string long_line;
  for (int i = 0; i < 200; ++i) long_line += "错";
  EXPECT_EQ(error_log_message(long_line), cut_chars(long_line, 120));
}

TEST(ErrorLog, TrimsToTheTailAtALineBoundaryPastItsLimit) {
  const std::string line(100, 'x');
  std::string old;
  while (old.size() + 101 <= kErrorLogLimit) old += line + "\n";
  const std::string small = next_error_log("a\n", "b\n");
  EXPECT_EQ(small, "a\nb\n");
  std::string added(201, 'n');
  added.back() = '\n';
  const std::string next = next_error_log(old, added);
  EXPECT_LE(next.size(), kErrorLogKeep + added.size());
  EXPECT_EQ(next.substr(0, 101), line + "\n");
  EXPECT_EQ(next.substr(next.size() - added.size()), added);
}

TEST(ErrorLog, StampIsUtc8AndClampsBefore1970) {
  using namespace std::chrono;
  EXPECT_EQ(utc8_stamp(system_clock::time_point{}), "19700101-080000");
  EXPECT_EQ(utc8_stamp(system_clock::time_point{} - hours(48)), "19700101-080000");
  // 2024-02-29 16:30:05 UTC is 2024-03-01 00:30:05 in UTC+8.
  EXPECT_EQ(utc8_stamp(sys_days{year{2024} / 2 / 29} + hours(16) + minutes(30) + seconds(5)),
            "20240301-003005");

  TempDir dir;
  write_error_log(dir.path(), "no_audio", "听不到", sys_days{year{2024} / 1 / 1});
  EXPECT_EQ(read(dir.path() / "kesu-errors.log"), "20240101-080000\tno_audio\t听不到\n");
}

TEST(ErrorLog, ListKeepsTheLatestTwenty) {
  ErrorList list;
  for (int i = 0; i < 25; ++i) list.push("c" + std::to_string(i), "m");
  const auto entries = list.snapshot();
  ASSERT_EQ(entries.size(), 20u);
  EXPECT_EQ(entries.front().first, "c5");
  EXPECT_EQ(entries.back().first, "c24");
}
