#pragma once

// The address of the loopback server CTest starts for network tests
// (scripts/http_test_server.py; its state folder comes in KESU_TEST_HTTP_STATE), or "" when it
// is not running.

#include <cstdlib>
#include <fstream>
#include <string>

namespace kesu_test {

inline std::string test_server_base() {
  const char* state = std::getenv("KESU_TEST_HTTP_STATE");
  if (state == nullptr) return {};
  std::string path = std::string(state) + "/port";
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the Linux side, seen from Wine
#endif
  std::string port;
  std::ifstream(path) >> port;
  return port.empty() ? std::string() : "http://127.0.0.1:" + port;
}

}  // namespace kesu_test
