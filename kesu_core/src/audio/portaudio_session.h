#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kesu {

struct InputDevice {
  int index = -1;
  std::string name;
  int max_channels = 0;
  double default_rate = 0;
};

// One initialisation of the audio library. Its device list is a snapshot taken here, so each
// capture or listing starts a fresh session to see devices plugged in since.
class PortAudioSession {
 public:
  PortAudioSession();
  ~PortAudioSession();
  PortAudioSession(const PortAudioSession&) = delete;
  PortAudioSession& operator=(const PortAudioSession&) = delete;

  // Empty when the library started; otherwise its error text.
  const std::string& error() const { return error_; }
  // Input devices of the host API used for capture (WASAPI on Windows, the default elsewhere).
  std::vector<InputDevice> inputs() const;
  std::optional<InputDevice> default_input() const;

 private:
  int host_api_ = -1;
  std::string error_;
  bool initialised_ = false;
};

}  // namespace kesu
