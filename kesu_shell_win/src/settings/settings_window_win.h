#pragma once

// The settings window on the desktop: a borderless dark window with the sidebar of pages and
// the current page's controls, rebuilt from the controller's page spec whenever it is shown or
// its data changes (keeping the child windows that can show the new controls). Runs on the
// user-interface thread.

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "main/views.h"
#include "main/win_handles.h"
#include "settings/control_reuse.h"
#include "settings/frame_layout.h"
#include "settings/settings_controller.h"
#include "settings/settings_mode_lines.h"

namespace kesu::shell::win {

inline constexpr const wchar_t* kSettingsWindowClass = L"KesuSettingsWnd";

// Created and destroyed objects of the window, for the object-count test where the system
// gives no counts.
struct ObjectTally {
  long long gdi = 0;
  long long user = 0;
};

// A child control's place in client pixels.
struct ChildBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ChildBox&) const = default;
};

class SettingsWindow final : public SettingsView, private SettingsSurface {
 public:
  SettingsWindow(AppState& state, SettingsServices services);
  SettingsWindow(const SettingsWindow&) = delete;
  SettingsWindow& operator=(const SettingsWindow&) = delete;
  ~SettingsWindow() override;

  // SettingsView (the user-interface thread, except where noted).
  bool is_open() const override;  // any thread
  bool showing_history() const override;
  void open(int page) override;
  void refresh_history() override;
  void mic_meter(float rms) override;

  HWND window() const;
  int page() const;
  void switch_page(int page);
  void rebuild() override;
  // Paints what is waiting to be painted, now.
  void paint_now();
  float scale() const { return k_; }
  int control_count() const { return static_cast<int>(children_.size()); }
  // Where the last rebuild spent its time.
  const RebuildTimes& last_rebuild() const { return last_rebuild_; }
  HWND control(int id) const;
  ObjectTally tally() const { return tally_; }
  SettingsController& controller() { return controller_; }
  // A key-down reaching the window or one of its controls, with the modifiers held.
  bool handle_key(unsigned vk, bool ctrl, bool shift);
  void save_general() { controller_.save_general(*this); }
  void save_per_app() { controller_.save_per_app(*this); }
  // The Audio page's level test; the core's answer to starting the meter.
  int start_meter() { return controller_.start_meter(*this); }

 private:
  struct Marker {
    RECT rect;
    std::string text;
  };
  // A child window, with what it was last given, so a rebuild changes only what differs.
  struct Child {
    HWND hwnd = nullptr;
    ControlShape shape = ControlShape::none;
    int id = kIdNone;
    ChildBox box;
    HFONT font = nullptr;
    std::vector<std::string> items;  // list boxes
    float k = 0;                     // the scale its corners and rows were made for
  };

  // SettingsSurface.
  void repaint() override;
  void hide() override;
  std::optional<std::string> text_of(int id) const override;
  void set_text(int id, std::string_view text) override;
  std::optional<int> selected_row(int id) const override;
  std::string row_text(int id, int row) const override;
  std::optional<std::string> key_capture_value() const override;
  void set_key_capture_value(std::string_view value) override;
  void focus_key_capture() override;

  bool create(int page);
  void create_fonts();
  // Gives the page `next`: windows that can show a control are kept and changed where they
  // differ, the others are made or destroyed.
  void place_controls(const std::vector<ControlSpec>& next);
  Child make_child(const ControlSpec& spec);
  void update_child(Child& child, const ControlSpec& spec);
  void destroy_child(const Child& child);
  void destroy_strays();
  HFONT font_for(const ControlSpec& spec) const;
  void focus_first_edit();
  void move_focus(bool forward);

  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK child_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR self);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void paint(HWND hwnd);
  void draw_item(const DRAWITEMSTRUCT& item);
  void on_command(int id, int note);
  void on_mouse_move(int x, int y);

  AppState& state_;
  SettingsController controller_;
  mutable std::mutex mu_;
  HWND window_ = nullptr;  // guarded by mu_ for readers on other threads
  bool visible_ = false;   // guarded by mu_
  int page_ = 0;           // guarded by mu_
  float k_ = 1.0f;
  FontHandle body_font_, heading_font_, title_font_, small_font_, marker_font_, popup_font_,
      button_font_, symbol_font_;
  DeleteObjectHandle background_brush_, panel_brush_, field_brush_;
  std::vector<Child> children_;
  RebuildTimes last_rebuild_;
  std::map<int, HWND> by_id_;
  std::map<int, ControlKind> kinds_;
  std::vector<Marker> markers_;
  std::optional<std::size_t> hovered_;
  ObjectTally tally_;
};

}  // namespace kesu::shell::win
