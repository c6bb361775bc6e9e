#include "inject/insertion.h"

#include <array>
#include <cstdio>

#include "inject/own_input.h"
#include "main/text.h"

namespace kesu::shell {

using namespace std::chrono_literals;

namespace {

constexpr char kNothingToInsert[] = "没有可上屏的文本";
constexpr char kOwnWindow[] = "焦点在 Kesu 自己的窗口上，这段话留在剪贴板里了";
constexpr char kElevated[] = "目标窗口以管理员身份运行，言至无法向它输入；文字已放剪贴板";
constexpr char kClipboardBusy[] = "写剪贴板失败（可能被别的程序占用）";
constexpr char kKeysNotSent[] = "按键没能送出去（目标窗口可能是管理员权限）";

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// Decodes one code point of valid UTF-8 at `i`, advancing it.
char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len && i + k < s.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += static_cast<std::size_t>(len);
  return c;
}

std::size_t occurrences(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

bool iequals(std::string_view a, std::string_view b) { return ascii_upper(a) == ascii_upper(b); }

std::string debug_window(WindowId w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Some(0x%llx)", static_cast<unsigned long long>(w));
  return w == 0 ? std::string("None") : std::string(buf);
}

bool blank(std::string_view text) { return strip_white_space(text).empty(); }

// Target restore, own-window and elevation checks shared by both modes; an outcome when the
// text must not be sent at all.
std::optional<InsertOutcome> prepare_target(InsertContext& ctx, WindowId target) {
  InsertPlatform& p = ctx.platform;
  if (target != 0 && target != p.foreground()) {
    p.bring_to_front(target);
    p.sleep(150ms);
  }
  const WindowId fg = p.foreground();
  if (fg != 0 && p.is_own_process(fg)) {
    const std::string cls = p.class_name(fg);
    if (cls != "KesuMini" && cls != "KesuOverlay") {
      if (ctx.debug) {
        ctx.debug("[kesu][inject] self-fg class=" + cls + " title=" + p.title(fg) +
                  " target=" + debug_window(target));
      }
      return InsertOutcome{"undelivered", kOwnWindow};
    }
  }
  if (fg != 0 && p.blocked_by_elevation(fg)) return InsertOutcome{"undelivered", kElevated};
  return std::nullopt;
}

// Whether the control now shows the text (or its first 8 characters) once more than before.
bool shows_new(std::string_view control, std::string_view needle, std::string_view prefix,
               const Baseline& before) {
  const std::string stripped = strip_white_space(control);
  return occurrences(stripped, needle) > before.needle || occurrences(stripped, prefix) > before.prefix;
}

std::optional<InsertOutcome> try_ui_automation(InsertContext& ctx, std::string_view text) {
  const UiAutomation::Value value = ctx.uia.focused_value();
  // A value pattern sets the whole value: only an empty control is written this way, so text
  // already in a field is never replaced. Others go through the clipboard.
  if (!value.has_pattern || value.read_only || !value.current || !value.current->empty()) {
    return std::nullopt;
  }
  std::string message;
  if (auto error = ctx.uia.set_focused_value(text)) {
    message = "UIA 写入失败：" + *error;
  } else {
    ctx.platform.sleep(120ms);
    const UiAutomation::Value back = ctx.uia.focused_value();
    if (!back.current || back.current->find(text) != std::string::npos) return InsertOutcome{"ok", ""};
    message = "UIA 写了但回读不一致";
  }
  if (ctx.debug) ctx.debug("[kesu][inject] UIA 没成功（" + message + "），退回剪贴板路径");
  return std::nullopt;
}

InsertOutcome paste(InsertContext& ctx, std::string_view text, WindowId target) {
  InsertPlatform& p = ctx.platform;
  if (auto refused = prepare_target(ctx, target)) return *refused;
  const Baseline before = baseline_of(text, read_focused_text(ctx));
  if (auto done = try_ui_automation(ctx, text)) return *done;

  const std::optional<std::string> earlier = p.read_clipboard();
  if (!set_clipboard_text(p, text)) return {"undelivered", kClipboardBusy};
  const WindowId fg = p.foreground();
  if (ctx.debug) {
    ctx.debug("[kesu][inject] fg=" + debug_window(fg) + " pid=" + std::to_string(p.process_id(fg)) +
              " tid=" + std::to_string(p.thread_id(fg)) + " class=" + p.class_name(fg) +
              " title=" + p.title(fg));
  }
  p.sleep(60ms);
  {
    OwnInputScope own;
    p.send_key(0x11, false);
    p.sleep(15ms);
    p.send_key(0x56, false);
    p.sleep(25ms);
    p.send_key(0x56, true);
    p.sleep(15ms);
    p.send_key(0x11, true);
  }
  p.sleep(400ms);

  const std::string needle = strip_white_space(text);
  const std::string prefix = cut_chars(needle, 8);
  const auto after = read_focused_text(ctx);
  if (!after || !shows_new(*after, needle, prefix, before)) {
    // Some controls ignore the synthesised keys but take the message directly.
    const WindowId focus = p.focus_window();
    if (focus != 0 && is_plain_edit_class(p.class_name(focus)) && p.send_paste_message(focus)) {
      p.sleep(300ms);
      (void)read_focused_text(ctx);
    }
  }
  p.sleep(120ms);
  if (ctx.debug) {
    const WindowId now = p.foreground();
    ctx.debug("[kesu][inject] after-paste fg=" + debug_window(now) + " class=" + p.class_name(now));
  }

  const int v = verify(ctx, text, before);
  if (v == 0) {
    // The user's own clipboard text comes back once the dictation is safely in place.
    if (earlier && *earlier != text) (void)set_clipboard_text(p, *earlier);
    return {"ok", ""};
  }
  if (v == 2) {
    return {"unknown", "已发送粘贴，但读不到目标输入框，无法确认是否落进去（文字在剪贴板里）"};
  }
  const auto again = read_focused_text(ctx);
  const std::string head = cut_chars(text, 8);
  if (!again || occurrences(*again, head) <= before.head) {
    return {"unknown", "已发送粘贴，但输入框里没看到这段文字（目标可能不吃 Ctrl+V）"};
  }
  return {"unknown", "只看到这段文字的一部分落进输入框，可能没粘全"};
}

InsertOutcome type_text(InsertContext& ctx, std::string_view text, WindowId target) {
  InsertPlatform& p = ctx.platform;
  if (auto refused = prepare_target(ctx, target)) return *refused;
  const WindowId fg = p.foreground();
  if (is_desktop_class(p.class_name(fg), p.image_name(fg))) {
    return {"undelivered", "焦点在桌面或任务栏上：先把光标放进要写字的输入框，再说一次"};
  }
  const WindowId focus = p.focus_window();
  if (ctx.debug) {
    ctx.debug("[kesu][inject] type fg_class=" + p.class_name(fg) + " fg_title=" + p.title(fg) +
              " focus_class=" + (focus == 0 ? std::string("None") : "Some(\"" + p.class_name(focus) + "\")"));
  }
  const Baseline before = baseline_of(text, read_focused_text(ctx));
  const std::u16string units = utf8_to_utf16(text);
  if (focus != 0) {
    if (is_desktop_class(p.class_name(focus), p.image_name(focus))) {
      return {"undelivered", "焦点在桌面或任务栏上：先把光标放到要写字的输入框，再说一次"};
    }
    unsigned posted = 0;
    {
      OwnInputScope own;
      for (char16_t unit : units) {
        if (p.post_char(focus, unit)) ++posted;
        p.sleep(3ms);
      }
    }
    p.sleep(60ms);
    if (posted == 0) return {"undelivered", kKeysNotSent};
  } else {
    OwnInputScope own;
    for (std::size_t at = 0; at < units.size(); at += 8) {
      if (p.send_unicode(std::u16string_view(units).substr(at, 8)) == 0) {
        return {"undelivered", kKeysNotSent};
      }
      p.sleep(8ms);
    }
    p.sleep(60ms);
  }
  if (blank(text)) return {"ok", ""};
  // A target that cannot be read is trusted when typing.
  if (verify(ctx, text, before) == 1) {
    return {"unknown",
            "已经逐字打完，但输入框里没看到这段文字（目标程序可能不收模拟键，可以改用「粘贴」）"};
  }
  return {"ok", ""};
}

}  // namespace

std::string strip_white_space(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    if (!is_white_space(next_code_point(text, i))) out.append(text.substr(start, i - start));
  }
  return out;
}

bool is_plain_edit_class(std::string_view name) {
  return iequals(name, "Edit") || ascii_upper(name).rfind("RICHEDIT", 0) == 0;
}

bool is_desktop_class(std::string_view name, std::string_view image) {
  static constexpr std::array<std::string_view, 6> kDesktop{
      "Progman", "WorkerW", "FolderView", "SysListView32", "Shell_TrayWnd", "TrayNotifyWnd"};
  for (std::string_view d : kDesktop) {
    if (iequals(name, d)) return true;
  }
  return iequals(name, "DirectUIHWND") && iequals(image, "explorer.exe");
}

bool set_clipboard_text(InsertPlatform& platform, std::string_view text) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    switch (platform.write_clipboard(text)) {
      case ClipboardWrite::Written: return true;
      case ClipboardWrite::SetFailed: return false;
      case ClipboardWrite::OpenFailed: platform.sleep(20ms); break;
    }
  }
  return false;
}

std::optional<std::string> read_focused_text(InsertContext& ctx) {
  if (const WindowId focus = ctx.platform.focus_window(); focus != 0) {
    if (auto text = ctx.platform.window_text(focus); text && !text->empty()) return text;
  }
  if (auto text = ctx.uia.focused_text(); text && !text->empty()) return text;
  return std::nullopt;
}

Baseline baseline_of(std::string_view text, const std::optional<std::string>& control) {
  if (!control) return {};
  const std::string needle = strip_white_space(text);
  const std::string stripped = strip_white_space(*control);
  return {occurrences(stripped, needle), occurrences(stripped, cut_chars(needle, 8)),
          occurrences(*control, cut_chars(text, 8))};
}

int verify(InsertContext& ctx, std::string_view text, const Baseline& before) {
  const std::string needle = strip_white_space(text);
  if (needle.empty()) return 0;
  const std::string prefix = cut_chars(needle, 8);
  bool read_any = false;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (attempt > 0) ctx.platform.sleep(70ms);
    const auto got = read_focused_text(ctx);
    if (attempt == 0 && ctx.debug) {
      ctx.debug("[kesu][inject] verify #0 got=" +
                (got ? "Some(\"" + cut_chars(*got, 40) + "\")" : std::string("None")));
    }
    if (!got) continue;
    read_any = true;
    if (shows_new(*got, needle, prefix, before)) return 0;
  }
  return read_any ? 1 : 2;
}

InsertOutcome insert_text(InsertContext& ctx, std::string_view text, std::string_view mode,
                          WindowId target) {
  if (blank(text)) return {"undelivered", kNothingToInsert};
  return mode == "paste" ? paste(ctx, text, target) : type_text(ctx, text, target);
}

}  // namespace kesu::shell
