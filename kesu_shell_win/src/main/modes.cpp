#include "main/modes.h"

#include <nlohmann/json.hpp>

#include "inject/insert_now.h"
#include "overlay/overlay_modes.h"
#include "main/core_calls.h"
#include "settings/settings_live_test.h"
#include "main/plain_callback.h"
#include "main/text.h"
#include "settings/autostart.h"

namespace kesu::shell {

using Json = nlohmann::json;
using namespace std::chrono_literals;

namespace {

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

std::string json_field(const Json& obj, const char* name) {
  if (!obj.is_object()) return "null";
  const auto it = obj.find(name);
  return it == obj.end() ? "null" : it->dump();
}

// Number of entries of a JSON array text; "?" when it is not one.
std::string array_count(std::string_view text) {
  const Json parsed = Json::parse(text, nullptr, false);
  if (parsed.is_array()) return std::to_string(parsed.size());
  if (parsed.is_object()) {
    for (const char* key : {"entries", "items", "history"}) {
      const auto it = parsed.find(key);
      if (it != parsed.end() && it->is_array()) return std::to_string(it->size());
    }
  }
  return "?";
}

void pull_model(const ModeContext& ctx, const CoreCalls& core) {
  // A switch right after it is not an id: "--pull-model --dev" pulls the default.
  std::string effective = ctx.args.value("--pull-model").value_or("sense");
  if (find_switch(effective) != nullptr) effective = "sense";
  (void)core.set_event_cb(&plain_event_callback, nullptr);
  const CallResult r = core.models_pull(effective);
  if (r.code != 0) {
    ctx.log("PULLFAIL " + effective + " code=" + std::to_string(r.code) + " " + r.message);
    return;
  }
  ctx.log("PULLSTART " + effective);
  for (;;) {
    const std::string last = last_event();
    if (last.find("model_done") != std::string::npos ||
        last.find("model_failed") != std::string::npos) {
      ctx.log("PULLEND " + last);
      return;
    }
    ctx.sleep(200ms);
  }
}

void hotkey_report(const ModeContext& ctx, const CoreCalls& core) {
  const LoadedHotkey loaded = load_push_to_talk(core.get_config_json(), [](std::string_view) {});
  std::string mods = "[";
  for (std::size_t i = 0; i < loaded.spec.modifiers.size(); ++i) {
    mods += (i ? ", " : "") + hex(loaded.spec.modifiers[i]);
  }
  mods += "]";
  ctx.log("HOTKEY raw=" + loaded.spec.raw + " mods=" + mods + " main=" +
          hex(loaded.spec.main_key) + " single_mod=" +
          (loaded.spec.single_modifier() ? "true" : "false"));
}

void decode_as_app(const ModeContext& ctx, const CoreCalls& core) {
  const std::string path = ctx.args.value("--decode-wav").value_or("");
  const std::string app = ctx.args.value("--as-app").value_or("");
  (void)core.set_event_cb(&plain_event_callback, nullptr);
  (void)core.note_foreground_app(app);
  const CallResult r = core.decode_wav(path);
  ctx.sleep(4000ms);
  ctx.log("WAVAPP " + app);
  ctx.log("WAVCODE " + std::to_string(r.code) + " " + r.message);
  ctx.log("WAVEVENT " + last_event());
  ctx.log("WAVLAST " + core.get_last_result());
}

void decode_plain(const ModeContext& ctx, const CoreCalls& core) {
  (void)core.set_event_cb(&plain_event_callback, nullptr);
  const CallResult r = core.decode_wav(ctx.args.value("--decode-wav").value_or(""));
  ctx.log("DECODE rc=" + std::to_string(r.code) + " " + r.message);
  ctx.sleep(2500ms);
}

void lan_check(const ModeContext& ctx, const CoreCalls& core) {
  const Json config = Json::parse(core.get_config_json(), nullptr, false);
  ctx.log("LANCHK enabled=" + json_field(config, "lan_enabled") +
          " port=" + json_field(config, "lan_port") +
          " allow_lan=" + json_field(config, "lan_allow_lan") +
          " has_token=" + json_field(config, "lan_has_token"));
}

void history_delete(const ModeContext& ctx, const CoreCalls& core) {
  const std::string id = ctx.args.value("--history-delete").value_or("");
  const std::string before = array_count(core.get_history(1000000));
  const int rc = core.delete_history(id);
  const std::string after = array_count(core.get_history(1000000));
  ctx.log("HISTDEL id=" + id + " rc=" + std::to_string(rc) + " " + (rc == 0 ? "已删除" : "没删掉") +
          " before=" + before + " after=" + after);
}

void mic_test(const ModeContext& ctx, const CoreCalls& core) {
  int seconds = int_value(ctx.args.value("--mic-test"), 3);
  if (seconds <= 0) seconds = 3;
  (void)core.clear_last_result();
  const int rc = core.debug_record(seconds);
  ctx.log("MICTEST 录音 " + std::to_string(seconds) + "s…");
  if (rc != 0) ctx.log("MICTEST 录音没开始 rc=" + std::to_string(rc));
  ctx.sleep(std::chrono::seconds(seconds + 4));
  const std::string result = core.get_last_result();
  ctx.log("MICTEST OK 结果=" + (result.empty() ? std::string("（没听到内容）") : result));
}

void self_test(const ModeContext& ctx, const CoreCalls& core) {
  (void)core.set_test_mode(true);
  (void)core.debug_submit_text(kSelfTestSentence);
  ctx.sleep(800ms);
  ctx.log("SELFTEST OK 结果=" + core.get_last_result());
}

// "--inject-test-hold [seconds] text": the seconds may be left out.
void inject_hold(const ModeContext& ctx) {
  const std::vector<std::string>& all = ctx.args.all();
  int seconds = 8;
  std::string text;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) {
    if (all[i] != "--inject-test-hold") continue;
    const int parsed = int_value(all[i + 1], -1);
    if (parsed >= 0) {
      seconds = parsed;
      if (i + 2 < all.size()) text = all[i + 2];
    } else {
      text = all[i + 1];
    }
    break;
  }
  ctx.sleep(std::chrono::seconds(seconds));
  const InsertOutcome r = insert_now(text, "paste");
  ctx.log("INJECTHOLD status=" + r.status + " detail=" + r.detail);
}

}  // namespace

std::string permission_report(std::string_view consent) {
  return "权限状态\n\n麦克风：" + std::string(consent) +
         "\n"
         "  要改：设置 → 隐私和安全性 → 麦克风 → 允许桌面应用访问\n\n"
         "键盘监听：不需要单独授权（低级键盘钩子随程序运行）\n"
         "模拟按键：往以管理员身份运行的程序里输入会被系统拦下（UIPI）\n"
         "  如果目标程序是管理员窗口，Kesu 也要以管理员身份运行。\n";
}

std::optional<int> run_core_modes(const ModeContext& ctx) {
  const Args& a = ctx.args;
  if (ctx.core == nullptr) return std::nullopt;
  const CoreCalls core(*ctx.core);

  // In table order; the first one present runs.
  if (a.has("--pull-model")) {
    pull_model(ctx, core);
  } else if (a.has("--hotkey-report")) {
    hotkey_report(ctx, core);
  } else if (a.has("--inject-type")) {
    ctx.sleep(400ms);
    const InsertOutcome r = insert_now(a.value("--inject-type").value_or(""), "keystroke");
    ctx.log("TYPETEST " + r.status + " " + r.detail);
  } else if (a.has("--voice-enroll-wav")) {
    const CallResult r = core.voice_enroll_wav(a.value("--voice-enroll-wav").value_or(""));
    ctx.log("VOICE wav rc=" + std::to_string(r.code) + " " + r.message);
    ctx.log("VOICE state=" + core.voice_state());
  } else if (a.has("--perm-report")) {
    ctx.log(permission_report(ctx.consent()));
  } else if (a.has("--polish-models")) {
    const TextResult r = core.polish_models();
    const Json list = Json::parse(r.text, nullptr, false);
    ctx.log("POLISHMODELS n=" + std::to_string(list.is_array() ? list.size() : 0) + " err=" +
            r.error + " list=" + r.text);
  } else if (a.has("--polish-test")) {
    const TextResult r = core.polish_test();
    ctx.log("POLISH text=" + r.text + " err=" + r.error);
  } else if (a.has("--voice-state")) {
    ctx.log("VOICE state=" + core.voice_state());
  } else if (a.has("--decode-wav") && a.has("--as-app")) {
    decode_as_app(ctx, core);
  } else if (a.has("--caret-probe")) {
    caret_probe_mode(ctx);
  } else if (a.has("--overlay-demo")) {
    overlay_demo_mode(ctx);
  } else if (a.has("--diagnose")) {
    ctx.log(core.diagnose());
  } else if (a.has("--dpi-report")) {
    dpi_report_mode(ctx);
  } else if (a.has("--version")) {
    ctx.out("言至（yzhi） " + std::string(kVersion) + "\n");
  } else if (a.has("--dump-config")) {
    ctx.log(core.get_config_toml());
  } else if (a.has("--lan-chk")) {
    lan_check(ctx, core);
  } else if (a.has("--history-delete")) {
    history_delete(ctx, core);
  } else if (a.has("--decode-wav")) {
    decode_plain(ctx, core);
  } else if (a.has("--mic-test")) {
    mic_test(ctx, core);
  } else if (a.has("--inject-test-hold")) {
    inject_hold(ctx);
  } else if (a.has("--inject-test")) {
    ctx.sleep(400ms);
    const InsertOutcome r =
        insert_now(a.value("--inject-test").value_or(""), a.value("--mode").value_or("paste"));
    ctx.log("INJECT status=" + r.status + " detail=" + r.detail);
  } else if (a.has("--self-test")) {
    self_test(ctx, core);
  } else {
    return std::nullopt;
  }
  return 0;
}

std::optional<int> run_end_modes(const ModeContext& ctx) {
  const Args& a = ctx.args;
  if (a.has("--set-config")) {
    if (ctx.core == nullptr) {
      ctx.log("SETCONFIG core 没起来");
      return 0;
    }
    const CallResult r = CoreCalls(*ctx.core).set_config_json(a.value("--set-config").value_or(""));
    ctx.log("SETCONFIG code=" + std::to_string(r.code) + " err=" + r.message);
  } else if (a.has("--set-hotkey")) {
    const std::string spec = a.value("--set-hotkey").value_or("");
    CallResult r{KESU_ERR_ARGUMENT, "热键写法无法解析：" + spec};
    if (ctx.core == nullptr) {
      r.message = "core 没起来";
    } else if (auto parsed = parse_hotkey(spec)) {
      r = CoreCalls(*ctx.core).set_config_json(Json{{"hotkey", spec}}.dump());
      if (r.code == 0) ctx.hotkey.set(std::move(*parsed));
    }
    ctx.log("SETHOTKEY spec=" + spec + " code=" + std::to_string(r.code) + " err=" + r.message);
  } else if (a.has("--settings-live-test")) {
    ctx.log(settings_live_test(ctx.core));
  } else if (wants_autostart_mode(a)) {
    return run_autostart_modes(ctx, *make_system_autostart_registry());
  } else if (a.has("--hotwords-json")) {
    ctx.log("HOTWORDS " + (ctx.core ? CoreCalls(*ctx.core).get_hotwords() : std::string()));
  } else if (a.has("--hotkey-check")) {
    const std::string spec = a.value("--hotkey-check").value_or("");
    ctx.log("HOTKEYCHECK spec=" + spec + " ok=" + (parse_hotkey(spec) ? "true" : "false"));
  } else {
    return std::nullopt;
  }
  return 0;
}

}  // namespace kesu::shell
