#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "fake_core.h"
#include "inject/insertion.h"
#include "inject/insertion_result.h"
#include "inject/recovery.h"
#include "main/text.h"
#include "temp_dir.h"

namespace kesu::shell {
namespace {

using namespace std::chrono_literals;

constexpr WindowId kNotepad = 0x10, kEdit = 0x11, kOther = 0x20, kOwn = 0x30;

// A desktop with one target window and its focused control. Keys and messages act on the
// control as a real program would; every wait is recorded instead of slept.
struct FakeDesktop : InsertPlatform {
  WindowId fg = kNotepad;
  WindowId focus = kEdit;
  std::map<WindowId, std::string> classes{{kNotepad, "Notepad"}, {kEdit, "Edit"}, {kOther, "Notepad"},
                                          {kOwn, "KesuSettingsWnd"}};
  std::map<WindowId, std::string> images;
  std::set<WindowId> own{kOwn};
  bool elevated = false;
  std::string control;        // what the focused control holds
  bool readable = true;
  bool ctrl_v_lands = true;   // the control takes the synthesised Ctrl+V
  std::size_t keep_chars = 1000;  // a field that shows only so many characters of a paste
  bool paste_message_lands = false;
  bool chars_land = true;
  bool post_ok = true;
  unsigned unicode_limit = 1000;  // events one SendInput call delivers at most
  int busy_opens = 0;          // clipboard opens that fail before one succeeds
  std::optional<std::string> clipboard;
  std::vector<int> sleeps;
  std::vector<std::string> calls;
  std::vector<std::size_t> unicode_batches;
  bool ctrl_down = false;

  WindowId foreground() override { return fg; }
  void bring_to_front(WindowId w) override {
    calls.push_back("front");
    fg = w;
  }
  std::string class_name(WindowId w) override { return classes.count(w) ? classes[w] : ""; }
  std::string title(WindowId) override { return "标题"; }
  std::uint32_t process_id(WindowId w) override { return static_cast<std::uint32_t>(w); }
  std::uint32_t thread_id(WindowId w) override { return static_cast<std::uint32_t>(w); }
  bool is_own_process(WindowId w) override { return own.count(w) > 0; }
  std::string image_name(WindowId w) override { return images.count(w) ? images[w] : "notepad.exe"; }
  bool blocked_by_elevation(WindowId) override { return elevated; }
  WindowId focus_window() override { return focus; }
  std::optional<std::string> window_text(WindowId) override {
    if (!readable || control.empty()) return std::nullopt;
    return control;
  }
  bool send_paste_message(WindowId) override {
    calls.push_back("WM_PASTE");
    if (paste_message_lands && clipboard) control += cut_chars(*clipboard, keep_chars);
    return true;
  }
  ClipboardWrite write_clipboard(std::string_view text) override {
    if (busy_opens > 0) {
      --busy_opens;
      return ClipboardWrite::OpenFailed;
    }
    clipboard = std::string(text);
    return ClipboardWrite::Written;
  }
  std::optional<std::string> read_clipboard() override { return busy_opens > 0 ? std::nullopt : clipboard; }
  bool send_key(std::uint16_t vk, bool up) override {
    calls.push_back(std::string(vk == 0x11 ? "ctrl" : "v") + (up ? "-up" : "-down"));
    if (vk == 0x11) ctrl_down = !up;
    if (vk == 0x56 && !up && ctrl_down && ctrl_v_lands && clipboard) control += cut_chars(*clipboard, keep_chars);
    return true;
  }
  unsigned send_unicode(std::u16string_view units) override {
    unicode_batches.push_back(units.size());
    const unsigned events = std::min<unsigned>(static_cast<unsigned>(units.size() * 2), unicode_limit);
    if (chars_land && events == units.size() * 2) control += utf16_to_utf8(units);
    return events;
  }
  bool post_char(WindowId, char16_t unit) override {
    if (!post_ok) return false;
    typed += unit;
    if (chars_land) control = base + utf16_to_utf8(typed);
    return true;
  }
  void sleep(std::chrono::milliseconds d) override { sleeps.push_back(static_cast<int>(d.count())); }

  std::u16string typed;
  std::string base;  // control text before the posted characters
};

struct FakeUia : UiAutomation {
  bool has_pattern = false;
  std::optional<std::string> value = "";
  bool read_back = true;
  int writes = 0;
  Value focused_value() override {
    if (writes > 0 && !read_back) return {has_pattern, false, std::nullopt};
    return {has_pattern, false, value};
  }
  std::optional<std::string> set_focused_value(std::string_view text) override {
    ++writes;
    value = std::string(text);
    return std::nullopt;
  }
  std::optional<std::string> focused_text() override { return std::nullopt; }
};

InsertOutcome run(FakeDesktop& d, FakeUia& uia, std::string_view text, std::string_view mode,
                  WindowId target = kNotepad) {
  d.base = d.control;
  InsertContext ctx{d, uia, {}};
  return insert_text(ctx, text, mode, target);
}

const std::string kText = "今天天气很好，我们去公园散步吧";

TEST(Insertion, PasteOutcomes) {
  struct Case {
    const char* name;
    std::function<void(FakeDesktop&)> setup;
    InsertOutcome expected;
  };
  const std::vector<Case> cases{
      {"Ctrl+V lands", [](FakeDesktop&) {}, {"ok", ""}},
      {"only WM_PASTE lands in an edit control",
       [](FakeDesktop& d) { d.ctrl_v_lands = false; d.paste_message_lands = true; }, {"ok", ""}},
      {"the first 8 characters are enough", [](FakeDesktop& d) { d.keep_chars = 9; },
       {"ok", ""}},
      {"nothing readable",
       [](FakeDesktop& d) { d.readable = false; },
       {"unknown", "已发送粘贴，但读不到目标输入框，无法确认是否落进去（文字在剪贴板里）"}},
      {"nothing landed", [](FakeDesktop& d) { d.ctrl_v_lands = false; d.control = "别的字"; },
       {"unknown", "已发送粘贴，但输入框里没看到这段文字（目标可能不吃 Ctrl+V）"}},
      {"the same words were already there and the paste failed",
       [](FakeDesktop& d) { d.ctrl_v_lands = false; d.control = "今天天气很好，我们去公园散步吧"; },
       {"unknown", "已发送粘贴，但输入框里没看到这段文字（目标可能不吃 Ctrl+V）"}},
      {"clipboard held open by another program", [](FakeDesktop& d) { d.busy_opens = 1000; },
       {"undelivered", "写剪贴板失败（可能被别的程序占用）"}},
      {"focus on the shell's own window", [](FakeDesktop& d) { d.fg = kOwn; },
       {"undelivered", "焦点在 Kesu 自己的窗口上，这段话留在剪贴板里了"}},
      {"elevated target", [](FakeDesktop& d) { d.elevated = true; },
       {"undelivered", "目标窗口以管理员身份运行，言至无法向它输入；文字已放剪贴板"}},
  };
  for (const Case& c : cases) {
    FakeDesktop d;
    FakeUia uia;
    c.setup(d);
    const InsertOutcome got = run(d, uia, kText, "paste", d.fg);
    EXPECT_EQ(got.status, c.expected.status) << c.name;
    EXPECT_EQ(got.detail, c.expected.detail) << c.name;
  }
}

TEST(Insertion, PartialPasteIsReportedAsSuch) {
  FakeDesktop d;
  FakeUia uia;
  d.keep_chars = 8;  // "ab cdefg" lands: its first 8 characters, not its first 8 non-blank ones
  const InsertOutcome got = run(d, uia, "ab cdefghijkl", "paste");
  EXPECT_EQ(got.detail, "只看到这段文字的一部分落进输入框，可能没粘全");
}

TEST(Insertion, PasteTimingTargetRestoreAndClipboardRestore) {
  FakeDesktop d;
  FakeUia uia;
  d.clipboard = "用户原来的剪贴板";
  d.fg = kOther;
  EXPECT_EQ(run(d, uia, kText, "paste", kNotepad).status, "ok");
  EXPECT_EQ(d.calls, (std::vector<std::string>{"front", "ctrl-down", "v-down", "v-up", "ctrl-up"}));
  EXPECT_EQ(d.sleeps, (std::vector<int>{150, 60, 15, 25, 15, 400, 120}));
  EXPECT_EQ(d.control, kText);
  EXPECT_EQ(d.clipboard, "用户原来的剪贴板");

  // A paste that could not be confirmed leaves the dictated text on the clipboard.
  FakeDesktop unread;
  unread.clipboard = "用户原来的剪贴板";
  unread.readable = false;
  EXPECT_EQ(run(unread, uia, kText, "paste").status, "unknown");
  EXPECT_EQ(unread.clipboard, kText);

  // A busy clipboard is tried 10 times, 20 ms apart.
  FakeDesktop busy;
  busy.busy_opens = 1000;
  (void)run(busy, uia, kText, "paste");
  EXPECT_EQ(busy.sleeps, std::vector<int>(10, 20));
}

TEST(Insertion, UiAutomationOnlyWritesAnEmptyControlAndNeverTheShellsOwn) {
  FakeDesktop d;
  FakeUia uia;
  uia.has_pattern = true;
  uia.read_back = false;
  EXPECT_EQ(run(d, uia, kText, "paste").status, "ok");
  EXPECT_EQ(uia.writes, 1);
  EXPECT_FALSE(d.clipboard.has_value());  // the clipboard was never touched

  FakeUia filled;
  filled.has_pattern = true;
  filled.value = "用户已经写的字";
  FakeDesktop d2;
  EXPECT_EQ(run(d2, filled, kText, "paste").status, "ok");
  EXPECT_EQ(filled.writes, 0);  // left to the clipboard path: nothing of the field is replaced

  FakeUia own;
  own.has_pattern = true;
  FakeDesktop d3;
  d3.fg = kOwn;
  EXPECT_EQ(run(d3, own, kText, "paste", 0).status, "undelivered");
  EXPECT_EQ(own.writes, 0);
}

TEST(Insertion, TypingOutcomes) {
  struct Case {
    const char* name;
    std::function<void(FakeDesktop&)> setup;
    InsertOutcome expected;
  };
  const std::vector<Case> cases{
      {"posted characters land", [](FakeDesktop&) {}, {"ok", ""}},
      {"unreadable target is trusted", [](FakeDesktop& d) { d.readable = false; }, {"ok", ""}},
      {"readable but nothing landed", [](FakeDesktop& d) { d.chars_land = false; d.control = "x"; },
       {"unknown", "已经逐字打完，但输入框里没看到这段文字（目标程序可能不收模拟键，可以改用「粘贴」）"}},
      {"every post refused", [](FakeDesktop& d) { d.post_ok = false; },
       {"undelivered", "按键没能送出去（目标窗口可能是管理员权限）"}},
      {"no focus window: SendInput", [](FakeDesktop& d) { d.focus = 0; d.readable = false; }, {"ok", ""}},
      {"no focus window, SendInput blocked", [](FakeDesktop& d) { d.focus = 0; d.unicode_limit = 0; },
       {"undelivered", "按键没能送出去（目标窗口可能是管理员权限）"}},
      {"desktop in front", [](FakeDesktop& d) { d.classes[kNotepad] = "Progman"; },
       {"undelivered", "焦点在桌面或任务栏上：先把光标放进要写字的输入框，再说一次"}},
      {"explorer's DirectUIHWND focused",
       [](FakeDesktop& d) { d.classes[kEdit] = "DirectUIHWND"; d.images[kEdit] = "Explorer.EXE"; },
       {"undelivered", "焦点在桌面或任务栏上：先把光标放到要写字的输入框，再说一次"}},
      {"another program's DirectUIHWND is fine", [](FakeDesktop& d) { d.classes[kEdit] = "DirectUIHWND"; },
       {"ok", ""}},
      {"own window", [](FakeDesktop& d) { d.fg = kOwn; },
       {"undelivered", "焦点在 Kesu 自己的窗口上，这段话留在剪贴板里了"}},
  };
  for (const Case& c : cases) {
    FakeDesktop d;
    FakeUia uia;
    c.setup(d);
    const InsertOutcome got = run(d, uia, "你好 Kesu 😀", "keystroke", d.fg);
    EXPECT_EQ(got.status, c.expected.status) << c.name;
    EXPECT_EQ(got.detail, c.expected.detail) << c.name;
  }
}

TEST(Insertion, TypingUnitsAndBatches) {
  FakeDesktop d;
  FakeUia uia;
  d.fg = kOther;
  ASSERT_EQ(run(d, uia, "你好 Kesu 😀", "keystroke", kNotepad).status, "ok");
  EXPECT_EQ(d.typed, u"你好 Kesu 😀");  // the emoji as two surrogate units
  EXPECT_EQ(d.calls.front(), "front");   // the target comes back first, as for a paste

  FakeDesktop s;
  s.focus = 0;
  s.readable = false;
  ASSERT_EQ(run(s, uia, "一二三四五六七八九十甲乙丙丁戊己庚", "keystroke").status, "ok");
  EXPECT_EQ(s.unicode_batches, (std::vector<std::size_t>{8, 8, 1}));

  for (const char* blank : {"", "  \u3000\n"}) {
    FakeDesktop b;
    EXPECT_EQ(run(b, uia, blank, "paste").detail, "没有可上屏的文本");
    EXPECT_EQ(run(b, uia, blank, "keystroke").detail, "没有可上屏的文本");
  }
}

TEST(InsertionResult, CoreHearsItAndAFailureKeepsTheTextOnTheClipboard) {
  testing::FakeCore core;
  AppState state;
  state.core = core.binding();
  struct TipOverlay : OverlayView {
    std::vector<std::string> tips;
    void show_tip(std::string_view t) override { tips.emplace_back(t); }
  } overlay;
  state.views.overlay = &overlay;
  std::vector<std::string> trace, clip, watched;
  ResultSinks sinks{[&](std::string_view t) { trace.emplace_back(t); },
                    [&](std::string_view t) { clip.emplace_back(t); return true; },
                    [&](std::string_view t) { watched.emplace_back(t); }};
  handle_insertion_result(state, {"t1-1", "你好", "", "ok"}, sinks);
  EXPECT_EQ(trace, (std::vector<std::string>{"injected-in", "injected-lock-wait", "injected-locked",
                                             "injected-submit", "injected-submitted", "injected-watch",
                                             "injected-watched", "injected-out"}));
  EXPECT_EQ(watched, std::vector<std::string>{"你好"});
  EXPECT_TRUE(clip.empty());
  handle_insertion_result(state, {"t2-2", "再见", "写剪贴板失败（可能被别的程序占用）", "undelivered"}, sinks);
  EXPECT_EQ(core.calls.back(), "submit_result t2-2 undelivered 写剪贴板失败（可能被别的程序占用）");
  EXPECT_EQ(clip, std::vector<std::string>{"再见"});
  EXPECT_EQ(overlay.tips, std::vector<std::string>{"写剪贴板失败（可能被别的程序占用）"});
}

struct RecordingTray : TrayView {
  std::vector<std::string> tips;
  void set_tooltip(std::string_view t) override { tips.emplace_back(t); }
};

TEST(Recovery, Table) {
  struct Case {
    const char* name;
    std::optional<std::string> file;  // nullopt: no pending file
    bool clipboard_works;
    bool file_left;
    std::vector<std::string> stderr_lines;
    std::vector<std::string> tooltips;
  };
  const std::vector<Case> cases{
      {"no file", std::nullopt, true, false, {}, {}},
      {"only a byte-order mark and a line break", std::string("\xEF\xBB\xBF\n"), true, false, {}, {}},
      {"text copied, file removed", std::string("\xEF\xBB\xBF 上次的话 \n"), true, false,
       {"[kesu] 恢复上次没上屏的文字 4 字（剪贴板=true）"}, {"言至：上次有 4 个字没上屏，已放剪贴板"}},
      {"clipboard locked: the file stays for the next start", std::string("上次的话"), false, true,
       {"[kesu] 恢复上次没上屏的文字 4 字（剪贴板=false）"}, {"言至：上次有 4 个字没上屏，复制失败，去托盘取回"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "pending");
    const auto file = dir.path() / "pending" / "last_result.txt";
    if (c.file) std::ofstream(file, std::ios::binary) << *c.file;
    RecordingTray tray;
    std::vector<std::string> errors, copied;
    RecoverySinks sinks{[&](std::string_view t) { copied.emplace_back(t); return c.clipboard_works; },
                        [&](std::string_view t) { errors.emplace_back(t); }, nullptr, &tray};
    Recovery recovery;
    recovery.recover_at_startup(dir.path(), sinks);
    EXPECT_EQ(std::filesystem::exists(file), c.file_left) << c.name;
    EXPECT_EQ(errors, c.stderr_lines) << c.name;
    EXPECT_EQ(tray.tips, c.tooltips) << c.name;
    if (!c.stderr_lines.empty()) {
      EXPECT_EQ(copied, std::vector<std::string>{"上次的话"}) << c.name;
    }
    // Once offered, the core's announcement of the same text changes nothing.
    recovery.on_pending_result("上次的话", sinks);
    EXPECT_EQ(tray.tips.size(), c.tooltips.size() + (c.stderr_lines.empty() ? 1 : 0)) << c.name;
  }
}

TEST(Recovery, PendingEventOfferedOncePerRun) {
  RecordingTray tray;
  std::vector<std::string> copied;
  RecoverySinks sinks{[&](std::string_view t) { copied.emplace_back(t); return true; },
                      [](std::string_view) {}, nullptr, &tray};
  Recovery recovery;
  recovery.on_pending_result(" 没上屏 ", sinks);
  recovery.on_pending_result("第二段", sinks);
  EXPECT_EQ(copied, std::vector<std::string>{" 没上屏 "});
  EXPECT_EQ(tray.tips, std::vector<std::string>{"言至：上次有 5 个字没上屏，已放剪贴板"});
}

}  // namespace
}  // namespace kesu::shell
