#pragma once

// The mini window: a small always-on-top card that never takes the focus, with the round
// dictation button, the status, today's saved time, settings and close. Geometry, texts and
// click rules come from MiniLayout; this class only executes them.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "main/views.h"
#include "tray/mini_layout.h"

namespace kesu::shell::win {

inline constexpr const wchar_t* kMiniWindowClass = L"KesuMini";

struct MiniCallbacks {
  // After the card has hidden itself and logged it: store "mini_window" = false.
  std::function<void()> on_close;
  // Open the settings window on its first page.
  std::function<void()> on_settings;
  // The push-to-talk click.
  std::function<void()> on_button;
};

class MiniWindow final : public MiniView {
 public:
  MiniWindow() = default;
  MiniWindow(const MiniWindow&) = delete;
  MiniWindow& operator=(const MiniWindow&) = delete;
  ~MiniWindow() override;

  // Creates the hidden window at its place in the lower right corner; false on failure.
  bool create(MiniCallbacks callbacks, std::function<std::string()> hotkey_display_name);

  // Any thread: store, then ask for a repaint.
  void set_phase(std::string_view phase) override;
  void set_saved_minutes(std::int64_t minutes) override;

  void show();
  void hide();
  bool is_visible() const;
  // The new visibility, for the caller to store as "mini_window".
  bool toggle();
  void repaint();

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void paint(HWND hwnd);
  void on_click(HWND hwnd, int x, int y);
  HWND window() const;

  mutable std::mutex window_mu_;
  HWND window_ = nullptr;  // guarded by window_mu_; emptied on WM_DESTROY
  mutable std::mutex status_mu_;
  std::string phase_;               // guarded by status_mu_; empty until the first state event
  std::int64_t saved_minutes_ = 0;  // guarded by status_mu_
  // Set by create() before the window exists, then fixed.
  MiniCallbacks callbacks_;
  std::function<std::string()> hotkey_name_;
  MiniLayout layout_{100};
};

}  // namespace kesu::shell::win
