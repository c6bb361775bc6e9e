#include "util/log.h"

#include <cstdio>
#include <string>

namespace kesu {

void log_line(std::string_view text, std::string_view tag) {
  std::string line = "[kesu]";
  line += tag;
  line += ' ';
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace kesu
