#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <portaudio.h>

#include "util/error.h"

namespace kesu {

struct InputDevice {
  int index = -1;
  std::string name;
  int max_channels = 0;
  double default_rate = 0;
};

class PortAudioStream;

// Use of the audio library, which is one per process. PortAudio keeps its state in globals:
// initialising, terminating, querying devices and opening or closing streams must not run beside
// one another, and terminating frees what open streams still use. So every such call is made
// while a session is held; sessions are taken one at a time under a process-wide lock, and the
// library stays initialised for as long as any stream is open.
//
// The device list is a snapshot taken when the library initialises. With no stream open a new
// session starts the library afresh, so devices plugged in since are seen; while a stream is
// open, the list of its initialisation serves.
//
// A thread holding a session must not close a stream (that takes the same lock).
class PortAudioSession {
 public:
  PortAudioSession();
  ~PortAudioSession();
  PortAudioSession(const PortAudioSession&) = delete;
  PortAudioSession& operator=(const PortAudioSession&) = delete;

  // Empty when the library started; otherwise its error text.
  const std::string& error() const;
  // Input devices of the host API used for capture (WASAPI on Windows, the default elsewhere).
  std::vector<InputDevice> inputs() const;
  std::optional<InputDevice> default_input() const;
  // The device's suggested low input latency in seconds (0 when unknown).
  double low_input_latency(int device) const;
  bool supports(const PaStreamParameters& params, double rate) const;

  struct Opened;
  // Opens and starts a capture stream calling `on_audio` and, when it ends by itself,
  // `on_finished`. The stream keeps the library initialised until it is closed.
  Opened open_input(const PaStreamParameters& params, double rate, unsigned long frames,
                    PaStreamCallback* on_audio, PaStreamFinishedCallback* on_finished,
                    void* user);

 private:
  std::unique_lock<std::mutex> lock_;
};

// An open stream. Closing aborts it (never a blocking stop: a stalled source can hold that for
// seconds), then closes it under the library lock; the last stream closed terminates the library.
class PortAudioStream {
 public:
  PortAudioStream() = default;
  ~PortAudioStream() { close(); }
  PortAudioStream(PortAudioStream&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
  PortAudioStream& operator=(PortAudioStream&& other) noexcept;
  PortAudioStream(const PortAudioStream&) = delete;
  PortAudioStream& operator=(const PortAudioStream&) = delete;

  PaStream* get() const { return stream_; }
  explicit operator bool() const { return stream_ != nullptr; }
  // Safe to call twice.
  void close();

 private:
  friend class PortAudioSession;
  explicit PortAudioStream(PaStream* stream) : stream_(stream) {}
  PaStream* stream_ = nullptr;
};

struct PortAudioSession::Opened {
  PortAudioStream stream;
  std::optional<Error> error;  // why stream is empty
};

}  // namespace kesu
