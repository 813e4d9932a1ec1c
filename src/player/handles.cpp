// The list of live player handles: a small array grown through the engine's
// allocation hooks, shared by every thread under one lock.
#include "player/handles.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vk68 {
namespace {

std::mutex g_lock;
const Player68 **g_live = nullptr;
size_t g_count = 0;
size_t g_capacity = 0;

}  // namespace

bool handle_add(const Player68 *player) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_count == g_capacity) {
    const size_t capacity = std::max<size_t>(8, 2 * g_capacity);
    auto *grown = static_cast<const Player68 **>(vk68_alloc(capacity * sizeof(Player68 *)));
    if (!grown) {
      vk68_error_add("out of memory for another player");
      return false;
    }
    if (g_count) std::memcpy(grown, g_live, g_count * sizeof *grown);
    vk68_free(g_live);
    g_live = grown;
    g_capacity = capacity;
  }
  g_live[g_count++] = player;
  return true;
}

void handle_remove(const Player68 *player) {
  std::lock_guard<std::mutex> hold(g_lock);
  const Player68 **end = g_live + g_count;
  const Player68 **at = std::find(g_live, end, player);
  if (at == end) return;
  *at = end[-1];
  if (--g_count == 0) {
    // The last player takes the list with it: nothing outlives the engine.
    vk68_free(g_live);
    g_live = nullptr;
    g_capacity = 0;
  }
}

bool handle_alive(const Player68 *player) {
  if (!player) return false;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (std::find(g_live, g_live + g_count, player) != g_live + g_count) return true;
  }
  vk68_error_add("not a player (shut down already?)");
  return false;
}

}  // namespace vk68
