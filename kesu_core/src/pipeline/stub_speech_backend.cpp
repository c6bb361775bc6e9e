#include <algorithm>

#include "pipeline/speech_backend.h"

namespace kesu {
namespace {

constexpr const char* kStubText = "测试文本：你好，Kesu。";
constexpr std::size_t kWindow = 400000;  // 25 s, the cut used when no speech detector is loaded

class StubSpeechBackend final : public SpeechBackend {
 public:
  Recognition recognise(std::span<const float> samples) override {
    Recognition r;
    if (samples.empty()) {
      r.error = Error{ErrorCode::no_audio, {}};
    } else {
      r.text = kStubText;
    }
    return r;
  }

  SegmentedDecode decode_segments(std::span<const float> samples, const ConfigRecord&,
                                  const SegmentFilter&) override {
    SegmentedDecode decoded;
    if (samples.empty()) {
      decoded.failure = Error{ErrorCode::no_audio, {}};
      return decoded;
    }
    for (std::size_t at = 0; at < samples.size(); at += kWindow) {
      const std::size_t n = std::min(kWindow, samples.size() - at);
      DecodedSegment segment;
      segment.index = static_cast<int>(decoded.segments.size());
      segment.samples.assign(samples.begin() + static_cast<std::ptrdiff_t>(at),
                             samples.begin() + static_cast<std::ptrdiff_t>(at + n));
      segment.text = kStubText;
      decoded.segments.push_back(std::move(segment));
    }
    return decoded;
  }

  std::string punctuate(std::string text, const ConfigRecord&) override { return text; }
  std::string engine_name() const override { return "stub"; }
  bool speech_model_installed() const override { return true; }
};

}  // namespace

std::shared_ptr<SpeechBackend> make_stub_speech_backend() {
  return std::make_shared<StubSpeechBackend>();
}

}  // namespace kesu
