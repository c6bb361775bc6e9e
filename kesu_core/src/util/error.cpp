#include "util/error.h"

namespace kesu {

std::string_view error_code_name(ErrorCode code) {
  switch (code) {
#define KESU_ERROR_NAME(id, name) \
  case ErrorCode::id:             \
    return name;
    KESU_ERROR_CODES(KESU_ERROR_NAME)
#undef KESU_ERROR_NAME
  }
  return "other";
}

std::string detail_parts(std::initializer_list<std::string_view> parts) {
  std::string detail;
  bool first = true;
  for (std::string_view part : parts) {
    if (!first) detail += '\n';
    first = false;
    detail += part;
  }
  return detail;
}

}  // namespace kesu
