#include "models/model_pull.h"

#include <system_error>

#include "models/download.h"
#include "util/log.h"
#include "util/paths.h"
#include "util/thread_name.h"

namespace kesu {

namespace fs = std::filesystem;

bool DownloadSlot::try_take(std::string_view id) {
  std::lock_guard lock(mu_);
  if (!id_.empty()) return false;
  id_ = id;
  return true;
}

void DownloadSlot::clear() {
  std::lock_guard lock(mu_);
  id_.clear();
}

bool DownloadSlot::busy() const {
  std::lock_guard lock(mu_);
  return !id_.empty();
}

namespace {

struct PullTask {
  ModelPullInputs core;
  std::shared_ptr<DownloadSlot> slot;
  ModelSelfTest self_test;
  const CatalogRow* row;
  fs::path models_dir;
  std::string mirror;
  std::string proxy;
};

// System error texts may arrive in the ANSI code page on Windows; a stray byte must not cost
// the user the event, so invalid UTF-8 is replaced rather than refused.
void emit(EventSink& events, std::string_view type, const nlohmann::json& payload) {
  events.emit_core_event(
      type, payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// Deletes what a model that does not load left behind: the marker, and the directory of its own
// when it has one (other models in the models directory are never touched).
void remove_broken_install(const fs::path& models_dir, const CatalogRow& row) {
  std::error_code ec;
  fs::remove(marker_path(models_dir, row), ec);
  if (auto own = model_own_directory(models_dir, row)) fs::remove_all(*own, ec);
}

// The terminal event of one pull.
nlohmann::json finish_pull(const PullTask& task) {
  const std::string id(task.row->id);
  DownloadJob job;
  job.row = task.row;
  job.models_dir = task.models_dir;
  job.mirror = task.mirror;
  job.proxy_setting = task.proxy;
  job.cancel = task.core.exiting.get();
  job.progress = [&](std::uint64_t received, std::uint64_t total) {
    emit(*task.core.events, "model_progress",
         {{"id", id}, {"phase", "downloading"}, {"received", received}, {"total", total}});
  };
  const Result<fs::path> outcome = run_download(job);
  if (!outcome) {
    return {{"type", "model_failed"},
            {"payload", {{"id", id}, {"message", user_message(outcome.error())}}}};
  }
  const std::string marker = path_to_utf8(*outcome);
  Status checked;
  try {
    checked = task.self_test(*task.row, outcome->parent_path());
  } catch (const std::exception& e) {
    checked = Error{ErrorCode::other, e.what()};
  } catch (...) {
    checked = Error{ErrorCode::other, "自检时内部错误"};
  }
  if (!checked) {
    remove_broken_install(task.models_dir, *task.row);
    return {
        {"type", "model_failed"},
        {"payload",
         {{"id", id},
          {"message", user_message({ErrorCode::download_unusable, user_message(checked.error())})},
          {"path", marker}}}};
  }
  return {{"type", "model_done"}, {"payload", {{"id", id}, {"path", marker}}}};
}

void run_pull(const PullTask& task) {
  name_this_thread("kesu-model-pull");
  const std::string id(task.row->id);
  nlohmann::json terminal;
  try {
    emit(*task.core.events, "model_progress",
         {{"id", id}, {"phase", "starting"}, {"received", 0}, {"total", 0}});
    terminal = finish_pull(task);
  } catch (const std::exception& e) {
    log_line(std::string("模型下载线程出错：") + e.what());
    terminal = {{"type", "model_failed"},
                {"payload", {{"id", id}, {"message", std::string("内部错误：") + e.what()}}}};
  } catch (...) {
    log_line("模型下载线程出错");
    terminal = {{"type", "model_failed"}, {"payload", {{"id", id}, {"message", "内部错误"}}}};
  }
  // The slot is free before the host hears the outcome, so a host that starts the next download
  // as soon as one ends is not turned away.
  task.slot->clear();
  try {
    emit(*task.core.events, terminal["type"].get<std::string>(), terminal["payload"]);
  } catch (const std::exception& e) {
    log_line(std::string("模型下载结果发不出去：") + e.what());
  }
}

bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

}  // namespace

ModelPuller::ModelPuller(ModelPullInputs core, ModelSelfTest self_test)
    : core_(std::move(core)), self_test_(std::move(self_test)) {}

ModelPuller::~ModelPuller() { shutdown(); }

ModelPuller::PullResult ModelPuller::pull(std::string_view id) {
  const CatalogRow* row = find_catalog_row(id);
  if (row == nullptr) return {Answer::unknown, "未知的模型：" + std::string(id)};
  const ConfigPtr config = core_.config->snapshot();
  const fs::path models_dir = models_base(core_.core_dir);
  if (present(marker_path(models_dir, *row))) return {Answer::installed, "这个模型已经装好了"};
  if (!slot_->try_take(id)) return {Answer::busy, "已经有模型在下载了，等它完成"};

  PullTask task{
      core_, slot_, self_test_, row, models_dir, config->models_mirror, config->models_proxy};
  std::lock_guard lock(thread_mu_);
  if (closed_ || core_.exiting->load()) {
    slot_->clear();
    return {Answer::shutting_down, "参数错误"};
  }
  // The previous download has freed the slot, so its thread is ending; when the host pulls
  // from inside that thread's own final event, it cannot wait for itself.
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  try {
    thread_ = std::thread(run_pull, std::move(task));
  } catch (const std::system_error& e) {
    slot_->clear();
    return {Answer::no_thread, std::string("起不了下载线程：") + e.what()};
  }
  return {Answer::accepted, {}};
}

void ModelPuller::shutdown() {
  std::thread running;
  {
    std::lock_guard lock(thread_mu_);
    closed_ = true;
    running = std::move(thread_);
  }
  if (!running.joinable()) return;
  if (running.get_id() == std::this_thread::get_id()) {
    running.detach();
  } else {
    running.join();
  }
}

}  // namespace kesu
