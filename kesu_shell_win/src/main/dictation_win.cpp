#include "main/dictation_win.h"

#include <mutex>
#include <thread>

#include "inject/insertion.h"
#include "inject/insertion_result.h"
#include "inject/own_input.h"
#include "inject/ui_automation_win.h"
#include "main/core_calls.h"
#include "main/data_dir.h"
#include "main/keyboard_capture_win.h"
#include "main/logs.h"
#include "main/media_control_win.h"
#include "main/menu_mask.h"
#include "main/message_window_win.h"
#include "main/platform.h"
#include "main/insertion_target.h"
#include "observer/observer_entry.h"
#include "selection/palette_entry.h"

namespace kesu::shell::win {

namespace {

// One insertion at a time: a late request (after the core's submit time-out) waits for the
// earlier one instead of mixing its clipboard use and keys with it.
std::mutex& insertion_lock() {
  static std::mutex mu;
  return mu;
}

PushToTalkSinks ptt_sinks(HotkeyHolder** hotkey) {
  PushToTalkSinks sinks;
  sinks.trace = [](std::string_view t) { trace(t); };
  sinks.raw_debug = [](std::string_view t) { raw_debug(t); };
  sinks.raw_debug_on = [] { return raw_debug_on(); };
  sinks.after_hotkey_down = [hotkey] {
    if (*hotkey == nullptr) return;
    if (auto spec = (*hotkey)->get(); spec && needs_menu_mask(*spec)) send_menu_mask();
  };
  return sinks;
}

}  // namespace

class DesktopDictation::PttView final : public PushToTalkView {
 public:
  explicit PttView(DesktopDictation& owner) : owner_(owner) {}
  void media_on_phase(std::string_view phase) override { owner_.media_.on_phase(phase); }
  void idle_from_mini() override { owner_.ptt_.idle_from_mini(); }
  bool idle_origin_is_mini() const override { return owner_.ptt_.origin() == Origin::Mini; }

 private:
  DesktopDictation& owner_;
};

class DesktopDictation::InsertView final : public InsertionView {
 public:
  explicit InsertView(DesktopDictation& owner) : owner_(owner) {}
  void start_insertion(std::string_view task_id, std::string_view text, std::string_view mode) override {
    owner_.start_insertion(std::string(task_id), std::string(text), std::string(mode));
  }
  void pending_result(std::string_view text) override {
    owner_.recovery_.on_pending_result(text, owner_.recovery_sinks());
  }
  void recover_undelivered() override {
    owner_.recovery_.recover_at_startup(data_dir(), owner_.recovery_sinks());
  }

 private:
  DesktopDictation& owner_;
};

DesktopDictation::DesktopDictation(AppState& state, HWND message_window)
    : state_(state),
      window_(message_window),
      ptt_(state, probe_, ptt_sinks(&hotkey_)),
      transport_(std::make_unique<WinMediaTransport>()),
      media_(*transport_, media_pause_setting(), state.media_paused_by_us,
             [](std::string_view t) { log_line(t); }),
      ui_platform_(false),
      ptt_view_(std::make_unique<PttView>(*this)),
      insert_view_(std::make_unique<InsertView>(*this)) {}

DesktopDictation::~DesktopDictation() = default;

PushToTalkView* DesktopDictation::push_to_talk_view() { return ptt_view_.get(); }
InsertionView* DesktopDictation::insertion_view() { return insert_view_.get(); }

void DesktopDictation::reload() {
  std::string config, profiles;
  {
    std::lock_guard lock(state_.mu);
    if (!state_.core) return;
    const CoreCalls core(*state_.core);
    config = core.get_config_json();
    profiles = core.get_profiles();
  }
  if (hotkey_ != nullptr) {
    hotkey_->set(load_push_to_talk(config, [](std::string_view t) { stderr_line(t); }).spec);
  }
  slots_.set(parse_slot_keys(profiles, [](std::string_view t) { stderr_line(t); }));
  media_pause_setting() = pause_media_wanted(config);
}

void DesktopDictation::start_capture(HotkeyHolder& hotkey) {
  {
    std::string config, profiles;
    {
      std::lock_guard lock(state_.mu);
      if (state_.core) {
        const CoreCalls core(*state_.core);
        config = core.get_config_json();
        profiles = core.get_profiles();
      }
    }
    slots_.set(parse_slot_keys(profiles, [](std::string_view t) { stderr_line(t); }));
    media_pause_setting() = pause_media_wanted(config);
  }
  hotkey_ = &hotkey;
  KeyHandlerPorts ports;
  ports.is_down = [](std::uint16_t vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; };
  ports.cancel = [this] {
    std::lock_guard lock(state_.mu);
    if (state_.core) (void)CoreCalls(*state_.core).cancel();
  };
  ports.open_palette = [] { open_selection_palette(); };
  ports.switch_profile = [this](const SlotKey& slot) { switch_profile(slot); };
  ports.raw_debug = [](std::string_view t) { raw_debug(t); };
  ports.raw_debug_on = [] { return raw_debug_on(); };
  keys_ = std::make_unique<KeyHandler>(hotkey, slots_, ptt_, std::move(ports));

  set_hook_target(window_);
  (void)register_raw_input(window_);
  if (!install_keyboard_hook()) stderr_line("[kesu] 热键钩子不可用：按住说话不会触发");
}

void DesktopDictation::switch_profile(const SlotKey& slot) {
  int rc = -1;
  OverlayView* overlay = nullptr;
  TrayView* tray = nullptr;
  {
    std::lock_guard lock(state_.mu);
    if (state_.core) rc = CoreCalls(*state_.core).set_active_profile(slot.name).code;
    overlay = state_.views.overlay;
    tray = state_.views.tray;
  }
  if (overlay != nullptr) overlay->show_profile(slot.icon, slot.name);
  if (tray != nullptr) tray->set_tooltip("言至 · 润色档：" + slot.name);
  log_line("SLOT 切换到 " + slot.name + " rc=" + std::to_string(rc));
}

void DesktopDictation::on_hook_key(WPARAM packed) {
  if (!keys_) return;
  const bool release = (packed & 0x100) != 0;
  keys_->on_key(static_cast<std::uint16_t>(packed & 0xFF), release, (packed & 0x200) != 0);
  if (release && trace_on()) trace(hook_timing_summary());
}

void DesktopDictation::on_raw_input(LPARAM input) {
  const auto key = read_raw_key(input);
  if (!key || !keys_) return;
  if (!accept_raw_input(key->has_device, own_input_recent())) return;
  keys_->on_key(key->vk, key->is_release, key->is_extended);
}

void DesktopDictation::on_resume() {
  set_hook_target(window_);
  stderr_line(install_keyboard_hook() ? "[kesu] 唤醒：热键钩子已重装"
                                      : "[kesu] 唤醒后重新装热键钩子失败（按热键可能没反应）");
  (void)register_raw_input(window_);
}

void DesktopDictation::start_insertion(std::string task_id, std::string text, std::string mode) {
  HWND window = window_;
  std::thread([window, task_id = std::move(task_id), text = std::move(text), mode = std::move(mode)] {
    try {
      trace("inject-thread-in");
      InsertOutcome outcome;
      {
        std::lock_guard lock(insertion_lock());
        WinInsertPlatform platform(true);
        const auto uia = open_ui_automation();
        InsertContext ctx{platform, *uia, {}};
        if (platform::env_var("KESU_INJECT_DEBUG")) ctx.debug = [](std::string_view t) { stderr_line(t); };
        outcome = insert_text(ctx, text, mode, insertion_target());
      }
      stderr_line("[kesu] 上屏 status=" + outcome.status + " detail=" + outcome.detail);
      trace("inject-thread-posting");
      auto result = std::make_unique<InsertionResult>(
          InsertionResult{task_id, text, outcome.detail, outcome.status});
      if (::PostMessageW(window, kMsgInsertionResult, 0, reinterpret_cast<LPARAM>(result.get()))) {
        (void)result.release();  // the window frees it
      }
    } catch (...) {
      // The core's submit time-out answers for a request that ends here.
    }
  }).detach();
}

void DesktopDictation::on_insertion_result(LPARAM lp) {
  if (lp == 0) return;
  std::unique_ptr<InsertionResult> result(reinterpret_cast<InsertionResult*>(lp));
  ResultSinks sinks;
  sinks.trace = [](std::string_view t) { trace(t); };
  sinks.set_clipboard = [this](std::string_view t) { return set_clipboard_text(ui_platform_, t); };
  sinks.start_observer = [](std::string_view t) { start_correction_observer(t); };
  handle_insertion_result(state_, *result, sinks);
}

RecoverySinks DesktopDictation::recovery_sinks() {
  RecoverySinks sinks;
  sinks.set_clipboard = [this](std::string_view t) { return set_clipboard_text(ui_platform_, t); };
  sinks.stderr_line = [](std::string_view t) { stderr_line(t); };
  // Called during start-up and inside the event handling: the views are fixed by then and the
  // state lock may already be held, so they are read without it.
  sinks.overlay = state_.core ? state_.views.overlay : nullptr;
  sinks.tray = state_.views.tray;
  return sinks;
}

}  // namespace kesu::shell::win
