#include "main/insertion_target.h"

#include <atomic>

namespace kesu::shell {

namespace {
std::atomic<std::uintptr_t> g_target{0};
}  // namespace

std::uintptr_t insertion_target() { return g_target.load(); }
void set_insertion_target(std::uintptr_t window) { g_target.store(window); }

}  // namespace kesu::shell
