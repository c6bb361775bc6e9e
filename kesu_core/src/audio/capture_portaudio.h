#pragma once

#include "audio/capture.h"

namespace kesu {

// Opens the named input device (empty: the system default) through PortAudio.
CaptureOpen open_portaudio_capture(const std::string& device_name,
                                   std::unique_ptr<AudioFilter> filter);

}  // namespace kesu
