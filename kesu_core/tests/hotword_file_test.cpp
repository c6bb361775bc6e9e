// hotwords.toml: first run, TOML and tolerant reading, the error text, writing and round trips;
// and the JSON forms of the exports.

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "hotwords/hotword_file.h"
#include "hotwords/hotword_json.h"
#include "support/event_recorder.h"

namespace {

namespace fs = std::filesystem;
using kesu::HotwordRule;
using kesu::HotwordTable;
using kesu_test::TempDir;
using Rules = std::vector<HotwordRule>;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_text(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(HotwordFile, MissingFileGetsTheTemplateAndAnEmptyTable) {
  TempDir dir;
  const fs::path path = kesu::hotwords_path(dir.path());
  const HotwordTable table = kesu::load_hotwords(path);
  EXPECT_TRUE(table.rules().empty());
  EXPECT_FALSE(table.error());
  EXPECT_EQ(table.path(), path);
  const std::string written = read_text(path);
  EXPECT_EQ(written.size(), 199u);
  EXPECT_EQ(written, kesu::kHotwordTemplate);
  // The template is all comments: loading it again gives no rules and no error.
  EXPECT_TRUE(kesu::load_hotwords(path).rules().empty());
  EXPECT_FALSE(kesu::load_hotwords(path).error());
}

TEST(HotwordFile, EmptyAndNonUtf8FilesGiveAnEmptyTableWithoutError) {
  TempDir dir;
  const fs::path path = kesu::hotwords_path(dir.path());
  for (std::string_view content : {std::string_view(""), std::string_view("\"\xb2\xe2\" = \"x\"\n")}) {
    write_text(path, content);
    const HotwordTable table = kesu::load_hotwords(path);
    EXPECT_TRUE(table.rules().empty());
    EXPECT_FALSE(table.error());
    EXPECT_EQ(read_text(path), content);  // left as it was
  }
}

TEST(HotwordFile, TomlRulesAreTrimmedStringsInKeyByteOrder) {
  const kesu::HotwordParse parsed = kesu::parse_hotwords_text(
      "zeta = \"Z\"\n"
      "\"C#\" = \"C Sharp\"\n"
      "\" 科苏 \" = \"　Kesu　\"\n"  // ideographic spaces count as white space too
      "count = 3\n"
      "blank = \"  \"\n"
      "alpha = \"A\"\n"
      "[section]\n"
      "inner = \"ignored\"\n");
  EXPECT_FALSE(parsed.error);
  // The raw key " 科苏 " starts with a blank, which sorts before every letter.
  const Rules expected = {{"科苏", "Kesu"}, {"C#", "C Sharp"}, {"alpha", "A"}, {"zeta", "Z"}};
  EXPECT_EQ(parsed.rules, expected);
}

TEST(HotwordFile, SyntaxErrorFallsBackToLinesAndNamesTheLine) {
  const kesu::HotwordParse parsed = kesu::parse_hotwords_text(
      "\"深度求索\" = \"DeepSeek\"\n"
      "'科苏' = 'Kesu'\n"
      "this line is broken\n"
      "\"C#\" = \"C Sharp\"\n");
  ASSERT_TRUE(parsed.error);
  EXPECT_EQ(parsed.error->code, kesu::ErrorCode::hotwords_malformed);
  EXPECT_EQ(kesu::user_message(*parsed.error),
            "文件有格式错误（第 3 行），只载入 2 条 · 点「保存热词」重写");
  const Rules expected = {{"深度求索", "DeepSeek"}, {"科苏", "Kesu"}};
  EXPECT_EQ(parsed.rules, expected);
}

// Headers the TOML parser used to assert on (aborting debug builds) are plain syntax errors.
TEST(HotwordFile, MalformedTableHeadersAreSyntaxErrors) {
  for (const char* text : {"a = \"b\"\n[.x]\n", "a = \"b\"\n[[[\n", "a = \"b\"\n[ .x]\n"}) {
    const kesu::HotwordParse parsed = kesu::parse_hotwords_text(text);
    EXPECT_EQ(parsed.rules, (Rules{{"a", "b"}})) << text;
    ASSERT_TRUE(parsed.error) << text;
    const std::string message = kesu::user_message(*parsed.error);
    EXPECT_NE(message.find("（第 2 行）"), std::string::npos) << message;
  }
}

TEST(HotwordFile, TolerantLineReading) {
  struct Case {
    const char* line;
    Rules expected;
    const char* why;
  };
  const Case cases[] = {
      {"a = b", {{"a", "b"}}, "bare texts"},
      {"  \"甲\"  =  '乙'  \r", {{"甲", "乙"}}, "quotes, blanks and CR removed"},
      {"a = b # note", {{"a", "b"}}, "comment cut"},
      {"\"C#\" = \"C Sharp\"", {}, "# inside quotes still cuts: unbalanced key"},
      {"a = \"b", {}, "unbalanced value"},
      {"no equals sign", {}, "no ="},
      {"= b", {}, "empty key"},
      {"a = ''", {}, "empty after unquoting"},
      {"a = b = c", {{"a", "b = c"}}, "first = splits"},
      {"\"x\\\"y\" = z", {{"x\\\"y", "z"}}, "no escape sequences interpreted"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kesu::read_hotword_lines(c.line), c.expected) << c.why;
  }
}

TEST(HotwordFile, WritesHeaderThenOneLinePerRule) {
  const std::string text = kesu::render_hotwords({{"deep-seek_2", "DeepSeek"}, {"科苏", "Kesu"}});
  EXPECT_EQ(text,
            "# 热词表：左边是「常被听错的说法」，右边是「正确的写法」。\n"
            "# 改完保存即生效，下一条录音就用新规则。\n"
            "\n"
            "deep-seek_2 = \"DeepSeek\"\n"
            "\"科苏\" = \"Kesu\"\n");
  EXPECT_EQ(kesu::kHotwordHeader.size(), 148u);
  EXPECT_EQ(kesu::render_hotwords({}), kesu::kHotwordHeader);
}

TEST(HotwordFile, EscapedTextsReadBackAsTheSameRules) {
  TempDir dir;
  const fs::path path = kesu::hotwords_path(dir.path());
  const Rules rules = {
      {"C\"D", "x\\y"},
      {"tab\there", "two\nlines"},  // raw control characters would break the TOML file
      {"bell\x07", "del\x7f"},
  };
  const HotwordTable table(rules, path);
  ASSERT_TRUE(kesu::save_hotwords(table).ok());
  const std::string text = read_text(path);
  EXPECT_NE(text.find("\"C\\\"D\" = \"x\\\\y\"\n"), std::string::npos) << text;
  const HotwordTable back = kesu::load_hotwords(path);
  EXPECT_FALSE(back.error()) << kesu::user_message(*back.error());
  EXPECT_EQ(back.rules(), table.rules());
}

TEST(HotwordFile, SavingNeedsAPathAndReportsWriteErrors) {
  const kesu::Status unbound = kesu::save_hotwords(HotwordTable({{"a", "b"}}, std::nullopt));
  ASSERT_FALSE(unbound.ok());
  EXPECT_EQ(kesu::user_message(unbound.error()), "这份热词表没有绑定文件路径");
  TempDir dir;
  const kesu::Status unwritable =
      kesu::save_hotwords(HotwordTable({{"a", "b"}}, dir.path() / "no" / "such.toml"));
  ASSERT_FALSE(unwritable.ok());
  const std::string message = kesu::user_message(unwritable.error());
  EXPECT_EQ(message.rfind("写热词表失败：", 0), 0u) << message;
}

TEST(HotwordJson, OutputHasSortedKeysAndOptionalMembers) {
  EXPECT_EQ(kesu::hotwords_to_json(HotwordTable({{"a", "b"}}, std::nullopt)).dump(),
            R"({"rules":[{"from":"a","to":"b"}]})");
  const HotwordTable with_all(
      {}, fs::path("/d/hotwords.toml"),
      kesu::Error{kesu::ErrorCode::hotwords_malformed, kesu::detail_parts({"4", "0"})});
  EXPECT_EQ(kesu::hotwords_to_json(with_all).dump(),
            R"({"error":"文件有格式错误（第 4 行），只载入 0 条 · 点「保存热词」重写",)"
            R"("path":"/d/hotwords.toml","rules":[]})");
}

TEST(HotwordJson, InputForms) {
  struct Case {
    const char* text;
    Rules expected;
  };
  const Case cases[] = {
      {"[]", {}},
      {R"({"rules": [], "other": 1})", {}},
      {R"([{"from": " a ", "to": "b"}, {"from": "x"}, {"from": "", "to": "y"}, {"from": " ", "to": "y"},
           {"from": 1, "to": "y"}, "text", null, {"from": "c", "to": "d", "extra": true}])",
       {{" a ", "b"}, {"c", "d"}}},
  };
  for (const Case& c : cases) {
    auto parsed = kesu::hotwords_from_json(c.text);
    ASSERT_TRUE(parsed.ok()) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(HotwordJson, RefusalMessages) {
  struct Case {
    const char* text;
    const char* message_start;
  };
  const Case cases[] = {
      {"[1,", "热词表格式不对："},
      {R"({"rule": []})", "热词表缺少 rules 字段"},
      {R"({"rules": {}})", "热词表缺少 rules 字段"},
      {"\"text\"", "热词表应该是数组或带 rules 的对象"},
      {"42", "热词表应该是数组或带 rules 的对象"},
      {"null", "热词表应该是数组或带 rules 的对象"},
  };
  for (const Case& c : cases) {
    auto parsed = kesu::hotwords_from_json(c.text);
    ASSERT_FALSE(parsed.ok()) << c.text;
    const std::string message = kesu::user_message(parsed.error());
    EXPECT_EQ(message.rfind(c.message_start, 0), 0u) << message;
  }
}

}  // namespace
