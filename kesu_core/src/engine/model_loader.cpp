#include "engine/model_loader.h"

#include <array>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/config_record.h"
#include "config/model_files.h"
#include "sherpa/dynlib.h"
#include "util/atomic_file.h"
#include "util/child_process.h"
#include "util/log.h"
#include "util/paths.h"

namespace kesu {

namespace {

// Loading the largest model (Qwen3-ASR, ~900 MB) on a slow disk stays well inside this.
constexpr std::chrono::seconds kCheckTimeout{180};
constexpr std::size_t kHashedBytes = 1 << 20;

// Why the checker did not vouch for the model.
Error checker_failure(const ChildResult& outcome) {
  switch (outcome.end) {
    case ChildResult::End::start_failed:
      return {ErrorCode::model_check_start_failed, outcome.error ? user_message(*outcome.error) : std::string()};
    case ChildResult::End::timed_out:
    case ChildResult::End::cancelled:
      return {ErrorCode::model_check_timed_out, {}};
    case ChildResult::End::exited:
      break;
  }
  if (outcome.signal != 0) return {ErrorCode::model_check_signalled, std::to_string(outcome.signal)};
  return {ErrorCode::model_check_exit_code, std::to_string(outcome.exit_code)};
}

std::filesystem::path validated_path(const std::filesystem::path& core_dir) {
  return models_base(core_dir) / ".validated.json";
}

// FNV-1a over the first and the last MiB: catches a truncated, replaced or re-downloaded file
// without reading a whole 900 MB model at every start (size and time are compared as well).
std::optional<std::string> sampled_hash(const std::filesystem::path& file, std::uintmax_t size) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::uint64_t hash = 1469598103934665603ull;
  std::vector<char> buffer(kHashedBytes);
  auto mix = [&](std::streamoff from) {
    in.clear();
    in.seekg(from);
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash ^= static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)]);
      hash *= 1099511628211ull;
    }
  };
  mix(0);
  if (size > kHashedBytes) mix(static_cast<std::streamoff>(size - kHashedBytes));
  std::array<char, 17> text{};
  std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(hash));
  return std::string(text.data());
}

// Size and modification time of each file: enough to notice a change within one run, where
// the files were hashed once already.
std::optional<std::string> quick_stamp(const std::vector<std::filesystem::path>& files) {
  std::string stamp;
  for (const std::filesystem::path& file : files) {
    const std::optional<std::string> one = file_change_stamp(file);
    if (!one) return std::nullopt;
    stamp += *one + ";";
  }
  return stamp;
}

std::optional<nlohmann::json> fingerprint(const std::vector<std::filesystem::path>& files) {
  nlohmann::json out = nlohmann::json::array();
  for (const std::filesystem::path& file : files) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    const auto mtime = std::filesystem::last_write_time(file, ec);
    if (ec) return std::nullopt;
    const auto hash = sampled_hash(file, size);
    if (!hash) return std::nullopt;
    out.push_back({{"hash", *hash},
                   {"mtime", static_cast<std::int64_t>(mtime.time_since_epoch().count())},
                   {"path", path_to_utf8(file)},
                   {"size", size}});
  }
  return out;
}

std::vector<std::filesystem::path> files_of(ModelKind kind, const std::filesystem::path& target) {
  switch (kind) {
    case ModelKind::sense:
      return sense_files(target);
    case ModelKind::qwen3:
      return qwen3_files(target);
    default:
      return {target};
  }
}

nlohmann::json read_records(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return nlohmann::json::object();
  nlohmann::json records = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  return records.is_object() ? records : nlohmann::json::object();
}

// Serialises the read-modify-write of .validated.json between the core's threads, and guards
// the memo of what was confirmed during this run (so each decode does not hash the VAD model
// again).
std::mutex& records_mutex() {
  static std::mutex mu;
  return mu;
}
std::map<std::string, std::string>& confirmed_this_run() {
  static std::map<std::string, std::string> stamps;  // guarded by records_mutex()
  return stamps;
}

}  // namespace

std::string_view model_kind_name(ModelKind kind) {
  switch (kind) {
    case ModelKind::sense: return "sense";
    case ModelKind::qwen3: return "qwen3";
    case ModelKind::vad: return "vad";
    case ModelKind::punct: return "punct";
    case ModelKind::gtcrn: return "gtcrn";
    case ModelKind::speaker: return "speaker";
  }
  return "";
}

std::optional<ModelKind> model_kind_from_name(std::string_view name) {
  for (ModelKind kind : {ModelKind::sense, ModelKind::qwen3, ModelKind::vad, ModelKind::punct,
                         ModelKind::gtcrn, ModelKind::speaker}) {
    if (model_kind_name(kind) == name) return kind;
  }
  return std::nullopt;
}

const char* model_checker_file_name() {
#ifdef _WIN32
  return "kesu-model-check.exe";
#else
  return "kesu-model-check";
#endif
}

ModelLoader::ModelLoader(SherpaLoad sherpa, std::filesystem::path core_dir,
                         std::filesystem::path checker)
    : sherpa_(std::move(sherpa)), core_dir_(std::move(core_dir)), checker_(std::move(checker)) {}

ModelLoader ModelLoader::for_core(const std::filesystem::path& core_dir) {
  return ModelLoader(load_sherpa(), core_dir, this_module_directory() / model_checker_file_name());
}

Result<const SherpaApi*> ModelLoader::require_api() const {
  if (sherpa_.api == nullptr) return Error{ErrorCode::sherpa_unavailable, sherpa_.error};
  return sherpa_.api;
}

Status ModelLoader::validate(ModelKind kind, const std::filesystem::path& target) const {
  const std::vector<std::filesystem::path> files = files_of(kind, target);
  const std::filesystem::path records_file = validated_path(core_dir_);
  const std::string key = std::string(model_kind_name(kind)) + "|" + path_to_utf8(target);
  const std::string memo_key = path_to_utf8(records_file) + "|" + key;
  const std::optional<std::string> stamp = quick_stamp(files);
  if (!stamp) return Error{ErrorCode::model_unreadable, path_to_utf8(target)};
  {
    std::lock_guard lock(records_mutex());
    const auto memo = confirmed_this_run().find(memo_key);
    if (memo != confirmed_this_run().end() && memo->second == *stamp) return {};
  }
  const std::optional<nlohmann::json> now = fingerprint(files);
  if (!now) return Error{ErrorCode::model_unreadable, path_to_utf8(target)};
  {
    std::lock_guard lock(records_mutex());
    const nlohmann::json records = read_records(records_file);
    if (records.contains(key) && records[key] == *now) {
      confirmed_this_run()[memo_key] = *stamp;
      return {};
    }
  }

  if (!is_file(checker_)) return Error{ErrorCode::model_checker_missing, path_to_utf8(checker_)};
  ChildSpec check;
  check.argv = {path_to_utf8(checker_), std::string(model_kind_name(kind)), path_to_utf8(target)};
  check.timeout = kCheckTimeout;
  const ChildResult outcome = run_child(check);
  if (outcome.end != ChildResult::End::exited || outcome.exit_code != 0) {
    Error why = checker_failure(outcome);
    log_line("模型检查没通过（" + std::string(model_kind_name(kind)) + "）：" +
             path_to_utf8(target) + "：" + user_message(why));
    return why;
  }

  std::lock_guard lock(records_mutex());
  nlohmann::json records = read_records(records_file);
  records[key] = *now;
  confirmed_this_run()[memo_key] = *stamp;
  std::error_code ec;
  std::filesystem::create_directories(records_file.parent_path(), ec);
  std::filesystem::path temporary = records_file;
  temporary += ".tmp";
  Status written = write_whole_file(temporary, records.dump(2));
  if (written) written = replace_file(temporary, records_file);
  // Checked again next time; nothing lost.
  if (!written) log_line("记录模型检查结果失败：" + user_message(written.error()));
  return {};
}

}  // namespace kesu
