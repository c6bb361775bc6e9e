#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/error.h"

namespace kesu::lan {

using NativeSocket = std::intptr_t;

// One accepted TCP connection. Closed on destruction.
class Connection {
 public:
  Connection(NativeSocket socket, std::string peer) : socket_(socket), peer_(std::move(peer)) {}
  ~Connection();
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&&) = delete;
  Connection(const Connection&) = delete;

  const std::string& peer() const { return peer_; }
  Status set_blocking();
  void set_read_timeout(std::chrono::milliseconds timeout);
  // Bytes read; 0 at the end of the stream; -1 on an error or a time-out.
  long read(char* buffer, std::size_t size);
  // Waits at most `wait` (0: not at all) until a read would not block: bytes have arrived or
  // the stream has ended.
  bool wait_readable(std::chrono::milliseconds wait);
  bool write_all(std::string_view data);
  void shutdown_send();

 private:
  NativeSocket socket_;
  std::string peer_;
};

// A listening TCP socket. Closed on destruction.
class Listener {
 public:
  // Binds and listens on host:port. Failures are socket_error with the system's reason.
  static Result<std::unique_ptr<Listener>> open(const std::string& host, std::uint16_t port);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  Result<std::uint16_t> bound_port() const;
  Status set_nonblocking();
  // Waits up to `wait` for a connection to arrive; true when one is waiting.
  bool wait_for_connection(std::chrono::milliseconds wait);
  // A waiting connection, or nullopt when there is none (or accepting failed).
  std::optional<Connection> accept();

 private:
  explicit Listener(NativeSocket socket) : socket_(socket) {}
  NativeSocket socket_;
};

}  // namespace kesu::lan
