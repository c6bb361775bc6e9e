// Requests per second and latency of the LAN dictation server, measured from a second process
// on loopback: GET /health and POST /transcribe of a 5-second WAV.
//
//   lan_bench [core-dir]   starts the server in a child process (with the engine the data folder
//                          configures; a fresh folder means the stub engine) and loads it
//   lan_bench serve DIR PORT   the server side alone

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav.h"
#include "kesu_core.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string request_once(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[8192];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) answer.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return answer;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "serve") return serve(argv[2], std::atoi(argv[3]));

  const auto scratch = std::filesystem::temp_directory_path() / "kesu-lan-bench";
  std::filesystem::create_directories(scratch);
  const std::string dir = argc > 1 ? argv[1] : scratch.string();
  const int port = 20000 + static_cast<int>(getpid() % 30000);
  const std::string port_text = std::to_string(port);
  char* child_argv[] = {argv[0], const_cast<char*>("serve"), const_cast<char*>(dir.c_str()),
                        const_cast<char*>(port_text.c_str()), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], nullptr, nullptr, child_argv, environ) != 0) return 1;
  for (int i = 0; i < 100 && request_once(port, "GET /health HTTP/1.1\r\n\r\n").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

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

  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  return 0;
}
