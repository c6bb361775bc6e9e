// Requests per second and latency of the LAN dictation server, measured from a second process
// on loopback: GET /health and POST /transcribe of a 5-second WAV. Then the server under abuse:
// its peak memory for a 20 MB WAV at 1 kHz (hours of audio), /health while slow and silent
// clients hold connections, and how many of 100 simultaneous connections get an answer.
//
//   lan_bench [core-dir]   starts the server in a child process (with the engine the data folder
//                          configures; a fresh folder means the stub engine) and loads it
//   lan_bench serve DIR PORT   the server side alone

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav.h"
#include "kesu_core.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int connect_to(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{600, 0};  // no answer within ten minutes counts as none
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

std::string request_once(int port, const std::string& request) {
  const int fd = connect_to(port);
  std::string answer;
  if (fd >= 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[8192];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) answer.append(buf, static_cast<std::size_t>(n));
  }
  if (fd >= 0) ::close(fd);
  return answer;
}

std::string status_of(const std::string& answer) {
  return answer.size() >= 12 && answer.rfind("HTTP/1.1 ", 0) == 0 ? answer.substr(9, 3) : "---";
}

void measure(const char* name, int port, const std::string& request, int count) {
  std::vector<double> ms;
  const auto began = Clock::now();
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const auto t = Clock::now();
    const std::string answer = request_once(port, request);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    if (answer.rfind("HTTP/1.1 200", 0) != 0) ++failed;
  }
  const double total = std::chrono::duration<double>(Clock::now() - began).count();
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[static_cast<std::size_t>(std::lround((ms.size() - 1) * q))]; };
  std::printf("%-22s %6d requests %8.1f req/s  p50 %7.2f ms  p95 %7.2f ms  failed %d\n", name, count,
              count / total, at(0.5), at(0.95), failed);
}

int serve(const char* dir, int port) {
  KesuCore* core = kesu_core_new(dir);
  if (core == nullptr) return 1;
  const std::string patch = "{\"lan_enabled\":true,\"lan_allow_lan\":false,\"lan_port\":" + std::to_string(port) + "}";
  kesu_set_config_json(core, patch.c_str(), nullptr);
  std::this_thread::sleep_for(std::chrono::hours(1));  // ended by the parent
  kesu_core_free(core);
  return 0;
}

// Starts the server side in a child process and waits until it answers; 0 on failure.
pid_t spawn_server(const char* self, const std::string& dir, int port) {
  const std::string port_text = std::to_string(port);
  char* child_argv[] = {const_cast<char*>(self), const_cast<char*>("serve"), const_cast<char*>(dir.c_str()),
                        const_cast<char*>(port_text.c_str()), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, self, nullptr, nullptr, child_argv, environ) != 0) return 0;
  for (int i = 0; i < 100 && request_once(port, "GET /health HTTP/1.1\r\n\r\n").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return child;
}

void stop_server(pid_t child) {
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
}

// A field of /proc/PID/status in MiB ("VmHWM": the peak resident set, "VmRSS": the current one).
double status_mib(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atof(line.c_str() + field.size() + 1) / 1024.0;
  }
  return -1;
}

// An 8-bit mono PCM WAV at 1000 Hz with `bytes` of a tone: 16 times the audio per byte of
// 16 kHz 16-bit audio.
std::string low_rate_wav(std::uint32_t bytes) {
  std::string out = "RIFF";
  const auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto put16 = [&](std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  };
  put32(36 + bytes);
  out += "WAVEfmt ";
  put32(16);
  put16(1);     // PCM
  put16(1);     // mono
  put32(1000);  // Hz
  put32(1000);  // bytes per second
  put16(1);     // block align
  put16(8);     // bits
  out += "data";
  put32(bytes);
  for (std::uint32_t i = 0; i < bytes; ++i) out += static_cast<char>(128 + ((i / 2) % 2 == 0 ? 60 : -60));
  return out;
}

void measure_low_rate_wav(const char* self, const std::string& dir, int port, std::uint32_t bytes) {
  const pid_t child = spawn_server(self, dir, port);
  if (child == 0) return;
  const std::string wav = low_rate_wav(bytes);
  const std::string request = "POST /transcribe HTTP/1.1\r\nContent-Length: " + std::to_string(wav.size()) + "\r\n\r\n" + wav;
  const double idle = status_mib(child, "VmHWM");
  const auto t = Clock::now();
  const std::string answer = request_once(port, request);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  const double peak = status_mib(child, "VmHWM");
  const std::size_t body = answer.find("\r\n\r\n");
  std::printf("1 kHz 8-bit WAV, %.2f MB (%.1f min of audio): answer %s in %.0f ms; server peak RSS %.0f MiB (%.0f MiB before the request)\n  %s\n",
              wav.size() / 1e6, bytes / 1000.0 / 60, status_of(answer).c_str(), ms, peak, idle,
              body == std::string::npos ? "(no answer)" : answer.substr(body + 4, 160).c_str());
  stop_server(child);
}

// Clients that hold connections without finishing a request: `slow` send a header one byte a
// second, `silent` send nothing; each connects again when the server closes it.
class Hogs {
 public:
  Hogs(int port, int slow, int silent) {
    for (int i = 0; i < slow + silent; ++i) {
      const bool drips = i < slow;
      threads_.emplace_back([this, port, drips] {
        const std::string head = "GET /health HTTP/1.1\r\nX-Pad: " + std::string(200, 'a');
        while (!stop_.load()) {
          const int fd = connect_to(port);
          if (fd < 0) break;
          timeval tv{0, 100'000};
          setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
          std::size_t sent = 0;
          auto next = Clock::now();
          while (!stop_.load()) {
            if (drips && Clock::now() >= next && sent < head.size()) {
              if (::send(fd, head.data() + sent, 1, MSG_NOSIGNAL) != 1) break;
              ++sent;
              next = Clock::now() + std::chrono::seconds(1);
            }
            char c;
            const ssize_t n = ::recv(fd, &c, 1, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) break;  // closed by the server
          }
          ::close(fd);
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
      });
    }
  }
  ~Hogs() {
    stop_.store(true);
    for (std::thread& t : threads_) t.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

void measure_health_under_hogs(int port, int slow, int silent) {
  Hogs hogs(port, slow, silent);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<double> ms;
  int ok = 0, busy = 0, other = 0;
  for (int i = 0; i < 8; ++i) {
    const auto t = Clock::now();
    const std::string code = status_of(request_once(port, "GET /health HTTP/1.1\r\n\r\n"));
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    (code == "200" ? ok : code == "503" ? busy : other) += 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("GET /health beside %d slow + %d silent clients: p50 %.1f ms  max %.1f ms; 200: %d  503: %d  none: %d\n",
              slow, silent, ms[ms.size() / 2], ms.back(), ok, busy, other);
}

void measure_simultaneous(int port, int clients) {
  std::vector<std::string> codes(static_cast<std::size_t>(clients));
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < clients) std::this_thread::yield();
      codes[static_cast<std::size_t>(i)] = status_of(request_once(port, "GET /health HTTP/1.1\r\n\r\n"));
    });
  }
  for (std::thread& t : threads) t.join();
  const auto count = [&](const std::string& c) { return std::count(codes.begin(), codes.end(), c); };
  std::printf("%d simultaneous connections: answered %ld (200: %ld, 503: %ld), no answer %ld\n", clients,
              count("200") + count("503"), count("200"), count("503"), count("---"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "serve") return serve(argv[2], std::atoi(argv[3]));

  const auto scratch = std::filesystem::temp_directory_path() / "kesu-lan-bench";
  std::filesystem::create_directories(scratch);
  const std::string dir = argc > 1 ? argv[1] : scratch.string();
  const int port = 20000 + static_cast<int>(getpid() % 30000);
  const pid_t child = spawn_server(argv[0], dir, port);
  if (child == 0) return 1;

  std::vector<float> speech(5 * 16000);
  for (std::size_t i = 0; i < speech.size(); ++i) {
    const bool voiced = (i / 4000) % 4 != 3;
    speech[i] = voiced ? static_cast<float>(0.3 * std::sin(double(i) * 2 * std::numbers::pi * 220 / 16000)) : 0.0f;
  }
  const std::string wav = kesu::encode_wav_16k_mono(speech);
  const std::string transcribe = "POST /transcribe HTTP/1.1\r\nContent-Length: " + std::to_string(wav.size()) +
                                 "\r\n\r\n" + wav;
  measure("GET /health", port, "GET /health HTTP/1.1\r\n\r\n", 500);
  measure("POST /transcribe (5 s)", port, transcribe, 50);

  measure_health_under_hogs(port, 2, 0);
  measure_health_under_hogs(port, 2, 10);
  for (int round = 0; round < 3; ++round) measure_simultaneous(port, 100);
  stop_server(child);

  // A fresh server for each, so that its peak memory is that of the one request: 5.6 hours of
  // audio in 20 MB, then the longest audio accepted (819.2 s) at the same rate.
  measure_low_rate_wav(argv[0], dir, port + 1, 20'000'000);
  measure_low_rate_wav(argv[0], dir, port + 2, 819'200);
  return 0;
}
