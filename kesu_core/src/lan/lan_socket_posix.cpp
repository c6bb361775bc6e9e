#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lan/lan_socket.h"

namespace kesu::lan {
namespace {

int fd(NativeSocket s) { return static_cast<int>(s); }
std::string last_error() { return std::strerror(errno); }
Error socket_error() { return {ErrorCode::socket_error, last_error()}; }

std::string peer_text(const sockaddr_in& addr) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) == nullptr) return {};
  return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace

Connection::~Connection() {
  if (socket_ >= 0) ::close(fd(socket_));
}

Connection::Connection(Connection&& other) noexcept : socket_(other.socket_), peer_(std::move(other.peer_)) {
  other.socket_ = -1;
}

Status Connection::set_blocking() {
  const int flags = fcntl(fd(socket_), F_GETFL, 0);
  if (flags < 0 || fcntl(fd(socket_), F_SETFL, flags & ~O_NONBLOCK) < 0) return socket_error();
  return {};
}

void Connection::set_read_timeout(std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  setsockopt(fd(socket_), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

long Connection::read(char* buffer, std::size_t size) {
  while (true) {
    const ssize_t n = ::recv(fd(socket_), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

bool Connection::wait_readable(std::chrono::milliseconds wait) {
  pollfd p{fd(socket_), POLLIN, 0};
  while (true) {
    const int n = ::poll(&p, 1, static_cast<int>(wait.count()));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

bool Connection::write_all(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd(socket_), data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Connection::shutdown_send() { ::shutdown(fd(socket_), SHUT_WR); }

Result<std::unique_ptr<Listener>> Listener::open(const std::string& host, std::uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    return socket_error();
  }
  const int yes = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  // The longest queue the system allows: many clients connecting at once must each get an
  // answer (busy at worst), never a reset.
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
      ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(s, SOMAXCONN) < 0) {
    Error why = socket_error();
    ::close(s);
    return why;
  }
  return std::unique_ptr<Listener>(new Listener(s));
}

Listener::~Listener() { ::close(fd(socket_)); }

Result<std::uint16_t> Listener::bound_port() const {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd(socket_), reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
    return socket_error();
  }
  return ntohs(addr.sin_port);
}

Status Listener::set_nonblocking() {
  const int flags = fcntl(fd(socket_), F_GETFL, 0);
  if (flags < 0 || fcntl(fd(socket_), F_SETFL, flags | O_NONBLOCK) < 0) return socket_error();
  return {};
}

bool Listener::wait_for_connection(std::chrono::milliseconds wait) {
  pollfd p{fd(socket_), POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(wait.count())) > 0;
}

std::optional<Connection> Listener::accept() {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  const int c = ::accept4(fd(socket_), reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
  if (c < 0) return std::nullopt;
  return Connection(c, peer_text(addr));
}

}  // namespace kesu::lan
