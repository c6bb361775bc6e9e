#include <windows.h>

#include <cstdio>
#include <tuple>

#include "main/logs.h"
#include "main/message_pump_win.h"
#include "main/overlay_timing.h"
#include "main/text.h"
#include "overlay/overlay_modes.h"
#include "overlay/overlay_win.h"

namespace kesu::shell {

void caret_probe_mode(const ModeContext& ctx) {
  ctx.sleep(std::chrono::milliseconds(600));
  win::WinOverlay platform;
  const CaretProbe probe = platform.caret_probe();
  int x = probe.x, y = probe.y;
  if (probe.kind == ProbeKind::None) std::tie(x, y) = platform.cursor().value_or(std::pair{0, 0});
  char scale[32];
  std::snprintf(scale, sizeof scale, "%g", platform.dpi_scale(x, y));
  ctx.log("DPI scale=" + std::string(scale));
  ctx.log(platform.probe_line());
  if (probe.kind == ProbeKind::None) {
    ctx.log("CARET none");
  } else {
    ctx.log("CARET x=" + std::to_string(probe.x) + " y=" + std::to_string(probe.y) +
            " flip=" + (probe.kind == ProbeKind::Lower ? "true" : "false"));
  }
}

void overlay_demo_mode(const ModeContext& ctx) {
  const Args& a = ctx.args;
  const int percent = overlay_scale_percent(a.value("--overlay-scale")).value_or(0);
  const std::string phase = a.value("--overlay-phase").value_or("listening");
  const std::string text = a.value("--overlay-text").value_or("");
  const int secs = int_value(a.value("--overlay-demo-secs"), 5);

  OverlayModel model;
  OverlayTiming timing;
  ThreadScheduler scheduler;
  win::WinOverlay platform;
  StatusOverlay overlay(model, timing, scheduler, platform,
                        {[](std::string_view t) { log_line(t); }, [](std::string_view t) { trace(t); },
                         [] { return trace_on(); }},
                        percent);
  {
    std::lock_guard lock(model.mu);
    model.phase = phase;
    model.text = text;
    model.secs = 3;
    if (overlay::is_tip(phase)) model.width = overlay::tip_width(char_count(text));
  }
  const auto anchor = overlay.caret_anchor();
  {
    std::lock_guard lock(model.mu);
    model.has_anchor = anchor.has_value();
    if (anchor) std::tie(model.anchor_x, model.anchor_y) = *anchor;
  }
  overlay.set_level(0.05f, 3);
  const overlay::Frame f = overlay.render();
  char line[160];
  std::snprintf(line, sizeof line, "OVERLAY demo phase=%s scale=%g x=%d y=%d w=%d h=%d", phase.c_str(),
                f.s.t, f.pos.x, f.pos.y, f.W, f.H);
  ctx.log(line);

  // Keep the window alive (and its messages served) while it is looked at.
  win::serve_messages_for(std::chrono::seconds(secs));
  ctx.log("OVERLAY demo done");
}

void dpi_report_mode(const ModeContext& ctx) { ctx.log(win::dpi_report_line()); }

}  // namespace kesu::shell
