#include "hotwords/hotword_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <toml++/toml.h>

#include "util/atomic_file.h"
#include "util/log.h"
#include "util/toml_text.h"
#include "util/utf8.h"

namespace kesu {

namespace fs = std::filesystem;

const std::string_view kHotwordTemplate =
    "# 热词表：左边是「常被听错的说法」，右边是「正确的写法」。\n"
    "# 改完保存即生效，下一条录音就用新规则。\n"
    "#\n"
    "# \"科苏\" = \"Kesu\"\n"
    "# \"深度求索\" = \"DeepSeek\"\n";

const std::string_view kHotwordHeader =
    "# 热词表：左边是「常被听错的说法」，右边是「正确的写法」。\n"
    "# 改完保存即生效，下一条录音就用新规则。\n"
    "\n";

namespace {

bool starts_with_quote(std::string_view s) { return !s.empty() && s.front() == '"'; }
bool ends_with_quote(std::string_view s) { return !s.empty() && s.back() == '"'; }

// A half-quoted side means the line is not what it seems; tolerant reading skips it.
bool unbalanced(std::string_view s) {
  return !s.empty() && starts_with_quote(s) != ends_with_quote(s);
}

std::string unquote(std::string text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return trim_unicode(text);
}

bool is_bare_key(std::string_view key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_';
  });
}

// The parser's message with the location first, so the first "line " is always the location.
std::string describe(const toml::parse_error& e) {
  std::ostringstream out;
  const auto& begin = e.source().begin;
  if (begin.line > 0) out << "line " << begin.line << ", column " << begin.column << ": ";
  out << e.description();
  return out.str();
}

}  // namespace

fs::path hotwords_path(const fs::path& core_dir) { return core_dir / "hotwords.toml"; }

std::vector<HotwordRule> read_hotword_lines(std::string_view text) {
  std::vector<HotwordRule> rules;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::string trimmed = trim_unicode(line);
    if (trimmed.empty()) continue;
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = trim_unicode(std::string_view(trimmed).substr(0, eq));
    const std::string value = trim_unicode(std::string_view(trimmed).substr(eq + 1));
    if (unbalanced(key) || unbalanced(value)) continue;
    std::string from = unquote(key), to = unquote(value);
    if (!from.empty() && !to.empty()) rules.push_back({std::move(from), std::move(to)});
  }
  return rules;
}

HotwordParse parse_hotwords_text(std::string_view text) {
  HotwordParse result;
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    result.rules = read_hotword_lines(text);
    result.error = Error{ErrorCode::hotwords_malformed,
                         detail_parts({line_number_in(describe(e)),
                                       std::to_string(result.rules.size())})};
    return result;
  }
  // Equal-length rules apply in byte order of their raw keys, whatever order the map keeps.
  std::vector<std::pair<std::string_view, HotwordRule>> keyed;
  for (const auto& [key, node] : root) {
    const std::string* value = node.is_string() ? &node.as_string()->get() : nullptr;
    if (value == nullptr) continue;
    std::string from = trim_unicode(key.str()), to = trim_unicode(*value);
    if (!from.empty() && !to.empty()) keyed.push_back({key.str(), {std::move(from), std::move(to)}});
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [key, rule] : keyed) result.rules.push_back(std::move(rule));
  return result;
}

HotwordTable load_hotwords(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    if (Status written = write_whole_file(path, kHotwordTemplate); !written) {
      log_line("写热词表模板失败（已忽略）：" + user_message(written.error()));
    }
    return HotwordTable({}, path);
  }
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) text.clear();
  }
  if (!is_valid_utf8(text)) {
    log_line("hotwords.toml 不是 UTF-8 文本，按空表处理");
    text.clear();
  }
  HotwordParse parsed = parse_hotwords_text(text);
  return HotwordTable(std::move(parsed.rules), path, std::move(parsed.error));
}

std::string render_hotwords(const std::vector<HotwordRule>& rules) {
  std::string out(kHotwordHeader);
  for (const HotwordRule& r : rules) {
    out += is_bare_key(r.from) ? r.from : toml_basic_string(r.from);
    out += " = ";
    out += toml_basic_string(r.to);
    out += "\n";
  }
  return out;
}

Status save_hotwords(const HotwordTable& table) {
  if (!table.path()) return Error{ErrorCode::hotwords_unbound, {}};
  if (Status written = write_whole_file(*table.path(), render_hotwords(table.rules())); !written) {
    return Error{ErrorCode::hotwords_write_failed, written.error().detail};
  }
  return Status::success();
}

}  // namespace kesu
