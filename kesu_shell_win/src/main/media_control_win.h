#pragma once

// The system media transport controls (GlobalSystemMediaTransportControlsSessionManager),
// loaded at run time. Where the facility is missing (Wine, old systems) every answer is
// "nothing playing".

#include "main/media_control.h"

namespace kesu::shell::win {

class WinMediaTransport final : public MediaTransport {
 public:
  PlaybackQuery playback() override;
  TransportResult try_pause() override;
  TransportResult try_play() override;
};

}  // namespace kesu::shell::win
