#pragma once

// The status overlay's state: written by the event handling, the push-to-talk controller and the
// tips, read by every render.

#include <mutex>
#include <string>

namespace kesu::shell {

struct OverlayFields {
  std::string text;          // live, final or tip text
  std::string phase = "idle";
  std::string profile_name;  // the badge is drawn when not empty
  std::string profile_icon;  // kept with the name, not drawn
  double secs = 0;           // recording time from the last level update
  bool has_anchor = false;
  int anchor_x = 0, anchor_y = 0;  // screen pixels
  float level = 0;           // smoothed microphone level, 0…1
  int width = 190;           // panel width in design units (1 unit = 1 pixel at 96 DPI)
  float animation_time = 0;  // seconds of animation
  bool blink = false;
};

struct OverlayModel : OverlayFields {
  std::mutex mu;  // guards every field

  OverlayFields snapshot() {
    std::lock_guard lock(mu);
    return static_cast<const OverlayFields&>(*this);
  }
};

}  // namespace kesu::shell
