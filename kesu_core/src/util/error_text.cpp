#include "util/error.h"

namespace kesu {

// Every failure sentence of the core is composed here, from the code and its detail. No default
// branch: a new code without its sentence does not build.
std::string user_message(const Error& error) {
  switch (error.code) {
    // Storage and settings.

    // Recognition, dictation and the LAN service.

    case ErrorCode::other:
      return error.detail;
  }
  return error.detail;
}

}  // namespace kesu
