#include "audio/wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <system_error>

#include "audio/resampler.h"
#include "util/atomic_file.h"
#include "util/paths.h"

namespace kesu {

namespace {

// Above this a file is refused instead of read: two hours of 48 kHz stereo 32-bit float is
// about 2.8 GB, far beyond any dictation.
constexpr std::uintmax_t kMaxWavBytes = 1ull << 30;

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Format {
  std::uint16_t tag = 0;
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  std::uint16_t bits = 0;
  std::uint16_t block_align = 0;
};

float decode_sample(const std::uint8_t* p, const Format& f) {
  if (f.tag == kFormatFloat) {
    if (f.bits == 32) {
      float v;
      std::memcpy(&v, p, 4);
      return std::isfinite(v) ? v : 0.0f;
    }
    double v;
    std::memcpy(&v, p, 8);
    return std::isfinite(v) ? static_cast<float>(v) : 0.0f;
  }
  switch (f.bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
      return static_cast<std::int16_t>(u16(p)) / 32768.0f;
    case 24: {
      std::int32_t v = static_cast<std::int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
      if (v & 0x800000) v -= 0x1000000;
      return static_cast<float>(v) / 8388608.0f;
    }
    default:  // 32
      return static_cast<float>(static_cast<std::int32_t>(u32(p)) / 2147483648.0);
  }
}

// Where a RIFF/WAVE image keeps its format and its samples.
struct WavChunks {
  std::optional<Format> format;
  std::optional<std::span<const std::uint8_t>> data;
  std::optional<Error> error;  // set when the chunks themselves are malformed
};

WavChunks find_chunks(std::span<const std::uint8_t> bytes) {
  WavChunks found;
  const auto fail = [&](ErrorCode code) {
    found.error = Error{code, {}};
    return found;
  };
  if (bytes.size() < 12) return fail(ErrorCode::wav_too_short);
  if (std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return fail(ErrorCode::wav_not_riff);
  }
  std::size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::uint8_t* chunk = bytes.data() + pos;
    const std::uint32_t declared = u32(chunk + 4);
    const std::size_t body = pos + 8;
    const std::size_t available = bytes.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (declared < 16 || available < 16) return fail(ErrorCode::wav_fmt_incomplete);
      Format f;
      f.tag = u16(chunk + 8);
      f.channels = u16(chunk + 10);
      f.rate = u32(chunk + 12);
      f.block_align = u16(chunk + 20);
      f.bits = u16(chunk + 22);
      if (f.tag == kFormatExtensible) {
        if (declared < 40 || available < 40) return fail(ErrorCode::wav_fmt_ext_incomplete);
        f.tag = u16(chunk + 8 + 24);  // first two bytes of the sub-format GUID
      }
      found.format = f;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      // Streams written on the fly often leave the size at 0 or larger than the file: take
      // what is there.
      const std::size_t size = declared == 0 ? available : std::min<std::size_t>(declared, available);
      found.data = bytes.subspan(body, size);
      break;
    }
    if (declared > available) break;
    pos = body + declared + (declared & 1);  // chunks are padded to even sizes
  }
  return found;
}

// Whatever stopped a read, the reader's one sentence leads: "读取 WAV 失败：{reason}".
Error unreadable(const Error& reason) { return {ErrorCode::wav_unreadable, user_message(reason)}; }

}  // namespace

std::optional<std::uint64_t> wav_samples_at_16k(std::span<const std::uint8_t> bytes) {
  const WavChunks chunks = find_chunks(bytes);
  if (chunks.error || !chunks.format || !chunks.data) return std::nullopt;
  const Format& f = *chunks.format;
  const std::uint64_t frame_bytes = static_cast<std::uint64_t>(f.bits / 8) * f.channels;
  if (f.rate == 0 || frame_bytes == 0) return std::nullopt;
  const std::uint64_t frames = chunks.data->size() / frame_bytes;
  return (frames * kSampleRate + f.rate - 1) / f.rate;
}

WavParse parse_wav(std::span<const std::uint8_t> bytes) {
  WavParse result;
  const auto fail = [&](ErrorCode code, std::string detail = {}) {
    result.error = Error{code, std::move(detail)};
    return result;
  };
  const WavChunks chunks = find_chunks(bytes);
  if (chunks.error) {
    result.error = chunks.error;
    return result;
  }
  const std::optional<Format>& format = chunks.format;
  if (!format) return fail(ErrorCode::wav_no_fmt);
  if (!chunks.data) return fail(ErrorCode::wav_no_data);
  const std::span<const std::uint8_t> data = *chunks.data;
  const Format& f = *format;
  if (f.tag != kFormatPcm && f.tag != kFormatFloat) {
    return fail(ErrorCode::wav_encoding, std::to_string(f.tag));
  }
  const bool bits_ok = f.tag == kFormatPcm ? (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32)
                                           : (f.bits == 32 || f.bits == 64);
  if (!bits_ok) return fail(ErrorCode::wav_bits, std::to_string(f.bits));
  if (f.channels == 0) return fail(ErrorCode::wav_no_channels);
  if (f.rate < 1000 || f.rate > 768000) return fail(ErrorCode::wav_rate, std::to_string(f.rate));
  const std::size_t frame_bytes = static_cast<std::size_t>(f.bits / 8) * f.channels;
  if (f.block_align != 0 && f.block_align != frame_bytes) return fail(ErrorCode::wav_block_align);

  const std::size_t frames = data.size() / frame_bytes;
  WavData out;
  out.sample_rate = f.rate;
  out.channels = f.channels;
  out.interleaved.resize(frames * f.channels);
  const std::size_t step = f.bits / 8;
  for (std::size_t i = 0; i < out.interleaved.size(); ++i) {
    out.interleaved[i] = decode_sample(data.data() + i * step, f);
  }
  result.data = std::move(out);
  return result;
}

std::vector<float> mix_to_mono(const std::vector<float>& interleaved, unsigned channels) {
  if (channels <= 1) return interleaved;
  std::vector<float> mono(interleaved.size() / channels);
  for (std::size_t frame = 0; frame < mono.size(); ++frame) {
    double sum = 0;
    for (unsigned c = 0; c < channels; ++c) sum += interleaved[frame * channels + c];
    mono[frame] = static_cast<float>(sum / channels);
  }
  return mono;
}

WavRead read_wav_16k_mono(const std::filesystem::path& path) {
  WavRead result;
  const auto fail = [&](ErrorCode code, std::string detail = {}) {
    result.error = unreadable(Error{code, std::move(detail)});
    return result;
  };
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return fail(ErrorCode::wav_file_error, path_to_utf8(path) + "：" + ec.message());
  if (size > kMaxWavBytes) return fail(ErrorCode::wav_file_too_big);
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(ErrorCode::wav_open_failed, path_to_utf8(path));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return fail(ErrorCode::wav_read_failed);

  return decode_wav_16k_mono(bytes);
}

WavRead decode_wav_16k_mono(std::span<const std::uint8_t> bytes) {
  WavRead result;
  WavParse parsed = parse_wav(bytes);
  if (!parsed.data) {
    result.error = unreadable(*parsed.error);
    return result;
  }
  std::vector<float> mono = mix_to_mono(parsed.data->interleaved, parsed.data->channels);
  if (parsed.data->sample_rate != kSampleRate) {
    Resampler resampler(static_cast<int>(parsed.data->sample_rate), kSampleRate);
    if (!resampler.valid()) {
      result.error = unreadable(Error{ErrorCode::resampler_failed, {}});
      return result;
    }
    mono = resampler.resample(mono, /*flush=*/true);
  }
  result.samples = std::move(mono);
  return result;
}

std::string encode_wav_16k_mono(std::span<const float> samples) {
  const std::uint32_t data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::string out;
  out.reserve(44 + data_bytes);
  const auto put16 = [&](std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  };
  const auto put32 = [&](std::uint32_t v) {
    put16(static_cast<std::uint16_t>(v & 0xFFFF));
    put16(static_cast<std::uint16_t>(v >> 16));
  };
  out += "RIFF";
  put32(36 + data_bytes);
  out += "WAVEfmt ";
  put32(16);
  put16(kFormatPcm);
  put16(1);
  put32(kSampleRate);
  put32(kSampleRate * 2);
  put16(2);
  put16(16);
  out += "data";
  put32(data_bytes);
  for (const float s : samples) {
    const float clamped = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(clamped * 32767.0f))));
  }
  return out;
}

Status write_wav_16k_mono(const std::filesystem::path& path, std::span<const float> samples) {
  std::error_code ec;
  if (path.has_parent_path()) {
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) return Error{ErrorCode::wav_dir_failed, ec.message()};
  }
  if (Status written = write_whole_file(path, encode_wav_16k_mono(samples), FileAccess::owner_only);
      !written) {
    return Error{ErrorCode::wav_write_failed, user_message(written.error())};
  }
  return {};
}

}  // namespace kesu
