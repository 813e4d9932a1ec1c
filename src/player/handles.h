// The player handles alive in the process, so that a call with a handle
// after its shutdown (or any pointer that is no player) fails without
// touching memory that is no longer a player.
#ifndef VK68_PLAYER_HANDLES_H
#define VK68_PLAYER_HANDLES_H

#include "vk68/player.h"

namespace vk68 {

// A new player becomes alive; false when the list cannot grow (reported).
bool handle_add(const Player68 *player);
// The player is being freed: it is no longer alive.
void handle_remove(const Player68 *player);
// Whether `player` is alive; null is not, without a message; any other
// pointer that is not alive is reported ("not a player").
bool handle_alive(const Player68 *player);

}  // namespace vk68

#endif
