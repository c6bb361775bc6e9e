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

}  // namespace kesu
