#include "voice/voice_filter.h"

#include <cmath>
#include <cstdio>

namespace kesu {
namespace {

constexpr float kSampleRate = 16000.0f;
constexpr float kShortSegment = 0.6f;   // seconds: too short to measure a voice
constexpr float kRelockAfter = 8.0f;    // seconds of another voice before following it

float seconds_of(std::span<const float> s) { return static_cast<float>(s.size()) / kSampleRate; }

std::string shortest(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

}  // namespace

float similarity(std::span<const float> a, std::span<const float> b) {
  if (a.size() != b.size() || a.empty()) return 0.0f;
  float dot = 0.0f, aa = 0.0f, bb = 0.0f;
  for (std::size_t i = 0; i < a.size(); ++i) {
    dot += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  if (aa == 0.0f || bb == 0.0f) return 0.0f;
  return dot / (std::sqrt(aa) * std::sqrt(bb));
}

FilterOutcome apply_voice_lock(const std::vector<std::span<const float>>& segments,
                               std::span<const float> voice_print, float threshold,
                               const Embedder& embed) {
  FilterOutcome out;
  out.keep.assign(segments.size(), true);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const std::optional<Embedding> e = embed(segments[i]);
    if (e && similarity(*e, voice_print) < threshold) {
      out.keep[i] = false;
      ++out.skipped;
    }
  }
  out.total = segments.size();
  if (out.skipped == 0) return out;
  const std::string counts = std::to_string(out.skipped) + "/" + std::to_string(out.total);
  if (out.total >= 3 && 2 * out.skipped >= out.total) {
    out.log_line = "[kesu][voice] 声纹过滤掉 " + counts + " 段，疑似不认你的声音，改为整段重识别";
    out.keep.assign(segments.size(), true);
  } else {
    out.log_line = "[kesu][voice] 声纹过滤掉 " + counts + " 段";
  }
  return out;
}

FilterOutcome apply_source_lock(const std::vector<std::span<const float>>& segments, float threshold,
                                const Embedder& embed) {
  FilterOutcome out;
  out.keep.assign(segments.size(), true);
  std::optional<Embedding> target;
  std::size_t locked_index = 0;
  std::size_t kept = 0;
  float mismatch = 0.0f;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const std::size_t index = kept + out.skipped;
    if (seconds_of(segments[i]) < kShortSegment) {
      out.keep[i] = target.has_value();
      continue;
    }
    const std::optional<Embedding> e = embed(segments[i]);
    if (!e) continue;
    if (!target) {
      target = e;
      locked_index = index;
      ++kept;
      continue;
    }
    if (similarity(*e, *target) >= threshold) {
      ++kept;
      mismatch = 0.0f;
      continue;
    }
    const float sum = mismatch + seconds_of(segments[i]);
    if (sum >= kRelockAfter && out.skipped > 0) {
      std::fprintf(stderr, "[kesu][sourcelock] 连续 %ss 不像目标声纹，解锁并改用这一段\n", shortest(sum).c_str());
      target = e;
      locked_index = index;
      mismatch = 0.0f;
      continue;
    }
    mismatch = sum;
    ++out.skipped;
    out.keep[i] = false;
  }
  out.total = segments.size();
  out.log_line = "[kesu][sourcelock] 锁定第 " + std::to_string(target ? locked_index + 1 : 0) + " 段；留下 " +
                 std::to_string(kept) + " 段、跳过 " + std::to_string(out.skipped) + " 段";
  return out;
}

}  // namespace kesu
