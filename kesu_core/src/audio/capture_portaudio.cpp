#include "audio/capture_portaudio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include <portaudio.h>

#include "audio/portaudio_session.h"
#include "audio/resampler.h"
#include "audio/wav.h"
#include "util/log.h"

namespace kesu {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned long kFramesPerBuffer = 1024;
// A device that never starts, or stops delivering, is treated as lost after these times;
// PortAudio itself reports nothing for a stalled source.
constexpr std::chrono::milliseconds kFirstCallbackLimit{2500};
constexpr std::chrono::milliseconds kMinStallLimit{500};

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

class PortAudioCapture final : public Capture {
 public:
  PortAudioCapture(std::string name, int channels, double rate, PaSampleFormat format,
                   std::unique_ptr<AudioFilter> filter)
      : name_(std::move(name)),
        channels_(channels),
        format_(format),
        filter_(std::move(filter)),
        stall_limit_(std::max<std::chrono::milliseconds>(
            kMinStallLimit, std::chrono::milliseconds(static_cast<long long>(
                                4 * 1000.0 * kFramesPerBuffer / rate)))) {
    if (static_cast<int>(rate) != kSampleRate) {
      resampler_ = std::make_unique<Resampler>(static_cast<int>(rate), kSampleRate);
    }
  }

  ~PortAudioCapture() override { stop(); }

  bool resampler_ok() const { return !resampler_ || resampler_->valid(); }

  // Opens and starts the stream.
  Status start(PortAudioSession& session, const PaStreamParameters& params, double rate) {
    started_at_ns_ = now_ns();
    PortAudioSession::Opened opened =
        session.open_input(params, rate, kFramesPerBuffer, &PortAudioCapture::on_audio,
                           &PortAudioCapture::on_finished, this);
    stream_ = std::move(opened.stream);
    if (opened.error) return *opened.error;
    return {};
  }

  const std::string& device_name() const override { return name_; }
  SampleBuffer& buffer() override { return buffer_; }

  bool healthy() override {
    if (lost_.load()) return false;
    if (!stream_ || stopping_.load()) return true;
    std::optional<Error> reason;
    if (finished_.load() || Pa_IsStreamActive(stream_.get()) == 0) {
      reason = Error{ErrorCode::mic_stream_ended, {}};
    } else {
      const std::int64_t last = last_callback_ns_.load();
      const auto since = std::chrono::nanoseconds(now_ns() - (last ? last : started_at_ns_));
      if (last == 0 && since > kFirstCallbackLimit) reason = Error{ErrorCode::mic_never_sent, {}};
      if (last != 0 && since > stall_limit_) reason = Error{ErrorCode::mic_stalled, {}};
    }
    if (!reason) return true;
    log_line("流错误: " + user_message(*reason), "[audio]");
    failure_ = std::move(reason);
    lost_.store(true);
    return false;
  }

  std::optional<Error> failure() const override { return failure_; }

  void stop() override {
    if (!stream_) return;
    stopping_.store(true);
    stream_.close();
    std::vector<float> tail;
    if (resampler_) tail = resampler_->resample({}, /*flush=*/true);
    if (filter_) {
      tail = filter_->process(std::move(tail));
      std::vector<float> rest = filter_->flush();
      tail.insert(tail.end(), rest.begin(), rest.end());
    }
    if (!tail.empty()) buffer_.append(tail.data(), tail.size());
  }

 private:
  static int on_audio(const void* input, void*, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
    static_cast<PortAudioCapture*>(user)->accept(input, frames);
    return paContinue;
  }

  static void on_finished(void* user) {
    auto* self = static_cast<PortAudioCapture*>(user);
    if (!self->stopping_.load()) self->finished_.store(true);
  }

  // Runs on the audio thread: only conversion and an append, no waiting.
  void accept(const void* input, unsigned long frames) {
    last_callback_ns_.store(now_ns());
    if (input == nullptr || frames == 0) return;
    mono_.resize(frames);
    for (unsigned long f = 0; f < frames; ++f) {
      float sum = 0;
      for (int c = 0; c < channels_; ++c) {
        const std::size_t i = f * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(c);
        sum += format_ == paFloat32 ? static_cast<const float*>(input)[i]
                                    : static_cast<const std::int16_t*>(input)[i] / 32768.0f;
      }
      mono_[f] = sum / static_cast<float>(channels_);
    }
    std::vector<float> out = resampler_ ? resampler_->resample(mono_) : mono_;
    if (filter_) out = filter_->process(std::move(out));
    if (!out.empty()) buffer_.append(out.data(), out.size());
  }

  const std::string name_;
  const int channels_;
  const PaSampleFormat format_;
  std::unique_ptr<Resampler> resampler_;  // audio thread while running, then stop()
  std::unique_ptr<AudioFilter> filter_;   // likewise
  std::vector<float> mono_;               // audio thread only
  const std::chrono::milliseconds stall_limit_;
  SampleBuffer buffer_;
  PortAudioStream stream_;  // the opening thread only
  std::atomic<std::int64_t> last_callback_ns_{0};
  std::int64_t started_at_ns_ = 0;
  std::atomic<bool> finished_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> lost_{false};
  std::optional<Error> failure_;  // worker only
};

std::string join_names(const std::vector<InputDevice>& devices) {
  if (devices.empty()) return "（当前没有任何输入设备）";
  std::string out;
  for (const InputDevice& d : devices) {
    if (!out.empty()) out += " / ";
    out += d.name;
  }
  return out;
}

}  // namespace

CaptureOpen open_portaudio_capture(const std::string& device_name,
                                   std::unique_ptr<AudioFilter> filter) {
  CaptureOpen result;
  PortAudioSession session;
  if (!session.error().empty()) {
    result.error = Error{ErrorCode::mic_list_failed, session.error()};
    return result;
  }
  std::optional<InputDevice> device;
  if (device_name.empty()) {
    device = session.default_input();
    if (!device) {
      result.error = Error{ErrorCode::mic_none, {}};
      return result;
    }
  } else {
    const std::vector<InputDevice> inputs = session.inputs();
    for (const InputDevice& d : inputs) {
      if (d.name == device_name) device = d;
    }
    if (!device) {
      result.error = Error{ErrorCode::mic_device_missing, detail_parts({device_name, join_names(inputs)})};
      return result;
    }
  }
  if (device->default_rate <= 0) {
    result.error = Error{ErrorCode::mic_rate_unknown, {}};
    return result;
  }

  // Sound servers report up to 32 channels; two are enough and keep the level right.
  const int channels = std::clamp(device->max_channels, 1, 2);
  PaStreamParameters params{};
  params.device = device->index;
  params.channelCount = channels;
  params.suggestedLatency = session.low_input_latency(device->index);
  PaSampleFormat format = paFloat32;
  params.sampleFormat = format;
  if (!session.supports(params, device->default_rate)) {
    format = paInt16;
    params.sampleFormat = format;
    if (!session.supports(params, device->default_rate)) {
      result.error = Error{ErrorCode::mic_format_unsupported, {}};
      return result;
    }
  }

  auto capture = std::make_unique<PortAudioCapture>(device->name, channels, device->default_rate,
                                                    format, std::move(filter));
  if (!capture->resampler_ok()) {
    result.error = Error{ErrorCode::resampler_failed, {}};
    return result;
  }
  if (Status started = capture->start(session, params, device->default_rate); !started) {
    result.error = started.error();
    return result;
  }
  result.capture = std::move(capture);
  return result;
}

}  // namespace kesu
