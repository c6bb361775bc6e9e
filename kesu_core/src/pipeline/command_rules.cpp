#include "pipeline/command_rules.h"

#include <type_traits>

namespace kesu {

QueueRoom queue_room(const Command& command) {
  return std::visit(
      [](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, cmd::ConfigChanged> || std::is_same_v<C, cmd::HotwordsChanged>) {
          return QueueRoom::coalesced;
        } else if constexpr (std::is_same_v<C, cmd::DecodeDone> || std::is_same_v<C, cmd::PieceDone> ||
                             std::is_same_v<C, cmd::SegmentRetryFailed> ||
                             std::is_same_v<C, cmd::SegmentRetryDone> ||
                             std::is_same_v<C, cmd::EngineBuilt> || std::is_same_v<C, cmd::Shutdown>) {
          return QueueRoom::always;
        } else {
          return QueueRoom::bounded;
        }
      },
      command);
}

bool matters_at_shutdown(const Command& command) {
  return std::holds_alternative<cmd::ConfigChanged>(command) ||
         std::holds_alternative<cmd::SubmitResult>(command);
}

}  // namespace kesu
