#include "inject/recovery.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "main/text.h"

namespace kesu::shell {

namespace {

std::optional<std::string> read_text_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

std::string_view without_boms(std::string_view text) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  while (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  return text;
}

}  // namespace

void Recovery::offer(std::string_view text, bool copied, const RecoverySinks& sinks) {
  const std::string n = std::to_string(char_count(text));
  if (sinks.tray != nullptr) {
    sinks.tray->set_tooltip("言至：上次有 " + n + " 个字没上屏，" +
                            (copied ? "已放剪贴板" : "复制失败，去托盘取回"));
  }
  if (sinks.overlay != nullptr) {
    sinks.overlay->show_tip(copied ? "上次有一段没上屏的文字，已放剪贴板（Ctrl+V 取回）"
                                   : "上次有一段没上屏的文字，但剪贴板写不进去（托盘「复制上次结果」可再试）");
  }
}

void Recovery::recover_at_startup(const std::filesystem::path& data_dir, const RecoverySinks& sinks) {
  const std::filesystem::path file = data_dir / "pending" / "last_result.txt";
  const auto content = read_text_file(file);
  if (!content || !is_valid_utf8(*content)) return;
  const std::string text(trim(without_boms(*content)));
  std::error_code ec;
  if (text.empty()) {
    std::filesystem::remove(file, ec);
    return;
  }
  const bool copied = sinks.set_clipboard(text);
  if (copied) std::filesystem::remove(file, ec);
  offered_ = true;
  offer(text, copied, sinks);
  sinks.stderr_line("[kesu] 恢复上次没上屏的文字 " + std::to_string(char_count(text)) + " 字（剪贴板=" +
                    (copied ? "true" : "false") + "）");
}

void Recovery::on_pending_result(std::string_view text, const RecoverySinks& sinks) {
  if (offered_.exchange(true)) return;
  offer(text, sinks.set_clipboard(text), sinks);
}

}  // namespace kesu::shell
