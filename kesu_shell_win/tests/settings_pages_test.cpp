#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "main/hotkey.h"
#include "settings/audio_page.h"
#include "settings/general_page.h"

namespace kesu::shell {
namespace {

using nlohmann::json;

struct Rect {
  int x, y, width, height;
  bool operator==(const Rect&) const = default;
};

Rect rect_of(const ControlSpec& c) { return {c.x, c.y, c.width, c.height}; }

const ControlSpec* by_id(const PageSpec& page, int id) {
  for (const ControlSpec& c : page.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const ControlSpec* by_text(const PageSpec& page, std::string_view text) {
  for (const ControlSpec& c : page.controls) {
    if (c.text == text) return &c;
  }
  return nullptr;
}

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// --- General page -------------------------------------------------------------------------------

TEST(GeneralSave, RecordingLimitsAreParsedAndClamped) {
  struct Case {
    const char* text;
    std::int64_t min_ms;
    std::int64_t max_secs;
  };
  const Case cases[] = {
      {"150", 200, 150},     // below the minimum's floor
      {"99999", 1500, 600},  // above both ceilings
      {"abc", 400, 120},     // not a number: the defaults
      {"", 400, 120},
      {"0", 200, 5},
      {"-3", 200, 5},
      {"601", 601, 600},
      {" +300 ", 300, 300},  // trimmed, explicit plus sign
      {"+-3", 400, 120},     // two signs
      {"12a", 400, 120},     // trailing garbage
      {"1 000", 400, 120},
      {"9223372036854775807", 1500, 600},  // the largest 64-bit value still parses
      {"9223372036854775808", 400, 120},   // one more overflows: not a number
      {"-9223372036854775808", 200, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(min_record_ms_from_text(c.text), c.min_ms) << c.text;
    EXPECT_EQ(max_record_secs_from_text(c.text), c.max_secs) << c.text;
  }
}

TEST(GeneralSave, PatchCarriesEveryGeneralSetting) {
  const GeneralSave save = general_save({.hotkey = "CTRL+ALT+SPACE",
                                         .min_record_text = "150",
                                         .max_record_text = "601",
                                         .paste_selected = false,
                                         .privacy_mode = true,
                                         .launch_at_login = false});
  EXPECT_EQ(save.hotkey, HotkeyOutcome::saved);
  ASSERT_TRUE(save.patch);
  EXPECT_EQ(*save.patch, json::parse(R"({"hotkey":"CTRL+ALT+SPACE","min_record_ms":200,
      "max_record_secs":600,"insert_mode":"keystroke","privacy_mode":true,
      "launch_at_login":false})"));
  EXPECT_TRUE(save.message.empty());
}

TEST(GeneralSave, UnparsableHotkeySavesNothingAndSaysWhy) {
  const GeneralSave save = general_save({.hotkey = "CTRL+BANANA",
                                         .min_record_text = "400",
                                         .max_record_text = "120",
                                         .paste_selected = true,
                                         .privacy_mode = false,
                                         .launch_at_login = false});
  EXPECT_EQ(save.hotkey, HotkeyOutcome::unparsable);
  EXPECT_FALSE(save.patch);
  EXPECT_EQ(
      save.message,
      "「CTRL+BANANA」这个组合键看不懂，没有保存。\n\n可用的写法：ALT_R、CTRL+ALT+SPACE、F13，"
      "或点上面的常用键。");
}

TEST(HotkeyPresets, ClearEmptiesTheControlButStoresNoKey) {
  for (const HotkeyPreset& p : kHotkeyPresets) {
    ASSERT_EQ(find_hotkey_preset(p.id), &p);
    const auto patch = hotkey_preset_patch(p);
    if (p.id == kIdPresetClear) {
      EXPECT_EQ(p.value, "");
      EXPECT_FALSE(patch) << "an empty hotkey must never reach the configuration";
    } else {
      ASSERT_TRUE(patch) << p.caption;
      EXPECT_EQ(*patch, (json{{"hotkey", std::string(p.value)}}));
      EXPECT_TRUE(parse_hotkey(p.value)) << p.value;
    }
  }
  EXPECT_EQ(find_hotkey_preset(kIdSave), nullptr);

  // With the control still empty, the page's save keeps the stored key and saves the rest:
  // "清空" no longer locks the page's other settings.
  for (const char* empty : {"", "  "}) {
    const GeneralSave save = general_save({.hotkey = empty,
                                           .min_record_text = "500",
                                           .max_record_text = "60",
                                           .paste_selected = true,
                                           .privacy_mode = false,
                                           .launch_at_login = true});
    EXPECT_EQ(save.hotkey, HotkeyOutcome::kept);
    ASSERT_TRUE(save.patch);
    EXPECT_EQ(*save.patch, json::parse(R"({"min_record_ms":500,"max_record_secs":60,
        "insert_mode":"paste","privacy_mode":false,"launch_at_login":true})"));
    EXPECT_FALSE(save.message.empty());
  }
}

TEST(PerAppSave, LinesBecomeOneObject) {
  const std::string text =
      "  NotePad.EXE   =   打字  \r\n"
      "# Code.exe=打字\r\n"
      "winword.exe\r\n"
      "=keystroke\r\n"
      "Term.exe=KeyStroke";
  EXPECT_EQ(per_app_overrides(text),
            json::parse(R"({"notepad.exe":"keystroke","term.exe":"keystroke"})"));

  struct Case {
    const char* text;
    const char* object;
  };
  const Case cases[] = {
      {"", "{}"},  // saves an empty object: every override goes
      {"\n\n  \n", "{}"},
      {"a.exe=粘贴\nA.EXE=打字", R"({"a.exe":"keystroke"})"},  // a later line wins
      {"a.exe=打字\na.exe=whatever", R"({"a.exe":"paste"})"},  // unknown words paste
      {"a.exe=", R"({"a.exe":"paste"})"},
      {"a=b=打字", R"({"a":"paste"})"},                  // the first "=" splits
      {"程序.EXE=打字", R"({"程序.exe":"keystroke"})"},  // only ASCII is lower-cased
      {"  # x.exe=打字", "{}"},                          // a comment after spaces
      {"x.exe=打字 # note", R"({"x.exe":"paste"})"},
      {"\xff.exe=打字", R"({"\ufffd.exe":"keystroke"})"},  // stays serialisable
  };
  for (const Case& c : cases) {
    EXPECT_EQ(per_app_overrides(c.text), json::parse(c.object)) << c.text;
    EXPECT_NO_THROW(per_app_patch(c.text).dump()) << c.text;
  }
  EXPECT_EQ(per_app_patch(""), json::parse(R"({"insert_per_app":{}})"));
}

TEST(GeneralPage, PerAppTextListsSortedLinesAndReadsBack) {
  const json stored = json::parse(R"({"zsh.exe":"paste","code.exe":"keystroke","b.exe":7})");
  const std::string text = per_app_text(stored);
  EXPECT_EQ(text, "b.exe=粘贴\r\ncode.exe=打字\r\nzsh.exe=粘贴");
  // Saving the page untouched stores what was shown.
  EXPECT_EQ(per_app_overrides(text),
            json::parse(R"({"b.exe":"paste","code.exe":"keystroke","zsh.exe":"paste"})"));
  EXPECT_EQ(per_app_text(json::array()), "");
}

TEST(GeneralPage, LoadWarningCutsByCharacters) {
  // CJK characters are three bytes each: a byte cut would give 30 characters, not 90.
  const std::string long_line = repeat("配", 120);
  const auto cut = load_warning_text({{"load_warning", long_line + "\n第二行"}});
  ASSERT_TRUE(cut);
  EXPECT_EQ(*cut, repeat("配", 90) + "…");

  const std::string exact = repeat("配", 90);
  EXPECT_EQ(load_warning_text({{"load_warning", exact}}), exact + "　完整原因看「诊断」页");
  EXPECT_EQ(load_warning_text({{"load_warning", "  config.toml 解析失败  \r\nmore"}}),
            "config.toml 解析失败　完整原因看「诊断」页");

  for (const json& none : {json::object(), json{{"load_warning", ""}},
                           json{{"load_warning", nullptr}}, json{{"load_warning", 3}}}) {
    EXPECT_FALSE(load_warning_text(none)) << none.dump();
    EXPECT_EQ(by_text(general_page(none), "上次加载配置时出过问题"), nullptr);
  }
  const PageSpec warned = general_page({{"load_warning", "坏了"}});
  const ControlSpec* heading = by_text(warned, "上次加载配置时出过问题");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(rect_of(*heading), (Rect{196, 524, 664, 20}));
  EXPECT_EQ(warned.controls.back().text, "坏了　完整原因看「诊断」页");
  EXPECT_EQ(warned.controls.back().y, 548);
}

TEST(GeneralPage, DefaultsForMissingOrWrongTypedKeys) {
  const json wrong = json::parse(R"({"hotkey":5,"min_record_ms":"x","max_record_secs":1.5,
      "insert_mode":true,"privacy_mode":"yes","launch_at_login":1,"insert_per_app":[]})");
  for (const json& config : {json::object(), json(), wrong, json{{"hotkey", "  "}}}) {
    const PageSpec page = general_page(config);
    EXPECT_EQ(by_id(page, kIdKeyCapture)->text, "ALT_R") << config.dump();
    EXPECT_EQ(by_id(page, kIdMinRecord)->text, "400");
    EXPECT_EQ(by_id(page, kIdMaxRecord)->text, "120");
    EXPECT_EQ(by_id(page, kIdModePaste)->kind, ControlKind::primary_button);
    EXPECT_EQ(by_id(page, kIdModeKeystroke)->kind, ControlKind::button);
    EXPECT_FALSE(by_id(page, kIdPrivacy)->on);
    EXPECT_FALSE(by_id(page, kIdLaunchAtLogin)->on);
    EXPECT_EQ(by_id(page, kIdPerApp)->text, "");
  }
}

TEST(GeneralPage, ShowsTheConfiguredValues) {
  const PageSpec page = general_page(json::parse(R"({"hotkey":"F13","min_record_ms":650,
      "max_record_secs":30,"insert_mode":"keystroke","privacy_mode":true,
      "launch_at_login":true,"insert_per_app":{"a.exe":"keystroke"}})"));
  EXPECT_EQ(by_id(page, kIdKeyCapture)->text, "F13");
  EXPECT_EQ(by_id(page, kIdMinRecord)->text, "650");
  EXPECT_EQ(by_id(page, kIdMaxRecord)->text, "30");
  EXPECT_EQ(by_id(page, kIdModePaste)->kind, ControlKind::button);
  EXPECT_EQ(by_id(page, kIdModeKeystroke)->kind, ControlKind::primary_button);
  EXPECT_TRUE(by_id(page, kIdPrivacy)->on);
  EXPECT_TRUE(by_id(page, kIdLaunchAtLogin)->on);
  EXPECT_EQ(by_id(page, kIdPerApp)->text, "a.exe=打字");
  // Only exactly "keystroke" selects typing.
  EXPECT_TRUE(initial_paste_selected({{"insert_mode", "Keystroke"}}));
}

TEST(GeneralPage, ControlsSitWhereTheLayoutPutsThem) {
  const PageSpec page = general_page(json::object());
  struct Case {
    int id;
    Rect rect;
  };
  const Case cases[] = {
      {kIdKeyCapture, {660, 88, 180, 28}},
      {kIdPresetAltRight, {500, 92, 78, 34}},
      {kIdPresetCtrlAltSpace, {588, 92, 116, 34}},
      {kIdPresetF13, {714, 92, 56, 34}},
      {kIdPresetClear, {780, 92, 60, 34}},
      {kIdMinRecord, {740, 140, 120, 28}},
      {kIdMaxRecord, {740, 184, 120, 28}},
      {kIdModePaste, {620, 228, 110, 34}},
      {kIdModeKeystroke, {738, 228, 122, 34}},
      {kIdPrivacy, {196, 280, 664, 28}},
      {kIdLaunchAtLogin, {196, 318, 664, 28}},
      {kIdSave, {764, 362, 96, 34}},
      {kIdPerApp, {196, 432, 664, 74}},
  };
  for (const Case& c : cases) {
    const ControlSpec* control = by_id(page, c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(rect_of(*control), c.rect) << c.id;
  }
  EXPECT_EQ(by_id(page, kIdSave)->kind, ControlKind::primary_button);
  EXPECT_EQ(rect_of(*by_text(page, "快捷键与拾音")), (Rect{196, 24, 664, 20}));
  EXPECT_EQ(rect_of(*by_text(page, "每行 进程名=粘贴 / 进程名=打字")), (Rect{318, 522, 420, 18}));

  // The marker follows its label.
  const auto label = std::find_if(page.controls.begin(), page.controls.end(),
                                  [](const ControlSpec& c) { return c.text == "按应用覆盖"; });
  ASSERT_NE(label, page.controls.end());
  ASSERT_NE(label + 1, page.controls.end());
  EXPECT_EQ((label + 1)->kind, ControlKind::info_marker);
  EXPECT_EQ((label + 1)->y, 408);
  EXPECT_GE((label + 1)->x, label->x + label->width);
}

// --- Audio page ---------------------------------------------------------------------------------

TEST(AudioDevices, RowsAndSelectionKeepTheConfiguredDevice) {
  const json core_form = json::parse(
      R"({"devices":["Realtek Mic","USB Headset"],"default":"Realtek Mic","selected":""})");
  const std::string placeholder(kNoDeviceRow);
  struct Case {
    const char* what;
    json config;
    json devices;
    std::vector<std::string> rows;
    int selected;
    std::string saves;  // the device a save stores with the selection untouched
  };
  const Case cases[] = {
      {"no devices",
       {{"device", ""}},
       json::parse(R"({"devices":[],"default":null})"),
       {"系统默认", placeholder},
       0,
       ""},
      {"no list at all", json::object(), json(), {"系统默认", placeholder}, 0, ""},
      {"device empty follows the system",
       {{"device", ""}},
       core_form,
       {"系统默认", "Realtek Mic　（系统默认）", "USB Headset"},
       0,
       ""},
      {"configured device present",
       {{"device", "USB Headset"}},
       core_form,
       {"系统默认", "Realtek Mic　（系统默认）", "USB Headset"},
       2,
       "USB Headset"},
      {"configured default device present",
       {{"device", "Realtek Mic"}},
       core_form,
       {"系统默认", "Realtek Mic　（系统默认）", "USB Headset"},
       1,
       "Realtek Mic"},
      {"configured device unplugged",
       {{"device", "Yeti"}},
       core_form,
       {"系统默认", "Yeti　（未连接）", "Realtek Mic　（系统默认）", "USB Headset"},
       1,
       "Yeti"},
      {"configured device and no devices",
       {{"device", "Yeti"}},
       json::object(),
       {"系统默认", "Yeti　（未连接）", placeholder},
       1,
       "Yeti"},
      {"object form",
       json::object(),
       json::parse(R"({"devices":[{"name":"A","default":false},{"name":"B","default":true}]})"),
       {"系统默认", "A", "B　（系统默认）"},
       0,
       ""},
      {"unusable entries skipped",
       {{"device", 3}},
       json::parse(R"({"devices":["",7,null,{"name":1},{"default":true},"C"],"default":"C"})"),
       {"系统默认", "C　（系统默认）"},
       0,
       ""},
  };
  for (const Case& c : cases) {
    const DeviceRows rows = device_rows(c.config, c.devices);
    EXPECT_EQ(rows.items, c.rows) << c.what;
    EXPECT_EQ(rows.selected, c.selected) << c.what;
    ASSERT_GE(rows.selected, 0);
    ASSERT_LT(rows.selected, static_cast<int>(rows.items.size()));
    EXPECT_EQ(device_from_row(rows.items[rows.selected]), c.saves) << c.what;

    const PageSpec page = audio_page(c.config, c.devices, false);
    const ControlSpec* list = by_id(page, kIdDeviceList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->items, c.rows) << c.what;
    EXPECT_EQ(list->selected, c.selected) << c.what;
  }
}

TEST(AudioDevices, RowTextToSavedDevice) {
  struct Case {
    std::string row;
    std::string device;
  };
  const Case cases[] = {
      {"系统默认", ""},
      {std::string(kNoDeviceRow), ""},  // never saved as a device name
      {"Realtek Mic　（系统默认）", "Realtek Mic"},
      {"Yeti　（未连接）", "Yeti"},
      {"  USB Headset  ", "USB Headset"},
      {"麦克风 (USB Audio)", "麦克风 (USB Audio)"},  // ordinary spaces and brackets stay
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(device_from_row(c.row), c.device) << c.row;
}

TEST(AudioSave, PatchCarriesDeviceAndToggles) {
  EXPECT_EQ(audio_save_patch({.selected_row = "系统默认",
                              .denoise = true,
                              .pause_media = false,
                              .punct = false,
                              .source_lock = true}),
            json::parse(R"({"device":"","denoise":true,"pause_media":false,"punct":false,
                "source_lock":true})"));
  AudioInputs inputs;
  inputs.selected_row = "USB Headset";
  EXPECT_EQ(audio_save_patch(inputs)["device"], "USB Headset");
  inputs.selected_row = std::nullopt;  // no row selected
  EXPECT_EQ(audio_save_patch(inputs)["device"], "");
}

TEST(AudioPage, TogglesFollowTheConfigurationAndModelState) {
  const PageSpec bare = audio_page(json::object(), json::object(), false);
  EXPECT_FALSE(by_id(bare, kIdDenoise)->on);
  EXPECT_FALSE(by_id(bare, kIdPauseMedia)->on);
  EXPECT_TRUE(by_id(bare, kIdPunct)->on);  // a missing punct counts as on
  EXPECT_FALSE(by_id(bare, kIdSourceLock)->on);
  EXPECT_EQ(by_id(bare, kIdDenoise)->text, "背景降噪（模型未下载）");

  const PageSpec ready = audio_page(json::parse(R"({"denoise":true,"denoise_ready":true,
      "punct":false,"punct_ready":true,"pause_media":true,"source_lock":true})"),
                                    json::object(), false);
  EXPECT_TRUE(by_id(ready, kIdDenoise)->on);
  EXPECT_TRUE(by_id(ready, kIdPauseMedia)->on);
  EXPECT_FALSE(by_id(ready, kIdPunct)->on);
  EXPECT_TRUE(by_id(ready, kIdSourceLock)->on);
  EXPECT_EQ(by_id(ready, kIdDenoise)->text, "背景降噪");
  EXPECT_EQ(by_id(ready, kIdPunct)->text, "句末补标点");

  // Each toggle is followed by its marker, whose text depends on the model being there.
  const auto marker_after = [](const PageSpec& page, int id) {
    for (std::size_t i = 0; i + 1 < page.controls.size(); ++i) {
      if (page.controls[i].id == id) {
        EXPECT_EQ(page.controls[i + 1].kind, ControlKind::info_marker) << id;
        return page.controls[i + 1].text;
      }
    }
    return std::string("missing");
  };
  EXPECT_EQ(marker_after(bare, kIdDenoise),
            "模型还没下载：去「引擎」页选中「降噪模型」点下载（1MB）。");
  EXPECT_EQ(marker_after(ready, kIdDenoise),
            "只在 48kHz 麦克风上生效：压掉稳定的底噪（风扇、空调）。");
  EXPECT_EQ(marker_after(bare, kIdPunct),
            "模型还没下载：去「引擎」页选中「标点模型」点下载（约 65MB）。");
  EXPECT_EQ(marker_after(ready, kIdPunct), "说一句话自动补上句末标点，别的标点不动。");
  EXPECT_EQ(marker_after(bare, kIdPauseMedia),
            "只暂停本来就在放的声音，松手后自动恢复；看视频时录音不会把它录进去。");
  EXPECT_EQ(marker_after(bare, kIdSourceLock),
            "只认离麦克风最近的声音：外放视频时少录进扬声器，但两个人同时说话会挑一个。");
}

TEST(AudioPage, ControlsSitWhereTheLayoutPutsThem) {
  const PageSpec page = audio_page(json::object(), json::object(), false);
  struct Case {
    int id;
    Rect rect;
  };
  const Case cases[] = {
      {kIdDeviceList, {196, 56, 664, 138}},  {kIdUse, {196, 206, 130, 34}},
      {kIdDenoise, {196, 246, 560, 28}},     {kIdPauseMedia, {196, 280, 560, 28}},
      {kIdPunct, {196, 314, 560, 28}},       {kIdSourceLock, {196, 348, 560, 28}},
      {kIdSave, {196, 384, 96, 34}},         {kIdLevelBar, {196, 452, 400, 22}},
      {kIdMeterButton, {610, 448, 110, 34}}, {kIdMeterHint, {196, 486, 420, 18}},
  };
  for (const Case& c : cases) {
    const ControlSpec* control = by_id(page, c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(rect_of(*control), c.rect) << c.id;
  }
  EXPECT_EQ(by_id(page, kIdUse)->kind, ControlKind::primary_button);
  EXPECT_EQ(by_id(page, kIdSave)->kind, ControlKind::primary_button);
  EXPECT_EQ(rect_of(*by_text(page, "输入电平")), (Rect{196, 420, 664, 20}));
}

TEST(AudioLevel, BarCellsAndDecibels) {
  const std::string empty14 = repeat("░", 14);
  struct Case {
    double level;
    std::string text;
  };
  const Case cases[] = {
      {0.5, repeat("█", 11) + repeat("░", 3) + "  约 -6 dB"},  // 0.8 × 14 = 11.2
      {0.0, empty14 + "  约 -60 dB"},
      {0.00001, empty14 + "  约 -60 dB"},                       // at the floor: not above it
      {0.1, repeat("█", 2) + repeat("░", 12) + "  约 -20 dB"},  // 2.24 cells
      {0.625, repeat("█", 14) + "  约 -4 dB"},                  // 1.6 × v reaches full scale
      {1.0, repeat("█", 14) + "  约 0 dB"},
      {4.0, repeat("█", 14) + "  约 12 dB"},  // never more than 14 cells
      {-0.3, empty14 + "  约 -60 dB"},
      {std::nan(""), empty14 + "  约 -60 dB"},
  };
  for (const Case& c : cases) EXPECT_EQ(level_bar_text(c.level), c.text) << c.level;
}

TEST(AudioLevel, MeterTextsByState) {
  const PageSpec stopped = audio_page(json::object(), json::object(), false);
  EXPECT_EQ(by_id(stopped, kIdLevelBar)->text, repeat("░", 20) + "  未开始");
  EXPECT_EQ(by_id(stopped, kIdMeterButton)->text, "开始测试");
  EXPECT_EQ(by_id(stopped, kIdMeterHint)->text, "点「开始测试」看有没有声音");

  const PageSpec running = audio_page(json::object(), json::object(), true);
  EXPECT_EQ(by_id(running, kIdLevelBar)->text, repeat("░", 20) + "  听着…");
  EXPECT_EQ(by_id(running, kIdMeterButton)->text, "停止测试");
  EXPECT_EQ(by_id(running, kIdMeterHint)->text, "正听着：说句话看看有没有起伏");
}

}  // namespace
}  // namespace kesu::shell
