#include "hotwords/hotword_table.h"

#include <algorithm>

#include "util/utf8.h"

namespace kesu {
namespace {

bool is_ascii_alnum(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

}  // namespace

std::vector<HotwordRule> normalise_rules(std::vector<HotwordRule> rules) {
  std::stable_sort(rules.begin(), rules.end(), [](const HotwordRule& a, const HotwordRule& b) {
    return utf8_char_count(a.from) > utf8_char_count(b.from);
  });
  std::vector<HotwordRule> out;
  out.reserve(rules.size());
  for (HotwordRule& r : rules) {
    if (!out.empty() && out.back().from == r.from) continue;
    out.push_back(std::move(r));
  }
  return out;
}

HotwordTable::HotwordTable(std::vector<HotwordRule> rules,
                           std::optional<std::filesystem::path> path,
                           std::optional<Error> error)
    : rules_(normalise_rules(std::move(rules))), path_(std::move(path)), error_(std::move(error)) {
  compiled_.reserve(rules_.size());
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    std::u32string from = utf8_decode(rules_[i].from);
    const bool bounded = !from.empty() && (is_ascii_alnum(from.front()) || is_ascii_alnum(from.back()));
    if (!from.empty()) by_first_[from.front()].push_back(i);
    compiled_.push_back({std::move(from), bounded});
  }
}

std::string HotwordTable::apply(std::string_view text) const {
  // Invalid UTF-8 has no characters to match; it passes through untouched.
  if (text.empty() || rules_.empty() || !is_valid_utf8(text)) return std::string(text);
  const std::u32string chars = utf8_decode(text);
  const std::size_t n = chars.size();
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < n) {
    const HotwordRule* hit = nullptr;
    std::size_t hit_len = 0;
    if (auto bucket = by_first_.find(chars[i]); bucket != by_first_.end()) {
      for (std::size_t index : bucket->second) {
        const Compiled& rule = compiled_[index];
        const std::size_t len = rule.from.size();
        if (len > n - i || chars.compare(i, len, rule.from) != 0) continue;
        if (rule.word_bounded) {
          if (i > 0 && is_ascii_alnum(chars[i - 1])) continue;
          if (i + len < n && is_ascii_alnum(chars[i + len])) continue;
        }
        hit = &rules_[index];
        hit_len = len;
        break;
      }
    }
    if (hit != nullptr) {
      out += hit->to;
      i += hit_len;
    } else {
      utf8_append(out, chars[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace kesu
