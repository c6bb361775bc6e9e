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

}  // namespace

PortAudioSession::PortAudioSession() {
  silence_backend_chatter();
  const PaError rc = Pa_Initialize();
  if (rc != paNoError) {
    error_ = Pa_GetErrorText(rc);
    return;
  }
  initialised_ = true;
#if defined(_WIN32)
  // Shared-mode capture, as every other application on the machine uses it.
  host_api_ = Pa_HostApiTypeIdToHostApiIndex(paWASAPI);
#endif
  if (host_api_ < 0) host_api_ = Pa_GetDefaultHostApi();
  if (host_api_ < 0) error_ = Pa_GetErrorText(host_api_);
}

PortAudioSession::~PortAudioSession() {
  if (initialised_) Pa_Terminate();
}

std::vector<InputDevice> PortAudioSession::inputs() const {
  std::vector<InputDevice> out;
  if (!error_.empty()) return out;
  const PaHostApiInfo* api = Pa_GetHostApiInfo(host_api_);
  if (api == nullptr) return out;
  for (int i = 0; i < api->deviceCount; ++i) {
    const PaDeviceIndex index = Pa_HostApiDeviceIndexToDeviceIndex(host_api_, i);
    if (index < 0) continue;
    InputDevice d = describe(index);
    if (d.max_channels > 0) out.push_back(std::move(d));
  }
  return out;
}

std::optional<InputDevice> PortAudioSession::default_input() const {
  if (!error_.empty()) return std::nullopt;
  const PaHostApiInfo* api = Pa_GetHostApiInfo(host_api_);
  if (api == nullptr || api->defaultInputDevice == paNoDevice) return std::nullopt;
  InputDevice d = describe(api->defaultInputDevice);
  if (d.max_channels <= 0) return std::nullopt;
  return d;
}

}  // namespace kesu
