#pragma once

#include <span>
#include <vector>

struct SherpaOnnxLinearResampler;

namespace kesu {
struct SherpaApi;
}

namespace kesu {

// Windowed-sinc resampler (cut-off 0.495 × the lower rate, 6 zero crossings). Keeps filter state
// between calls, so a stream can be fed in chunks. Invalid when sherpa-onnx cannot be loaded.
class Resampler {
 public:
  Resampler(int rate_in, int rate_out);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  bool valid() const { return handle_ != nullptr; }
  // `flush` releases the tail held back by the filter; pass it with the last chunk.
  std::vector<float> resample(std::span<const float> input, bool flush = false);

 private:
  const SherpaApi* api_ = nullptr;
  const SherpaOnnxLinearResampler* handle_ = nullptr;
};

}  // namespace kesu
