#include "engine/vad_segmenter.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/sherpa_objects.h"
#include "util/log.h"

namespace kesu {

namespace {

// The detector takes samples in chunks of any size; one window at a time keeps its queue short.
constexpr std::size_t kFeedChunk = 512;

void drain(const SherpaApi& api, const SherpaOnnxVoiceActivityDetector* vad,
           std::vector<SpeechPiece>& pieces) {
  while (api.SherpaOnnxVoiceActivityDetectorEmpty(vad) == 0) {
    SherpaHandle<SherpaOnnxSpeechSegment> segment(api.SherpaOnnxVoiceActivityDetectorFront(vad),
                                                  {api.SherpaOnnxDestroySpeechSegment});
    api.SherpaOnnxVoiceActivityDetectorPop(vad);
    if (!segment || segment->n <= 0 || segment->samples == nullptr) continue;
    pieces.push_back({static_cast<std::size_t>(std::max(segment->start, 0)),
                      std::vector<float>(segment->samples, segment->samples + segment->n)});
  }
}

}  // namespace

std::vector<SpeechPiece> fixed_windows(std::span<const float> audio, std::size_t window) {
  std::vector<SpeechPiece> pieces;
  for (std::size_t start = 0; start < audio.size(); start += window) {
    const std::size_t n = std::min(window, audio.size() - start);
    pieces.push_back({start, std::vector<float>(audio.begin() + static_cast<std::ptrdiff_t>(start),
                                                audio.begin() + static_cast<std::ptrdiff_t>(start + n))});
  }
  return pieces;
}

Segmentation segment_speech(std::span<const float> audio, VadPool& pool,
                            const std::filesystem::path& vad_model) {
  const Result<VadPool::Lease> lease = pool.acquire(vad_model);
  if (!lease) {
    log_line("VAD 加载失败，退回固定窗口：" + user_message(lease.error()));
    return {fixed_windows(audio), false};
  }
  const SherpaApi& api = *pool.api();
  const SherpaOnnxVoiceActivityDetector* vad = lease->get();
  Segmentation out;
  out.by_detector = true;
  for (std::size_t done = 0; done < audio.size(); done += kFeedChunk) {
    const std::size_t n = std::min(kFeedChunk, audio.size() - done);
    api.SherpaOnnxVoiceActivityDetectorAcceptWaveform(vad, audio.data() + done,
                                                      static_cast<int32_t>(n));
    drain(api, vad, out.pieces);
  }
  api.SherpaOnnxVoiceActivityDetectorFlush(vad);
  drain(api, vad, out.pieces);
  return out;
}

}  // namespace kesu
