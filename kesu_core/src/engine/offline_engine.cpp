#include "engine/offline_engine.h"

#include <cstdint>
#include <exception>
#include <limits>

namespace kesu {

EngineResult OfflineEngine::recognise(std::span<const float> samples) {
  if (samples.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    return {{}, Error{ErrorCode::audio_too_long, {}}};
  }
  try {
    return {decode_offline(api_, recognizer_.get(), samples.data(), samples.size()), {}};
  } catch (const std::exception& e) {
    return {{}, Error{ErrorCode::recognition_failed, e.what()}};
  } catch (...) {
    return {{}, Error{ErrorCode::recognition_failed, {}}};
  }
}

}  // namespace kesu
