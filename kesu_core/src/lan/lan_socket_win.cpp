#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "lan/lan_socket.h"
#include "util/windows_error.h"

namespace kesu::lan {
namespace {

SOCKET sock(NativeSocket s) { return static_cast<SOCKET>(s); }

std::string last_error() {
  const int code = WSAGetLastError();
  return windows_message(static_cast<DWORD>(code)) + " (" + std::to_string(code) + ")";
}

Error socket_error() { return {ErrorCode::socket_error, last_error()}; }

// Winsock is started once for the process and left running.
void start_winsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

std::string peer_text(const sockaddr_in& addr) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) == nullptr) return {};
  return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace

Connection::~Connection() {
  if (sock(socket_) != INVALID_SOCKET) closesocket(sock(socket_));
}

Connection::Connection(Connection&& other) noexcept : socket_(other.socket_), peer_(std::move(other.peer_)) {
  other.socket_ = static_cast<NativeSocket>(INVALID_SOCKET);
}

Status Connection::set_blocking() {
  u_long off = 0;
  if (ioctlsocket(sock(socket_), FIONBIO, &off) != 0) return socket_error();
  return {};
}

void Connection::set_read_timeout(std::chrono::milliseconds timeout) {
  const DWORD ms = static_cast<DWORD>(timeout.count());
  setsockopt(sock(socket_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

long Connection::read(char* buffer, std::size_t size) {
  const int n = ::recv(sock(socket_), buffer, static_cast<int>(size), 0);
  return n < 0 ? -1 : n;
}

bool Connection::wait_readable(std::chrono::milliseconds wait) {
  // A closed or reset stream counts as readable too: the read then reports it.
  WSAPOLLFD p{sock(socket_), POLLRDNORM, 0};
  return WSAPoll(&p, 1, static_cast<INT>(wait.count())) > 0;
}

bool Connection::write_all(std::string_view data) {
  while (!data.empty()) {
    const int n = ::send(sock(socket_), data.data(), static_cast<int>(data.size()), 0);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Connection::shutdown_send() { ::shutdown(sock(socket_), SD_SEND); }

Result<std::unique_ptr<Listener>> Listener::open(const std::string& host, std::uint16_t port) {
  start_winsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    return socket_error();
  }
  // Exclusive use: another program must not be able to take over the port.
  BOOL yes = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  // The longest queue the system allows: many clients connecting at once must each get an
  // answer (busy at worst), never a reset.
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
      ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, SOMAXCONN) != 0) {
    Error why = socket_error();
    closesocket(s);
    return why;
  }
  return std::unique_ptr<Listener>(new Listener(static_cast<NativeSocket>(s)));
}

Listener::~Listener() { closesocket(sock(socket_)); }

Result<std::uint16_t> Listener::bound_port() const {
  sockaddr_in addr{};
  int len = sizeof addr;
  if (::getsockname(sock(socket_), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return socket_error();
  }
  return ntohs(addr.sin_port);
}

Status Listener::set_nonblocking() {
  u_long on = 1;
  if (ioctlsocket(sock(socket_), FIONBIO, &on) != 0) return socket_error();
  return {};
}

bool Listener::wait_for_connection(std::chrono::milliseconds wait) {
  WSAPOLLFD p{sock(socket_), POLLRDNORM, 0};
  return WSAPoll(&p, 1, static_cast<INT>(wait.count())) > 0;
}

std::optional<Connection> Listener::accept() {
  sockaddr_in addr{};
  int len = sizeof addr;
  const SOCKET c = ::accept(sock(socket_), reinterpret_cast<sockaddr*>(&addr), &len);
  if (c == INVALID_SOCKET) return std::nullopt;
  return Connection(static_cast<NativeSocket>(c), peer_text(addr));
}

}  // namespace kesu::lan
