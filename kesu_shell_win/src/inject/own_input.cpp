#include "inject/own_input.h"

#include <atomic>
#include <cstdint>

namespace kesu::shell {

namespace {

std::atomic<int> g_open{0};
// Ticks of the steady clock when the last scope closed; the minimum means "never".
std::atomic<std::int64_t> g_last_end{INT64_MIN};

}  // namespace

OwnInputScope::OwnInputScope() { g_open.fetch_add(1); }

OwnInputScope::~OwnInputScope() {
  g_last_end.store(std::chrono::steady_clock::now().time_since_epoch().count());
  g_open.fetch_sub(1);
}

bool own_input_recent(std::chrono::steady_clock::time_point now) {
  if (g_open.load() > 0) return true;
  const std::int64_t end = g_last_end.load();
  if (end == INT64_MIN) return false;
  const std::chrono::steady_clock::time_point ended{std::chrono::steady_clock::duration(end)};
  return now - ended <= kOwnInputGrace;
}

}  // namespace kesu::shell
