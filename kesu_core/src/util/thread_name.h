#pragma once

namespace kesu {

// Names the calling thread ("kesu-worker", …) so debuggers and crash dumps show which is which.
void name_this_thread(const char* name);

}  // namespace kesu
