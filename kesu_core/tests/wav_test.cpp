#include <cmath>
#include <numbers>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/wav.h"
#include "support/event_recorder.h"
#include "util/paths.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(Bytes& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void put_tag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct WavSpec {
  std::uint16_t tag = 1;
  std::uint16_t channels = 1;
  std::uint32_t rate = 16000;
  std::uint16_t bits = 16;
  bool extensible = false;
  bool extra_chunk = false;           // an odd-sized LIST chunk before "data"
  std::int64_t data_size_delta = 0;   // declared data size minus the real one
};

// One frame per value; every channel carries the same value.
Bytes make_wav(const WavSpec& s, const std::vector<double>& values) {
  Bytes data;
  for (const double v : values) {
    for (int c = 0; c < s.channels; ++c) {
      if (s.tag == 3 && s.bits == 32) {
        float f = static_cast<float>(v);
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        put32(data, u);
      } else if (s.tag == 3) {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        put32(data, u & 0xFFFFFFFF);
        put32(data, u >> 32);
      } else if (s.bits == 8) {
        data.push_back(static_cast<std::uint8_t>(std::lround(v * 127) + 128));
      } else if (s.bits == 16) {
        put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767))));
      } else if (s.bits == 24) {
        const auto i = static_cast<std::int32_t>(std::lround(v * 8388607));
        data.push_back(i & 0xFF);
        data.push_back((i >> 8) & 0xFF);
        data.push_back((i >> 16) & 0xFF);
      } else {
        put32(data, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 2147483647.0))));
      }
    }
  }
  Bytes b;
  put_tag(b, "RIFF");
  put32(b, 0);  // patched below
  put_tag(b, "WAVE");
  put_tag(b, "fmt ");
  put32(b, s.extensible ? 40 : 16);
  put16(b, s.extensible ? 0xFFFE : s.tag);
  put16(b, s.channels);
  put32(b, s.rate);
  put32(b, s.rate * s.channels * (s.bits / 8));
  put16(b, s.channels * (s.bits / 8));
  put16(b, s.bits);
  if (s.extensible) {
    put16(b, 22);
    put16(b, s.bits);
    put32(b, 0);
    put16(b, s.tag);  // sub-format GUID starts with the format tag
    for (int i = 0; i < 14; ++i) b.push_back(0);
  }
  if (s.extra_chunk) {
    put_tag(b, "LIST");
    put32(b, 3);
    b.insert(b.end(), {'a', 'b', 'c', 0});  // 3 bytes + 1 pad byte
  }
  put_tag(b, "data");
  put32(b, static_cast<std::uint32_t>(static_cast<std::int64_t>(data.size()) + s.data_size_delta));
  b.insert(b.end(), data.begin(), data.end());
  const std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
  std::memcpy(b.data() + 4, &riff, 4);
  return b;
}

const std::vector<double> kRamp = {0.0, 0.5, -0.5, 0.25, -1.0, 0.75};

TEST(Wav, DecodesEverySupportedSampleFormat) {
  struct Case {
    WavSpec spec;
    double tolerance;
    const char* name;
  };
  const Case cases[] = {
      {{1, 1, 16000, 8}, 1.0 / 100, "8-bit unsigned"},
      {{1, 1, 16000, 16}, 1.0 / 30000, "16-bit"},
      {{1, 1, 16000, 24}, 1e-6, "24-bit"},
      {{1, 1, 16000, 32}, 1e-7, "32-bit integer"},
      {{3, 1, 16000, 32}, 0, "32-bit float"},
      {{3, 1, 16000, 64}, 1e-7, "64-bit float"},
      {{1, 1, 16000, 16, true}, 1.0 / 30000, "extensible PCM"},
      {{3, 1, 16000, 32, true}, 0, "extensible float"},
      {{1, 3, 16000, 16, false, true}, 1.0 / 30000, "three channels and an odd extra chunk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const kesu::WavParse parsed = kesu::parse_wav(make_wav(c.spec, kRamp));
    ASSERT_TRUE(parsed.data.has_value());
    const std::vector<float> mono = kesu::mix_to_mono(parsed.data->interleaved, parsed.data->channels);
    ASSERT_EQ(mono.size(), kRamp.size());
    for (std::size_t i = 0; i < kRamp.size(); ++i) EXPECT_NEAR(mono[i], kRamp[i], c.tolerance + 1e-7);
  }
}

TEST(Wav, RefusesWhatItCannotReadWithAReason) {
  struct Case {
    Bytes bytes;
    const char* reason;
  };
  Bytes not_riff = make_wav({}, kRamp);
  std::memcpy(not_riff.data(), "RIFX", 4);
  Bytes no_data = make_wav({}, kRamp);
  no_data.resize(36);  // header up to the end of "fmt "
  Bytes adpcm = make_wav({2, 1, 16000, 4}, {});
  const Case cases[] = {
      {Bytes{'R', 'I', 'F'}, "文件太短，不是完整的 WAV"},
      {not_riff, "不是 RIFF/WAVE 文件"},
      {no_data, "缺少 data 块"},
      {adpcm, "不支持的编码格式 2（只支持 PCM 和浮点）"},
      {make_wav({1, 0, 16000, 16}, kRamp), "声道数为 0"},
      {make_wav({1, 1, 16000, 12}, {}), "不支持的位深 12"},
      {make_wav({1, 1, 0, 16}, kRamp), "采样率 0 不合理"},
  };
  for (const Case& c : cases) {
    const kesu::WavParse parsed = kesu::parse_wav(c.bytes);
    EXPECT_FALSE(parsed.data.has_value()) << c.reason;
    ASSERT_TRUE(parsed.error) << c.reason;
    EXPECT_EQ(kesu::user_message(*parsed.error), c.reason);
  }
}

TEST(Wav, DeclaredSizesLargerThanTheFileReadWhatIsThere) {
  WavSpec spec;
  spec.data_size_delta = 1'000'000'000;  // a recorder that never fixed its header
  const kesu::WavParse parsed = kesu::parse_wav(make_wav(spec, kRamp));
  ASSERT_TRUE(parsed.data.has_value());
  EXPECT_EQ(parsed.data->interleaved.size(), kRamp.size());

  Bytes truncated = make_wav({}, kRamp);
  truncated.resize(truncated.size() - 3);  // half a sample at the end
  const kesu::WavParse cut = kesu::parse_wav(truncated);
  ASSERT_TRUE(cut.data.has_value());
  EXPECT_EQ(cut.data->interleaved.size(), kRamp.size() - 2);
}

TEST(Wav, FilesAreResampledTo16kMonoAndWrittenBack) {
  kesu_test::TempDir dir;
  std::vector<double> tone(48000);  // one second of 440 Hz at 48 kHz, stereo
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5 * std::sin(2 * std::numbers::pi * 440 * i / 48000.0);
  const Bytes file = make_wav({1, 2, 48000, 16}, tone);
  const auto path = dir.path() / "声音.wav";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                              static_cast<std::streamsize>(file.size()));
  const kesu::WavRead read = kesu::read_wav_16k_mono(path);
  ASSERT_TRUE(read.samples.has_value());
  EXPECT_NEAR(static_cast<double>(read.samples->size()), 16000.0, 16.0);
  double peak = 0;
  for (const float s : *read.samples) peak = std::max(peak, static_cast<double>(std::fabs(s)));
  EXPECT_NEAR(peak, 0.5, 0.02);

  const auto out = dir.path() / "sub" / "out.wav";
  ASSERT_TRUE(kesu::write_wav_16k_mono(out, *read.samples).ok());
  const kesu::WavRead again = kesu::read_wav_16k_mono(out);
  ASSERT_TRUE(again.samples.has_value());
  ASSERT_EQ(again.samples->size(), read.samples->size());
  for (std::size_t i = 0; i < again.samples->size(); i += 97) {
    EXPECT_NEAR((*again.samples)[i], (*read.samples)[i], 1.0 / 16000);
  }
  EXPECT_EQ(std::filesystem::file_size(out), 44 + 2 * read.samples->size());
}

TEST(Wav, ReadAndWriteErrorsAreWorded) {
  kesu_test::TempDir dir;
  const kesu::WavRead missing = kesu::read_wav_16k_mono(dir.path() / "none.wav");
  ASSERT_FALSE(missing.samples.has_value());
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(kesu::user_message(*missing.error).rfind("读取 WAV 失败：" + kesu::path_to_utf8(dir.path() / "none.wav") + "：", 0), 0u)
      << kesu::user_message(*missing.error);

  // A malformed image read through the reader keeps the parser's precise reason after the lead.
  const kesu::WavRead bad = kesu::decode_wav_16k_mono(make_wav({1, 0, 16000, 16}, kRamp));
  ASSERT_TRUE(bad.error);
  EXPECT_EQ(kesu::user_message(*bad.error), "读取 WAV 失败：声道数为 0");

  std::ofstream(dir.path() / "file") << "x";
  const std::vector<float> samples(10, 0.1f);
  const kesu::Status blocked = kesu::write_wav_16k_mono(dir.path() / "file" / "a.wav", samples);
  ASSERT_FALSE(blocked.ok());
  EXPECT_EQ(kesu::user_message(blocked.error()).rfind("建目录失败：", 0), 0u);
  std::filesystem::create_directories(dir.path() / "dir.wav");
  const kesu::Status unwritable = kesu::write_wav_16k_mono(dir.path() / "dir.wav", samples);
  ASSERT_FALSE(unwritable.ok());
  EXPECT_EQ(kesu::user_message(unwritable.error()).rfind("写 WAV 失败：", 0), 0u);
}

// Random corruptions of valid files must never crash or read out of bounds (ASan watches).
TEST(Wav, MutatedFilesNeverCrashTheReader) {
  std::mt19937 random(2026);
  const Bytes seeds[] = {make_wav({1, 2, 44100, 16, false, true}, kRamp),
                         make_wav({3, 1, 16000, 32, true}, kRamp), make_wav({1, 1, 8000, 24}, kRamp)};
  for (int round = 0; round < 3000; ++round) {
    Bytes b = seeds[round % 3];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
      switch (random() % 3) {
        case 0: b[random() % b.size()] = static_cast<std::uint8_t>(random()); break;
        case 1: b.resize(random() % (b.size() + 1)); break;
        default: b.insert(b.begin() + static_cast<std::ptrdiff_t>(random() % (b.size() + 1)), static_cast<std::uint8_t>(random())); break;
      }
      if (b.empty()) b.push_back(0);
    }
    const kesu::WavParse parsed = kesu::parse_wav(b);
    if (parsed.data) {
      EXPECT_LE(parsed.data->interleaved.size() * 1, b.size());  // never more samples than bytes
    } else {
      EXPECT_TRUE(parsed.error.has_value());
    }
  }
}

}  // namespace
