#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/error.h"

namespace kesu {

struct HotwordRule {
  std::string from;  // the text as the recogniser writes it
  std::string to;    // what to put in its place

  bool operator==(const HotwordRule&) const = default;
};

// Longest `from` first (stable, by code points), then drops a rule whose `from` equals the one
// directly before it. Non-adjacent duplicates stay; the first of them wins when applying.
std::vector<HotwordRule> normalise_rules(std::vector<HotwordRule> rules);

// An immutable, normalised hotword table with its lookup index. Built once, then shared.
class HotwordTable {
 public:
  HotwordTable() = default;
  HotwordTable(std::vector<HotwordRule> rules, std::optional<std::filesystem::path> path,
               std::optional<Error> error = std::nullopt);

  const std::vector<HotwordRule>& rules() const { return rules_; }
  const std::optional<std::filesystem::path>& path() const { return path_; }
  const std::optional<Error>& error() const { return error_; }

  // One left-to-right pass: at each position the first rule (in table order) whose `from`
  // matches wins, its `to` is copied out and never scanned again. A `from` starting or ending
  // with an ASCII letter or digit only matches as a whole word.
  std::string apply(std::string_view text) const;

 private:
  struct Compiled {
    std::u32string from;
    bool word_bounded;
  };

  std::vector<HotwordRule> rules_;
  std::optional<std::filesystem::path> path_;
  std::optional<Error> error_;  // why the file was only partly read
  std::vector<Compiled> compiled_;  // parallel to rules_
  // Rule indexes by the first code point of `from`, ascending, so table order still decides.
  std::unordered_map<char32_t, std::vector<std::size_t>> by_first_;
};

}  // namespace kesu
