#include "pipeline/aux_threads.h"

#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "util/log.h"
#include "util/thread_name.h"

namespace kesu {

bool AuxThreads::spawn(const char* name, std::function<void()> job) {
  {
    std::lock_guard lock(state_->mu);
    ++state_->running;
  }
  auto finished = [state = state_] {
    std::lock_guard lock(state->mu);
    --state->running;
    state->cv.notify_all();
  };
  try {
    std::thread([name, job = std::move(job), finished]() mutable {
      name_this_thread(name);
      try {
        job();
      } catch (const std::exception& e) {
        log_line(std::string(name) + " 线程出错：" + e.what());
      } catch (...) {
        log_line(std::string(name) + " 线程出错");
      }
      // What the job holds (the shared state, models) is let go before the worker hears the
      // job is done: otherwise the last reference could be dropped here while the process exits.
      try {
        job = nullptr;
      } catch (...) {
      }
      finished();
    }).detach();
    return true;
  } catch (const std::system_error& e) {
    log_line(std::string("起不了线程 ") + name + "：" + e.what());
    finished();
    return false;
  }
}

bool AuxThreads::wait_all(std::chrono::milliseconds limit) {
  std::unique_lock lock(state_->mu);
  return state_->cv.wait_for(lock, limit, [&] { return state_->running == 0; });
}

}  // namespace kesu
