#pragma once

// The outcome of one insertion, handled on the user-interface thread: the core hears it, and a
// text that did not arrive stays on the clipboard with the reason on the overlay.

#include <functional>
#include <string>
#include <string_view>

#include "main/app_state.h"

namespace kesu::shell {

struct InsertionResult {
  std::string task_id;
  std::string text;
  std::string detail;
  std::string status;
};

struct ResultSinks {
  std::function<void(std::string_view)> trace;
  std::function<bool(std::string_view)> set_clipboard;
  std::function<void(std::string_view)> start_observer;
};

void handle_insertion_result(AppState& state, const InsertionResult& result, const ResultSinks& sinks);

}  // namespace kesu::shell
