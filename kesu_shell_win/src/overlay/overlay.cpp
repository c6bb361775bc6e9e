#include "overlay/overlay.h"

#include <algorithm>
#include <chrono>
#include <tuple>

#include "main/text.h"

namespace kesu::shell {

using overlay::Frame;

namespace {
constexpr auto kFrame = std::chrono::milliseconds(33);
constexpr auto kTipShown = std::chrono::milliseconds(3000);
constexpr auto kTipDeadline = std::chrono::milliseconds(3200);
}  // namespace

StatusOverlay::StatusOverlay(OverlayModel& model, OverlayTiming& timing, Scheduler& scheduler,
                             OverlayPlatform& platform, OverlaySinks sinks, int scale_percent,
                             bool animate)
    : model_(model),
      timing_(timing),
      scheduler_(scheduler),
      platform_(platform),
      sinks_(std::move(sinks)),
      scale_percent_(scale_percent) {
  if (animate) anim_thread_ = std::thread([this] { this->animate(); });
}

StatusOverlay::~StatusOverlay() {
  {
    std::lock_guard lock(anim_mu_);
    anim_stop_ = true;
  }
  anim_cv_.notify_all();
  if (anim_thread_.joinable()) anim_thread_.join();
}

Frame StatusOverlay::render() {
  const OverlayFields st = model_.snapshot();
  std::pair<int, int> ref{st.anchor_x, st.anchor_y};
  if (!st.has_anchor) ref = platform_.cursor().value_or(std::pair{0, 0});
  const double t = scale_percent_ > 0 ? scale_percent_ / 100.0 : platform_.dpi_scale(ref.first, ref.second);
  const overlay::Rect work = platform_.work_area(ref.first, ref.second);
  const overlay::Measure measure = [this](std::string_view text, int height) {
    return text.empty() ? 0 : platform_.text_width(text, height);
  };
  const Frame frame = overlay::compose(st, t, work, measure);
  if (frame.width_units > st.width) {
    std::lock_guard lock(model_.mu);
    model_.width = std::max(model_.width, frame.width_units);
  }
  if (sinks_.trace_on()) {
    sinks_.trace("OVERLAY 位置 anchor=" + std::string(st.has_anchor ? "true" : "false") +
                 " x=" + std::to_string(frame.pos.x) + " y=" + std::to_string(frame.pos.y) +
                 " w=" + std::to_string(frame.W) + " h=" + std::to_string(frame.H) + " 工作区=" +
                 std::to_string(work.left) + "," + std::to_string(work.top) + "-" +
                 std::to_string(work.right) + "," + std::to_string(work.bottom));
  }
  platform_.draw(frame);
  return frame;
}

void StatusOverlay::repaint() {
  render();
  wake_animation();
}

void StatusOverlay::hide() { platform_.hide(); }

void StatusOverlay::set_level(float rms, float secs) {
  {
    std::lock_guard lock(model_.mu);
    model_.level = std::clamp(0.4f * rms + 0.6f * model_.level, 0.0f, 1.0f);
    model_.secs = secs;
  }
  repaint();
}

void StatusOverlay::show_profile(std::string_view icon, std::string_view name) {
  std::lock_guard lock(model_.mu);
  model_.profile_icon = icon;
  model_.profile_name = name;
}

std::optional<std::pair<int, int>> StatusOverlay::caret_anchor() {
  const CaretProbe probe = platform_.caret_probe();
  if (probe.kind == ProbeKind::None) return std::nullopt;
  return std::pair{probe.x, probe.y};
}

void StatusOverlay::show_tip(std::string_view text) { show_message(text, "error"); }

void StatusOverlay::show_notice(std::string_view text) { show_message(text, "notice"); }

void StatusOverlay::show_message(std::string_view text, const char* phase) {
  const std::uint64_t generation = ++timing_.generation;
  const auto anchor = caret_anchor();
  {
    std::lock_guard lock(model_.mu);
    model_.phase = phase;
    model_.text = text;
    model_.width = overlay::tip_width(char_count(text));
    model_.has_anchor = anchor.has_value();
    if (anchor) std::tie(model_.anchor_x, model_.anchor_y) = *anchor;
  }
  sinks_.log(std::string(std::string_view(phase) == "error" ? "OVERLAY 错误提示：" : "OVERLAY 提示：") +
             std::string(text));
  const auto deadline = OverlayTiming::Clock::now() + kTipDeadline;
  timing_.set_tip_deadline(deadline);
  platform_.show();
  render();
  // The hide belongs to this tip: a later tip or a new recording takes the window over.
  scheduler_.after(kTipShown, [this, generation, deadline] {
    timing_.clear_tip_deadline_if(deadline);
    if (timing_.generation.load() == generation) platform_.hide();
  });
}

bool StatusOverlay::animation_step() {
  std::lock_guard lock(model_.mu);
  if (model_.phase == "idle") return false;
  model_.animation_time += 0.033f;
  blink_accumulator_ += 0.033;
  if (blink_accumulator_ >= 0.5) {
    model_.blink = !model_.blink;
    blink_accumulator_ = 0;
  }
  return overlay::is_live(model_.phase);
}

void StatusOverlay::wake_animation() {
  {
    std::lock_guard lock(anim_mu_);
    anim_wake_ = true;
  }
  anim_cv_.notify_all();
}

void StatusOverlay::animate() {
  // Ticks only while a recording is shown; otherwise it sleeps until a render wakes it, so an
  // idle shell costs nothing here.
  std::unique_lock lock(anim_mu_);
  while (!anim_stop_) {
    bool live;
    {
      std::lock_guard model_lock(model_.mu);
      live = overlay::is_live(model_.phase);
    }
    if (!live) {
      anim_cv_.wait(lock, [this] { return anim_stop_ || anim_wake_; });
      anim_wake_ = false;
      continue;
    }
    if (anim_cv_.wait_for(lock, kFrame, [this] { return anim_stop_; })) break;
    anim_wake_ = false;
    lock.unlock();
    try {
      if (animation_step()) render();
    } catch (...) {
      // A failed frame is skipped; the next one tries again.
    }
    lock.lock();
  }
}

}  // namespace kesu::shell
