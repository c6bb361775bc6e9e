#include "audio/resampler.h"

#include <algorithm>
#include <climits>

#include "sherpa/sherpa_library.h"

namespace kesu {

Resampler::Resampler(int rate_in, int rate_out) {
  if (rate_in <= 0 || rate_out <= 0) return;
  api_ = load_sherpa().api;
  if (api_ == nullptr) return;
  const float cutoff = 0.495f * static_cast<float>(std::min(rate_in, rate_out));
  handle_ = api_->SherpaOnnxCreateLinearResampler(rate_in, rate_out, cutoff, 6);
}

Resampler::~Resampler() {
  if (api_ != nullptr) api_->SherpaOnnxDestroyLinearResampler(handle_);
}

std::vector<float> Resampler::resample(std::span<const float> input, bool flush) {
  std::vector<float> out;
  if (handle_ == nullptr) return out;
  // The C interface counts in int32_t: feed very long inputs in pieces.
  constexpr std::size_t kPiece = 1 << 24;
  std::size_t done = 0;
  do {
    const std::size_t n = std::min(kPiece, input.size() - done);
    const bool last = done + n == input.size();
    const SherpaOnnxResampleOut* chunk = api_->SherpaOnnxLinearResamplerResample(
        handle_, input.data() + done, static_cast<int32_t>(n), flush && last ? 1 : 0);
    if (chunk != nullptr) {
      if (chunk->n > 0) out.insert(out.end(), chunk->samples, chunk->samples + chunk->n);
      api_->SherpaOnnxLinearResamplerResampleFree(chunk);
    }
    done += n;
  } while (done < input.size());
  return out;
}

}  // namespace kesu
