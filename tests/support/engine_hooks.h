// Allocation hooks that count the engine's live blocks (from any thread), so
// that a test or a fuzz target can check that every block taken was given
// back; and the engine's messages, popped.
#ifndef TESTS_SUPPORT_ENGINE_HOOKS_H
#define TESTS_SUPPORT_ENGINE_HOOKS_H

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "vk68/vk68_msg.h"

namespace enginetest {

inline std::atomic<long> live_blocks = 0;

inline void *counting_alloc(size_t n) {
  void *p = std::malloc(n ? n : 1);
  live_blocks += p != nullptr;
  return p;
}
inline void counting_free(void *p) {
  live_blocks -= p != nullptr;
  std::free(p);
}
inline void install_counting_hooks() {
  vk68_set_alloc(counting_alloc);
  vk68_set_free(counting_free);
}

// Pops every message; returns them oldest first.
inline std::vector<std::string> messages() {
  std::vector<std::string> out;
  while (const char *m = vk68_error_get()) out.insert(out.begin(), m);
  return out;
}

}  // namespace enginetest

#endif
