// Entry point of the headless Linux shell.

#include <string>
#include <vector>

#include "main/headless_host.h"
#include "main/startup.h"

int main(int argc, char** argv) {
  using namespace kesu::shell;
  std::vector<std::string> args(argv + 1, argv + argc);
  HeadlessHost host;
  auto opener = system_library_opener();
  return run_shell(Args(std::move(args)), host, *opener, embedded_payloads());
}
