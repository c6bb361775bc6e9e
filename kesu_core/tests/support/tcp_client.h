#pragma once

// A minimal loopback TCP client for driving the LAN server byte for byte.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace kesu_test {

class TcpClient {
 public:
  explicit TcpClient(std::uint16_t port) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
#ifdef _WIN32
    const DWORD ms = 20000;
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
#else
    timeval tv{20, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
#endif
  }
  ~TcpClient() {
#ifdef _WIN32
    closesocket(fd_);
#else
    ::close(fd_);
#endif
  }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  bool connected() const { return connected_; }
  bool send(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto n = ::send(fd_, bytes.data(), static_cast<int>(bytes.size()), 0);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  // Everything until the server closes (or 20 s pass).
  std::string receive_all() {
    std::string out;
    char buf[8192];
    while (true) {
      const auto n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
#ifdef _WIN32
  SOCKET fd_;
#else
  int fd_;
#endif
  bool connected_ = false;
};

// Sends `request` and returns the whole answer.
inline std::string http_exchange(std::uint16_t port, std::string_view request) {
  TcpClient client(port);
  if (!client.connected() || !client.send(request)) return {};
  return client.receive_all();
}

// The body of an answer (after the blank line).
inline std::string body_of(const std::string& answer) {
  const std::size_t at = answer.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : answer.substr(at + 4);
}

}  // namespace kesu_test
