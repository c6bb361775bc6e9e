#include "overlay/overlay_modes.h"

namespace kesu::shell {

// Without a desktop there is no caret, no overlay and no monitor to ask.
void caret_probe_mode(const ModeContext& ctx) {
  ctx.sleep(std::chrono::milliseconds(600));
  ctx.log("DPI scale=1");
  ctx.log("PROBE 没有桌面");
  ctx.log("CARET none");
}

void overlay_demo_mode(const ModeContext& ctx) { ctx.log("OVERLAY 没有桌面，无法显示浮窗"); }

void dpi_report_mode(const ModeContext& ctx) { ctx.log("DPI awareness=-1 system=96"); }

}  // namespace kesu::shell
