#pragma once

// The resolved entry points of the core library and the one core handle.

#ifndef KESU_CORE_DYNAMIC_LOAD
#define KESU_CORE_DYNAMIC_LOAD
#endif
#include "kesu_core.h"

namespace kesu::shell {

#define KESU_FN(name) decltype(&::name) name = nullptr;

// Every export of the library, bound by name.
struct CoreBinding {
  KESU_CORE_EXPORTS(KESU_FN)
  KesuCore* core = nullptr;
};

#undef KESU_FN

// Process-wide copy of kesu_string_free, so worker threads holding a core string can free it
// without the application-state lock.
void set_string_free(decltype(&::kesu_string_free) fn);
void free_core_string(char* s);

}  // namespace kesu::shell
