#pragma once

#include "pipeline/commands.h"

namespace kesu {

// How the worker's queue takes a command in.
enum class QueueRoom {
  // From the host, one at a time: refused while the queue is full.
  bounded,
  // A newer one replaces one of its kind still waiting: only the newest matters, so it needs
  // no room of its own and is never refused for lack of it.
  coalesced,
  // An answer of one of the core's own threads (each posts at most one per job) or shutdown:
  // always taken, or the worker would lose track of work it started.
  always,
};
QueueRoom queue_room(const Command& command);

// Whether the worker still carries out a command that was waiting when shutdown began: only
// what keeps the user's data right (the newest configuration reaches the file, an insertion
// the host confirmed is recorded). Everything else would start work nobody waits for, such as
// opening the microphone for a press.
bool matters_at_shutdown(const Command& command);

}  // namespace kesu
