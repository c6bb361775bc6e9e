#pragma once

// The status overlay's behaviour: level smoothing, tips and their timed hides, the profile
// badge, the animation clock, and each render from a state snapshot to a composed frame. The
// platform draws the frame and answers questions about the screen.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "main/overlay_timing.h"
#include "main/views.h"
#include "overlay/overlay_layout.h"

namespace kesu::shell {

// Where the caret probe found something to anchor at.
enum class ProbeKind : int { Upper = 0, Lower = 1, None = 2 };
struct CaretProbe {
  int x = 0, y = 0;
  ProbeKind kind = ProbeKind::None;
};

class OverlayPlatform {
 public:
  virtual ~OverlayPlatform() = default;
  virtual CaretProbe caret_probe() = 0;
  // The cursor position; nullopt when it cannot be read.
  virtual std::optional<std::pair<int, int>> cursor() = 0;
  // Effective DPI ÷ 96 of the monitor nearest to the point; 1 when unknown.
  virtual double dpi_scale(int x, int y) = 0;
  virtual overlay::Rect work_area(int x, int y) = 0;
  virtual int text_width(std::string_view text, int font_height) = 0;
  // Draws, positions and shows the composed frame.
  virtual void draw(const overlay::Frame& frame) = 0;
  virtual void show() = 0;
  virtual void hide() = 0;
};

struct OverlaySinks {
  std::function<void(std::string_view)> log;    // main log
  std::function<void(std::string_view)> trace;  // main log with the trace switch on
  std::function<bool()> trace_on;
};

class StatusOverlay final : public OverlayView {
 public:
  // Starts the animation thread unless told not to; `scale_percent` > 0 fixes the scale.
  StatusOverlay(OverlayModel& model, OverlayTiming& timing, Scheduler& scheduler,
                OverlayPlatform& platform, OverlaySinks sinks, int scale_percent = 0,
                bool animate = true);
  ~StatusOverlay() override;
  StatusOverlay(const StatusOverlay&) = delete;
  StatusOverlay& operator=(const StatusOverlay&) = delete;

  void repaint() override;
  void hide() override;
  void show_tip(std::string_view text) override;
  void show_notice(std::string_view text) override;
  std::optional<std::pair<int, int>> caret_anchor() override;
  void set_level(float rms, float secs) override;
  void show_profile(std::string_view icon, std::string_view name) override;

  // One render: snapshot, layout, width growth, draw. Any thread.
  overlay::Frame render();
  // One 33 ms step of the animation clock; true when the step should render.
  bool animation_step();

 private:
  void show_message(std::string_view text, const char* phase);
  void animate();
  void wake_animation();

  OverlayModel& model_;
  OverlayTiming& timing_;
  Scheduler& scheduler_;
  OverlayPlatform& platform_;
  OverlaySinks sinks_;
  const int scale_percent_;

  double blink_accumulator_ = 0;  // guarded by model_.mu

  std::mutex anim_mu_;
  std::condition_variable anim_cv_;
  bool anim_stop_ = false;  // guarded by anim_mu_
  bool anim_wake_ = false;  // guarded by anim_mu_
  std::thread anim_thread_;
};

}  // namespace kesu::shell
