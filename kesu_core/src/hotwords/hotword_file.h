#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hotwords/hotword_table.h"
#include "util/error.h"

namespace kesu {

// Written when hotwords.toml does not exist yet: a commented example, no rules.
extern const std::string_view kHotwordTemplate;
// Every saved file starts with the template's first two lines and an empty line.
extern const std::string_view kHotwordHeader;

std::filesystem::path hotwords_path(const std::filesystem::path& core_dir);

// Rules of a hotwords.toml text, before normalisation. A text that is not TOML is read line by
// line instead, and `error` says so.
struct HotwordParse {
  std::vector<HotwordRule> rules;
  std::optional<Error> error;  // hotwords_malformed
};
HotwordParse parse_hotwords_text(std::string_view text);

// The line-by-line reading used when the file is not valid TOML.
std::vector<HotwordRule> read_hotword_lines(std::string_view text);

// Loads the table bound to `path`; never fails. A missing file is created from the template.
HotwordTable load_hotwords(const std::filesystem::path& path);

std::string render_hotwords(const std::vector<HotwordRule>& rules);

// Rewrites the table's file in one whole-file write.
Status save_hotwords(const HotwordTable& table);

}  // namespace kesu
