#include "lan/lan_server.h"

#include <chrono>
#include <system_error>

#include "config/config_rules.h"
#include "lan/lan_socket.h"
#include "util/log.h"
#include "util/thread_name.h"

namespace kesu::lan {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kLogSize = 40;

std::uint64_t now_epoch_ms() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

std::uint64_t ms_since(Clock::time_point t) {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

void accept_loop(std::shared_ptr<LanState> state, std::unique_ptr<Listener> listener, RequestContext context) {
  name_this_thread("kesu-lan");
  while (!state->stop.load()) {
    // Waiting in poll rather than sleeping answers a new client at once; the stop flag is
    // still looked at every 80 ms.
    if (!listener->wait_for_connection(80ms)) continue;
    std::optional<Connection> accepted = listener->accept();
    if (!accepted) {
      std::this_thread::sleep_for(80ms);
      continue;
    }
    const auto began = Clock::now();
    if (const Status blocking = accepted->set_blocking(); !blocking) {
      log_line("连接设为阻塞失败：" + user_message(blocking.error()), "[lan]");
      continue;
    }
    LogEntry entry{0, accepted->peer(), {}, 0, 0, 0};
    // This loop never waits on a client: every connection is read on a thread of its own, and
    // one beyond what those threads may hold is turned away with what it has already sent.
    if (!state->connections.try_take()) {
      const RequestOutcome outcome = turn_away_at_once(*accepted);
      entry.path = outcome.path;
      entry.code = static_cast<std::uint16_t>(outcome.status);
      entry.bytes = outcome.body_bytes;
      entry.ms = ms_since(began);
      state->append(std::move(entry));
      continue;
    }
    try {
      auto connection = std::make_shared<Connection>(std::move(*accepted));
      std::thread([state, context, connection, entry, began]() mutable {
        name_this_thread("kesu-lan-req");
        RequestOutcome outcome;
        try {
          outcome = handle_request(*connection, context, state->in_flight);
        } catch (const std::exception& e) {
          log_line(std::string("请求处理出错：") + e.what(), "[lan]");
        }
        connection.reset();
        state->connections.give_back();
        entry.path = std::move(outcome.path);
        entry.code = static_cast<std::uint16_t>(outcome.status);
        entry.bytes = outcome.body_bytes;
        entry.ms = ms_since(began);
        state->append(std::move(entry));
      }).detach();
    } catch (const std::system_error&) {
      state->connections.give_back();  // the connection closes unanswered
    }
  }
}

}  // namespace

void LanState::append(LogEntry entry) {
  entry.at = now_epoch_ms();
  std::lock_guard lock(log_mu);
  log.push_back(std::move(entry));
  while (log.size() > kLogSize) log.pop_front();
}

LanSettings lan_settings(const ConfigRecord& config) {
  LanSettings s;
  s.enabled = config.lan_enabled;
  s.port = static_cast<std::uint16_t>(config.lan_port);
  s.token = trim(config.lan_token);
  s.allow_lan = config.lan_allow_lan;
  return s;
}

std::optional<StartReport> LanServer::apply(ConfigPtr config, CoreAccess core) {
  const LanSettings wanted = lan_settings(*config);
  if (applied_ && *applied_ == wanted) return std::nullopt;
  // The old loop is joined rather than waited out: once it has gone the port is free again.
  stop();
  return start(*config, std::move(core));
}

StartReport LanServer::start(const ConfigRecord& config, CoreAccess core) {
  const LanSettings s = lan_settings(config);
  applied_ = s;
  StartReport report;
  if (!s.enabled) return report;
  if (s.allow_lan && s.token.empty()) {
    report.error = Error{ErrorCode::lan_no_token, {}};
    log_line("拒绝启动：" + user_message(*report.error), "[lan]");
    return report;
  }
  const std::string host = s.allow_lan ? "0.0.0.0" : "127.0.0.1";
  const auto fail = [&](const Error& cause) {
    report.error = Error{ErrorCode::lan_failed, user_message(cause)};
    return report;
  };
  const std::string address = host + ":" + std::to_string(s.port);
  const auto listen_failed = [&](const Error& why) {
    return fail(Error{ErrorCode::lan_listen_failed, detail_parts({address, user_message(why)})});
  };
  Result<std::unique_ptr<Listener>> opened = Listener::open(host, s.port);
  if (!opened) return listen_failed(opened.error());
  std::unique_ptr<Listener> listener = std::move(*opened);
  const Result<std::uint16_t> port = listener->bound_port();
  if (!port) return fail(Error{ErrorCode::lan_port_failed, user_message(port.error())});
  if (const Status nonblocking = listener->set_nonblocking(); !nonblocking) {
    return listen_failed(nonblocking.error());
  }

  state_->stop.store(false);
  try {
    accept_thread_ = std::thread(accept_loop, state_, std::move(listener),
                                 RequestContext{s.token, std::move(core)});
  } catch (const std::system_error& e) {
    return fail(Error{ErrorCode::lan_thread_failed, e.what()});
  }
  {
    std::lock_guard lock(mu_);
    port_ = *port;
  }
  const std::string url = "http://" + host + ":" + std::to_string(*port);
  log_line("监听 " + url + "/transcribe", "[lan]");
  report.listening = true;
  report.message = "局域网听写接口已开：" + url + "（POST /transcribe，不上屏、不写历史）";
  return report;
}

void LanServer::stop() {
  state_->stop.store(true);
  if (accept_thread_.joinable()) accept_thread_.join();
  std::lock_guard lock(mu_);
  port_.reset();
}

std::string LanServer::log_json() const {
  std::vector<LogEntry> copy;
  {
    std::lock_guard lock(state_->log_mu);
    copy.assign(state_->log.begin(), state_->log.end());
  }
  return lan::log_json(copy);
}

std::optional<std::uint16_t> LanServer::port() const {
  std::lock_guard lock(mu_);
  return port_;
}

}  // namespace kesu::lan
