#include "audio/portaudio_session.h"

#include <portaudio.h>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace kesu {

namespace {

#if defined(__linux__)
extern "C" void silent_alsa_handler(const char*, int, const char*, int, const char*, ...) {}
extern "C" void silent_jack_handler(const char*) {}

// ALSA and JACK print dozens of lines while probing devices that are not there. Their setters
// are looked up in the already loaded libraries, so nothing extra is linked or loaded.
void silence_backend_chatter() {
  if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD)) {
    using Setter = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));
    if (auto set = reinterpret_cast<Setter>(dlsym(alsa, "snd_lib_error_set_handler"))) {
      set(silent_alsa_handler);
    }
    dlclose(alsa);
  }
  if (void* jack = dlopen("libjack.so.0", RTLD_NOW | RTLD_NOLOAD)) {
    using Setter = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
      if (auto set = reinterpret_cast<Setter>(dlsym(jack, name))) set(silent_jack_handler);
    }
    dlclose(jack);
  }
}
#else
void silence_backend_chatter() {}
#endif

InputDevice describe(int index) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
  InputDevice d;
  d.index = index;
  if (info != nullptr) {
    d.name = info->name ? info->name : "";
    d.max_channels = info->maxInputChannels;
    d.default_rate = info->defaultSampleRate;
  }
  return d;
}

// The library's state, shared by every session in the process. Never destroyed: a stream may
// still close while the process exits.
struct Library {
  std::mutex mu;
  bool initialised = false;  // all below guarded by mu
  int open_streams = 0;
  int host_api = -1;
  std::string error;

  void start() {
    silence_backend_chatter();
    host_api = -1;
    error.clear();
    const PaError rc = Pa_Initialize();
    if (rc != paNoError) {
      error = Pa_GetErrorText(rc);
      return;
    }
    initialised = true;
#if defined(_WIN32)
    // Shared-mode capture, as every other application on the machine uses it.
    host_api = Pa_HostApiTypeIdToHostApiIndex(paWASAPI);
#endif
    if (host_api < 0) host_api = Pa_GetDefaultHostApi();
    if (host_api < 0) error = Pa_GetErrorText(host_api);
  }

  void stop() {
    if (initialised) Pa_Terminate();
    initialised = false;
  }
};

Library& library() {
  static Library* const instance = new Library();
  return *instance;
}

}  // namespace

PortAudioSession::PortAudioSession() : lock_(library().mu) {
  Library& lib = library();
  if (lib.open_streams > 0) return;  // the running initialisation serves
  lib.stop();
  lib.start();
}

PortAudioSession::~PortAudioSession() {
  Library& lib = library();
  if (lib.open_streams == 0) lib.stop();
}

const std::string& PortAudioSession::error() const { return library().error; }

std::vector<InputDevice> PortAudioSession::inputs() const {
  const Library& lib = library();
  std::vector<InputDevice> out;
  if (!lib.error.empty()) return out;
  const PaHostApiInfo* api = Pa_GetHostApiInfo(lib.host_api);
  if (api == nullptr) return out;
  for (int i = 0; i < api->deviceCount; ++i) {
    const PaDeviceIndex index = Pa_HostApiDeviceIndexToDeviceIndex(lib.host_api, i);
    if (index < 0) continue;
    InputDevice d = describe(index);
    if (d.max_channels > 0) out.push_back(std::move(d));
  }
  return out;
}

std::optional<InputDevice> PortAudioSession::default_input() const {
  const Library& lib = library();
  if (!lib.error.empty()) return std::nullopt;
  const PaHostApiInfo* api = Pa_GetHostApiInfo(lib.host_api);
  if (api == nullptr || api->defaultInputDevice == paNoDevice) return std::nullopt;
  InputDevice d = describe(api->defaultInputDevice);
  if (d.max_channels <= 0) return std::nullopt;
  return d;
}

double PortAudioSession::low_input_latency(int device) const {
  const PaDeviceInfo* info = library().error.empty() ? Pa_GetDeviceInfo(device) : nullptr;
  return info != nullptr ? info->defaultLowInputLatency : 0.0;
}

bool PortAudioSession::supports(const PaStreamParameters& params, double rate) const {
  return library().error.empty() && Pa_IsFormatSupported(&params, nullptr, rate) == paFormatIsSupported;
}

PortAudioSession::Opened PortAudioSession::open_input(const PaStreamParameters& params, double rate,
                                                      unsigned long frames, PaStreamCallback* on_audio,
                                                      PaStreamFinishedCallback* on_finished,
                                                      void* user) {
  Library& lib = library();
  Opened out;
  if (!lib.error.empty()) {
    out.error = Error{ErrorCode::mic_list_failed, lib.error};
    return out;
  }
  PaStream* stream = nullptr;
  PaError rc = Pa_OpenStream(&stream, &params, nullptr, rate, frames, paClipOff, on_audio, user);
  if (rc != paNoError) {
    out.error = Error{ErrorCode::mic_open_failed, Pa_GetErrorText(rc)};
    return out;
  }
  Pa_SetStreamFinishedCallback(stream, on_finished);
  rc = Pa_StartStream(stream);
  if (rc != paNoError) {
    Pa_CloseStream(stream);  // under this session's lock, not through PortAudioStream::close
    out.error = Error{ErrorCode::mic_start_failed, Pa_GetErrorText(rc)};
    return out;
  }
  ++lib.open_streams;
  out.stream = PortAudioStream(stream);
  return out;
}

PortAudioStream& PortAudioStream::operator=(PortAudioStream&& other) noexcept {
  if (this != &other) {
    close();
    stream_ = other.stream_;
    other.stream_ = nullptr;
  }
  return *this;
}

void PortAudioStream::close() {
  if (stream_ == nullptr) return;
  // Aborting touches only this stream, and the library cannot terminate while it is counted
  // open, so a slow abort keeps nobody else waiting.
  Pa_AbortStream(stream_);
  Library& lib = library();
  std::lock_guard lock(lib.mu);
  Pa_CloseStream(stream_);
  stream_ = nullptr;
  if (--lib.open_streams == 0) lib.stop();
}

}  // namespace kesu
