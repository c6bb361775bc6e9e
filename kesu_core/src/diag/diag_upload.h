#pragma once

#include <string>
#include <string_view>

#include "polish/polish_client.h"

namespace kesu {

struct UploadOutcome {
  bool ok = false;
  std::string message;  // the server's reply on success, what went wrong otherwise
};

// Posts a diagnostics bundle to `url` (trimmed; blank: nothing is sent).
UploadOutcome upload_diagnostics(std::string_view url, std::string_view bundle,
                                 const HttpTransport& send);

}  // namespace kesu
