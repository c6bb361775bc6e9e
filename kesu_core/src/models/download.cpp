#include "models/download.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "models/download_rules.h"
#include "util/child_process.h"
#include "models/proxy.h"
#include "util/log.h"
#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(120);
constexpr auto kProgressInterval = std::chrono::milliseconds(400);
const Error kCancelled{ErrorCode::download_cancelled, {}};

std::uint64_t size_or_zero(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

void remove_quietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

std::string read_whole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> with_proxy(std::vector<std::string> head, const std::string& proxy,
                                    std::initializer_list<std::string> tail) {
  if (!proxy.empty()) {
    head.push_back("--proxy");
    head.push_back(proxy);
  }
  head.insert(head.end(), tail);
  return head;
}

// The files of one model under <models dir>/.download.
struct DownloadFiles {
  fs::path finished;
  fs::path partial;
  fs::path error_file;
};

class Fetcher {
 public:
  Fetcher(const DownloadJob& job, DownloadFiles files, std::string proxy)
      : job_(job), files_(std::move(files)), proxy_(std::move(proxy)) {}

  // One candidate address; success when the finished download is in place.
  Status fetch(const std::string& url) {
    const std::string curl = system_tool("curl");
    const std::uint64_t starting = size_or_zero(files_.partial);

    const ChildResult probe =
        run_captured(with_proxy({curl}, proxy_, {"-sIL", "--max-time", "20", url}), job_.cancel);
    if (probe.end == ChildResult::End::cancelled) return kCancelled;
    const std::uint64_t expected =
        probe.end == ChildResult::End::start_failed ? 0 : std::max(probe_size(probe.out), starting);

    ChildSpec fetch;
    fetch.argv = with_proxy({curl}, proxy_,
                            {"-fL", "--retry", "2", "--connect-timeout", "20", "-C", "-", "-o",
                             path_to_utf8(files_.partial), url});
    fetch.err = ChildSpec::Output::to_file;
    fetch.err_file = files_.error_file;
    Result<std::unique_ptr<ChildProcess>> started = ChildProcess::start(fetch);
    if (!started) return Error{ErrorCode::curl_start_failed, user_message(started.error())};
    ChildProcess& child = **started;

    auto last_event = std::chrono::steady_clock::now();
    std::optional<int> exit_code;
    for (;;) {
      if (cancelled()) {
        child.kill();
        return kCancelled;
      }
      const Result<std::optional<int>> state = child.poll();
      if (!state) {
        child.kill();
        return Error{ErrorCode::curl_wait_failed, user_message(state.error())};
      }
      exit_code = *state;
      if (exit_code) break;
      const auto now = std::chrono::steady_clock::now();
      if (now - last_event >= kProgressInterval) {
        report(size_or_zero(files_.partial), expected);
        last_event = now;
      }
      std::this_thread::sleep_for(kPollInterval);
    }

    if (*exit_code != 0) {
      return curl_failure(*exit_code, read_whole(files_.error_file), proxy_);
    }
    remove_quietly(files_.error_file);
    const std::uint64_t final_size = size_or_zero(files_.partial);
    report(final_size, final_size);
    std::error_code ec;
    fs::rename(files_.partial, files_.finished, ec);
    if (ec) return Error{ErrorCode::download_rename_failed, error_text(ec)};
    return Status::success();
  }

 private:
  bool cancelled() const { return job_.cancel != nullptr && job_.cancel->load(); }
  void report(std::uint64_t received, std::uint64_t total) const {
    if (job_.progress) job_.progress(received, total);
  }

  const DownloadJob& job_;
  DownloadFiles files_;
  std::string proxy_;
};

// Removes what a cut-short unpacking left behind, so a half-written model never looks installed.
void remove_partial_install(const DownloadJob& job) {
  std::error_code ec;
  if (auto own = model_own_directory(job.models_dir, *job.row)) {
    fs::remove_all(*own, ec);
  } else {
    fs::remove(marker_path(job.models_dir, *job.row), ec);
  }
}

Result<fs::path> install(const DownloadJob& job, const fs::path& finished) {
  const CatalogRow& row = *job.row;
  const fs::path target = marker_path(job.models_dir, row);
  std::error_code ec;
  if (!row.archive) {
    fs::create_directories(target.parent_path(), ec);
    if (!ec) fs::copy_file(finished, target, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      remove_quietly(target);
      return Error{ErrorCode::model_copy_failed, error_text(ec)};
    }
    remove_quietly(finished);
    return target;
  }

  const ChildResult tar = run_captured(
      {system_tool("tar"), "-xjf", path_to_utf8(finished), "-C", path_to_utf8(job.models_dir)},
      job.cancel);
  switch (tar.end) {
    case ChildResult::End::start_failed:
      return Error{ErrorCode::tar_start_failed, tar.error ? user_message(*tar.error) : ""};
    case ChildResult::End::cancelled:
    case ChildResult::End::timed_out:  // never set here; killed before its end all the same
      remove_partial_install(job);
      return kCancelled;
    case ChildResult::End::exited:
      break;
  }
  if (tar.exit_code != 0) {
    // A download that does not unpack would fail the same way on every retry: drop it so the
    // next attempt fetches it afresh, and drop whatever was unpacked before tar gave up.
    remove_quietly(finished);
    remove_partial_install(job);
    const std::string& output = tar.err.empty() ? tar.out : tar.err;
    return Error{ErrorCode::unpack_failed,
                 detail_parts({std::to_string(tar.exit_code), trim_unicode(lossy_utf8(output))})};
  }
  remove_quietly(finished);
  return target;
}

}  // namespace

fs::path marker_path(const fs::path& models_dir, const CatalogRow& row) {
  return (models_dir / path_from_utf8(row.marker)).make_preferred();
}

std::optional<fs::path> model_own_directory(const fs::path& models_dir, const CatalogRow& row) {
  const fs::path relative = path_from_utf8(row.marker);
  if (!relative.has_parent_path()) return std::nullopt;
  return (models_dir / *relative.begin()).make_preferred();
}

Result<fs::path> run_download(const DownloadJob& job) {
  const CatalogRow& row = *job.row;
  const fs::path download_dir = job.models_dir / ".download";
  std::error_code ec;
  fs::create_directories(download_dir, ec);
  if (ec) return Error{ErrorCode::download_dir_failed, error_text(ec)};

  const std::string file_name(row.file_name);
  // The error file is the partial file's name with its last extension replaced by "err".
  DownloadFiles files{download_dir / path_from_utf8(file_name),
                      download_dir / path_from_utf8(file_name + ".part"),
                      download_dir / path_from_utf8(file_name + ".err")};

  if (present(files.finished)) {
    remove_quietly(files.partial);  // a finished download wins over an older partial one
    return install(job, files.finished);
  }

  const std::string proxy = effective_proxy(job.proxy_setting);
  const std::vector<std::string> urls =
      candidate_urls(job.mirror, row.file_name, official_url(row));
  Fetcher fetcher(job, files, proxy);
  for (std::size_t i = 0; i < urls.size(); ++i) {
    const Status fetched = fetcher.fetch(urls[i]);
    if (fetched) return install(job, files.finished);
    if (fetched.error().code == ErrorCode::download_file_missing && i + 1 < urls.size()) {
      remove_quietly(files.partial);
      log_line("镜像没有这个文件，改走官方源：" + urls[i] + "（" + user_message(fetched.error()) +
               "）");
      continue;
    }
    return fetched.error();
  }
  // Unreachable: the official address is always tried.
  return Error{ErrorCode::no_download_url, {}};
}

}  // namespace kesu
