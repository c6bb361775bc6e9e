#include "inject/insertion_result.h"

#include "main/core_calls.h"

namespace kesu::shell {

void handle_insertion_result(AppState& state, const InsertionResult& r, const ResultSinks& sinks) {
  sinks.trace("injected-in");
  sinks.trace("injected-lock-wait");
  {
    std::lock_guard lock(state.mu);
    sinks.trace("injected-locked");
    if (state.core) {
      sinks.trace("injected-submit");
      (void)CoreCalls(*state.core).submit_result(r.task_id, r.status, r.detail);
      sinks.trace("injected-submitted");
    }
    if (r.status != "ok") {
      (void)sinks.set_clipboard(r.text);
      if (state.views.overlay != nullptr) state.views.overlay->show_tip(r.detail);
    }
  }
  if (r.status == "ok") {
    sinks.trace("injected-watch");
    sinks.start_observer(r.text);
    sinks.trace("injected-watched");
  }
  sinks.trace("injected-out");
}

}  // namespace kesu::shell
