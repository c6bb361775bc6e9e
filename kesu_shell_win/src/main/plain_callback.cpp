#include "main/plain_callback.h"

#include <mutex>

#include <nlohmann/json.hpp>

#include "main/json_members.h"
#include "main/logs.h"
#include "main/text.h"

namespace kesu::shell {

namespace {

std::mutex g_last_mu;
std::string g_last_event;  // guarded by g_last_mu

}  // namespace

void plain_event_callback(const char* json, void* /*user*/) {
  // Exceptions must not unwind into the core's thread.
  try {
    if (json == nullptr) return;
    std::string text = sanitize_utf8(json);
    {
      std::lock_guard lock(g_last_mu);
      g_last_event = text;
    }
    append_event_log(text);
    const auto event = nlohmann::json::parse(text, nullptr, false);
    if (!event.is_object() || event.value("type", nlohmann::json()) != "error") return;
    const auto payload = event.find("payload");
    if (payload == event.end() || !payload->is_object()) return;
    const std::string code = string_member(*payload, "code");
    if (!code.empty()) log_core_error(code, string_member(*payload, "message"));
  } catch (...) {
    stderr_line("[kesu] 测试模式的事件回调出错，已忽略这一条");
  }
}

std::string last_event() {
  std::lock_guard lock(g_last_mu);
  return g_last_event;
}

}  // namespace kesu::shell
