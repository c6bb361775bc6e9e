#pragma once

// Putting a dictated text into the target application and checking that it arrived.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "inject/insert_platform.h"

namespace kesu::shell {

struct InsertOutcome {
  std::string status;  // "ok", "unknown" or "undelivered"
  std::string detail;  // empty for "ok"
};

struct InsertContext {
  InsertPlatform& platform;
  UiAutomation& uia;
  // Diagnostic lines of KESU_INJECT_DEBUG; empty when it is off.
  std::function<void(std::string_view)> debug;
};

// Text with every Unicode white-space character removed.
std::string strip_white_space(std::string_view text);
bool is_plain_edit_class(std::string_view class_name);
bool is_desktop_class(std::string_view class_name, std::string_view image_name);

// Put the text on the clipboard: up to 10 attempts to open it, 20 ms apart.
bool set_clipboard_text(InsertPlatform& platform, std::string_view text);
std::optional<std::string> read_focused_text(InsertContext& ctx);

// How often the text already shows in the control before inserting: a verification then
// needs one occurrence more, so words that were there before do not count as delivered.
struct Baseline {
  std::size_t needle = 0;  // the text without white space
  std::size_t prefix = 0;  // its first 8 characters
  std::size_t head = 0;    // the text's first 8 characters, white space kept
};
Baseline baseline_of(std::string_view text, const std::optional<std::string>& control);
// 0 found, 1 read but not found, 2 nothing readable.
int verify(InsertContext& ctx, std::string_view text, const Baseline& before);

InsertOutcome insert_text(InsertContext& ctx, std::string_view text, std::string_view mode,
                          WindowId target);

}  // namespace kesu::shell
