#pragma once

// The status overlay's window: a click-through layered popup that draws composed frames.

#include <windows.h>

#include <string>

#include "main/win_handles.h"
#include "overlay/overlay.h"

namespace kesu::shell::win {

class WinOverlay final : public OverlayPlatform {
 public:
  // Registers the class and creates the hidden window; on the user-interface thread.
  WinOverlay();

  CaretProbe caret_probe() override;
  std::optional<std::pair<int, int>> cursor() override;
  double dpi_scale(int x, int y) override;
  overlay::Rect work_area(int x, int y) override;
  int text_width(std::string_view text, int font_height) override;
  void draw(const overlay::Frame& frame) override;
  void show() override;
  void hide() override;

  // The caret probe's findings as one diagnostic line.
  std::string probe_line();
  HWND window() const { return window_.get(); }

 private:
  struct ProbeDetails;
  CaretProbe probe(ProbeDetails* details);

  DestroyWindowHandle window_;
};

// "DPI awareness={} system={}".
std::string dpi_report_line();

}  // namespace kesu::shell::win
