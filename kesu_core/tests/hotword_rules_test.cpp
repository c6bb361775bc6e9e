// Hotword application and normalisation: what the user sees happen to a dictated sentence.

#include <gtest/gtest.h>

#include "hotwords/hotword_table.h"

namespace {

using kesu::HotwordRule;
using kesu::HotwordTable;

std::string apply_rules(std::vector<HotwordRule> rules, std::string_view text) {
  return HotwordTable(std::move(rules), std::nullopt).apply(text);
}

TEST(HotwordApply, RulesUsersRelyOn) {
  struct Case {
    std::vector<HotwordRule> rules;
    const char* text;
    const char* expected;
    const char* why;
  };
  const Case cases[] = {
      {{{"深度", "A"}, {"深度求索", "DeepSeek"}}, "深度求索好", "DeepSeek好", "longest first"},
      {{{"深度求索", "DeepSeek"}, {"深度", "A"}}, "深度求索好", "DeepSeek好", "file order irrelevant"},
      {{{"深度", "A"}, {"深度求索", "DeepSeek"}}, "深度学习", "A学习", "shorter rule elsewhere"},
      {{{"abc", "X"}}, "用abc吧", "用X吧", "CJK neighbours are boundaries"},
      {{{"abc", "X"}}, "abc", "X", "whole text"},
      {{{"abc", "X"}}, "abcd", "abcd", "letter after"},
      {{{"abc", "X"}}, "xabc", "xabc", "letter before"},
      {{{"abc", "X"}}, "abc1", "abc1", "digit after"},
      {{{"abc", "X"}}, "abc abc,abc", "X X,X", "blanks and punctuation are boundaries"},
      {{{"中文", "X"}}, "中文abc中文", "XabcX", "no boundary test without ASCII ends"},
      {{{"AI助手", "Copilot"}}, "xAI助手", "xAI助手", "an ASCII first character is enough"},
      {{{"a", "aa"}}, "a b", "aa b", "output is not scanned again"},
      {{{"甲乙", "乙"}, {"乙", "丙"}}, "甲乙乙", "乙丙", "replacement text never rematched"},
      {{{"Kesu", "言至"}}, "kesu", "kesu", "case-sensitive"},
      {{{"x", "1"}, {"y", "2"}, {"x", "3"}}, "x y", "1 2", "first of equal-length duplicates"},
      {{{"😀", "smile"}}, "a😀b", "asmileb", "four-byte characters"},
      {{{"abc", "X"}}, "", "", "empty text"},
      {{}, "abc", "abc", "no rules"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(apply_rules(c.rules, c.text), c.expected) << c.why;
  }
}

TEST(HotwordApply, InvalidUtf8PassesThroughUntouched) {
  EXPECT_EQ(apply_rules({{"a", "b"}}, "a\xff"), "a\xff");
}

TEST(HotwordNormalise, StableLongestFirstAndAdjacentDuplicatesDropped) {
  const std::vector<HotwordRule> out = kesu::normalise_rules({
      {"x", "1"},
      {"深度", "A"},
      {"x", "2"},  // adjacent to x → 1 after sorting: dropped
      {"y", "3"},
      {"x", "4"},  // y sits between it and the first x: kept, but x → 1 wins when applying
      {"深度求索", "DeepSeek"},
  });
  const std::vector<HotwordRule> expected = {
      {"深度求索", "DeepSeek"}, {"深度", "A"}, {"x", "1"}, {"y", "3"}, {"x", "4"}};
  EXPECT_EQ(out, expected);
  EXPECT_EQ(kesu::normalise_rules({{"x", "1"}, {"x", "1"}}).size(), 1u);
}

}  // namespace
