#include "pipeline/pending_files.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>

#include "audio/wav.h"
#include "util/atomic_file.h"
#include "util/log.h"
#include "util/paths.h"

namespace kesu {
namespace fs = std::filesystem;

namespace {
constexpr std::chrono::seconds kMaxAge{86400};
}

PendingFiles::PendingFiles(fs::path core_dir) : dir_(std::move(core_dir) / "pending") {}

fs::path PendingFiles::last_result_path() const { return dir_ / "last_result.txt"; }

fs::path PendingFiles::last_failed_path() const { return dir_ / "last_failed.wav"; }

Status PendingFiles::write_failed_audio(std::span<const float> samples) const {
  return write_wav_16k_mono(last_failed_path(), samples);
}

PendingFiles::FailedAudio PendingFiles::read_failed_audio() const {
  FailedAudio result;
  std::ifstream in(last_failed_path(), std::ios::binary);
  if (!in) return result;  // never failed, or expired
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  WavParse parsed = parse_wav(bytes);
  if (!parsed.data) {
    result.error = Error{ErrorCode::wav_unreadable, user_message(*parsed.error)};
    return result;
  }
  if (parsed.data->sample_rate != kSampleRate) {
    result.error = Error{ErrorCode::pending_wav_rate, std::to_string(parsed.data->sample_rate)};
    return result;
  }
  result.samples = mix_to_mono(parsed.data->interleaved, parsed.data->channels);
  return result;
}

void PendingFiles::remove_expired() const {
  std::error_code ec;
  fs::directory_iterator it(dir_, ec);
  if (ec) return;  // no pending directory yet
  const auto now = fs::file_time_type::clock::now();
  for (const fs::directory_entry& entry : it) {
    std::error_code entry_ec;
    if (!entry.is_regular_file(entry_ec)) continue;
    const auto written = entry.last_write_time(entry_ec);
    if (entry_ec) continue;
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - written);
    if (age > kMaxAge) {
      fs::remove(entry.path(), entry_ec);
      if (entry_ec) {
        log_line("删除过期暂存文件失败：" + path_to_utf8(entry.path()) + "：" + entry_ec.message());
      }
    }
  }
}

std::optional<std::string> PendingFiles::read_last_result() const {
  std::ifstream in(last_result_path(), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.empty()) return std::nullopt;
  return text;
}

Status PendingFiles::write_last_result(std::string_view text) const {
  std::error_code ec;
  fs::create_directories(dir_, ec);
  if (ec) return Error{ErrorCode::last_result_write_failed, ec.message()};
  fs::path tmp = last_result_path();
  tmp += ".tmp";
  Status written = write_whole_file(tmp, text, FileAccess::owner_only);
  if (written) written = replace_file(tmp, last_result_path());
  if (!written) {
    fs::remove(tmp, ec);
    return Error{ErrorCode::last_result_write_failed, user_message(written.error())};
  }
  return {};
}

void PendingFiles::delete_last_result() const {
  std::error_code ec;
  fs::remove(last_result_path(), ec);
}

}  // namespace kesu
