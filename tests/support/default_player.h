// A player with default settings, as the intro makes it: no configuration or
// replay files, and the counting allocation hooks.
#ifndef TESTS_SUPPORT_DEFAULT_PLAYER_H
#define TESTS_SUPPORT_DEFAULT_PLAYER_H

#include "support/engine_hooks.h"
#include "vk68/vk68.h"

namespace enginetest {

inline Player68 *default_player() {
  VK68init init{};
  init.alloc = counting_alloc;
  init.free = counting_free;
  init.user_path = init.shared_path = "/nonexistent";
  return vk68_init(&init);
}

}  // namespace enginetest

#endif
