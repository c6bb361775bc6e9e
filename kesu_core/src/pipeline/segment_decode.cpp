#include "pipeline/segment_decode.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "engine/vad_segmenter.h"
#include "util/log.h"

namespace kesu {

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

bool timing_wanted() { return std::getenv("KESU_DEBUG_TIMING") != nullptr; }

void timing(const std::string& line) {
  if (timing_wanted()) log_line(line, "[t]");
}

std::string ms_text(double ms) {
  std::ostringstream out;
  out.precision(1);
  out << std::fixed << ms << "ms";
  return out.str();
}

FaultSelection faults_from_env() {
  const char* text = std::getenv("KESU_FAULT_FAIL_SEGMENTS");
  return text != nullptr ? parse_fault_selection(text) : FaultSelection{};
}

bool is_latin_word_char(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

FaultSelection parse_fault_selection(std::string_view text) {
  FaultSelection out;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t comma = text.find(',', from);
    if (comma == std::string_view::npos) comma = text.size();
    std::string item(text.substr(from, comma - from));
    item.erase(0, item.find_first_not_of(" \t"));
    item.erase(item.find_last_not_of(" \t") + 1);
    if (item == "all") {
      out.all = true;
    } else if (!item.empty()) {
      char* end = nullptr;
      const long index = std::strtol(item.c_str(), &end, 10);
      if (*end == '\0' && index >= 0 && index <= 1'000'000) out.indexes.insert(static_cast<int>(index));
    }
    from = comma + 1;
  }
  return out;
}

std::string join_segment_texts(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    if (!out.empty() && is_latin_word_char(static_cast<unsigned char>(out.back())) &&
        is_latin_word_char(static_cast<unsigned char>(text.front()))) {
      out += ' ';
    }
    out += text;
  }
  return out;
}

DecodeOutcome segment_decode(std::span<const float> audio, const DecodeTools& tools) {
  const auto started = Clock::now();
  DecodeOutcome out;
  if (audio.empty()) {
    out.error = Error{ErrorCode::no_audio, {}};
    return out;
  }

  Segmentation segmentation = segment_speech(audio, tools.vad, tools.vad_model);
  timing("VAD 就绪 " + ms_text(ms_since(started)) + "，" +
         std::to_string(segmentation.pieces.size()) + " 段");

  if (tools.filter && !segmentation.pieces.empty()) {
    std::vector<std::span<const float>> spans;
    for (const SpeechPiece& piece : segmentation.pieces) spans.emplace_back(piece.samples);
    const FilterOutcome filtered = tools.filter(spans);
    if (!filtered.log_line.empty()) std::fprintf(stderr, "%s\n", filtered.log_line.c_str());
    std::vector<SpeechPiece> kept;
    for (std::size_t i = 0; i < segmentation.pieces.size(); ++i) {
      if (i < filtered.keep.size() && !filtered.keep[i]) {
        ++out.filtered_out;
      } else {
        kept.push_back(std::move(segmentation.pieces[i]));
      }
    }
    out.all_filtered = kept.empty();
    segmentation.pieces = std::move(kept);
  }

  const FaultSelection faults = faults_from_env();
  std::vector<std::string> texts;
  int index = 0;
  for (SpeechPiece& piece : segmentation.pieces) {
    SegmentResult segment{index, piece.start, std::move(piece.samples), {}, {}};
    out.speech_ms += static_cast<double>(segment.samples.size()) / 16.0;
    if (faults.selects(index)) {
      segment.error = Error{ErrorCode::injected_fault, {}};
    } else {
      const auto asked = Clock::now();
      SlotResult result = tools.engine.recognise(segment.samples);
      out.engine_wait_ms += result.wait_ms;
      timing("第 " + std::to_string(index) + " 段：等引擎 " + ms_text(result.wait_ms) +
             "，识别 " + ms_text(ms_since(asked) - result.wait_ms));
      segment.text = std::move(result.recognition.text);
      segment.error = std::move(result.recognition.error);
    }
    if (!segment.error) texts.push_back(segment.text);
    out.segments.push_back(std::move(segment));
    ++index;
  }

  if (!out.segments.empty() && texts.empty()) {
    out.error = *out.segments.front().error;  // nothing recognised: the first reason stands
  }

  const auto assembling = Clock::now();
  std::string joined = join_segment_texts(texts);
  timing("拼接文本 " + ms_text(ms_since(assembling)));
  const auto post = Clock::now();
  if (!joined.empty()) {
    if (tools.hotwords) joined = tools.hotwords(joined);
    joined = tools.punctuator.add(joined);
  }
  timing("热词和标点 " + ms_text(ms_since(post)));
  out.text = std::move(joined);
  out.decode_ms = ms_since(started);
  return out;
}

}  // namespace kesu
