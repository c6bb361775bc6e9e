#include "main/views.h"

#include <thread>

#include "main/logs.h"

namespace kesu::shell {

void ThreadScheduler::after(std::chrono::milliseconds delay, std::function<void()> work) {
  // Detached on purpose: a hide that outlives its reason checks the generation and does nothing.
  std::thread([delay, work = std::move(work)] {
    std::this_thread::sleep_for(delay);
    try {
      work();
    } catch (...) {
      stderr_line("[kesu] 延时任务出错，已忽略");
    }
  }).detach();
}

}  // namespace kesu::shell
