// What `vk68 render` and `vk68 play` share: a player on a music file, and
// pulling a track's samples out of it frame by frame, so that every sample
// is accounted for across track ends and changes.
#ifndef TOOLS_VK68_PLAYBACK_H
#define TOOLS_VK68_PLAYBACK_H

#include <cstdint>
#include <string>

#include "vk68/player.h"

namespace vk68tool {

// Creates the player and attaches the file; reports why and returns null
// when it cannot. A rate (Hz) or Amiga blend given here (0 and -1: the
// configured ones) holds for this run only: close_player puts the
// configured values back before the player saves its configuration.
Player68 *open_player(const std::string &path, int rate, int blend);
void close_player(Player68 *player);
// False, after saying so, when the file has no track n (n >= 1).
bool has_track(Player68 *player, const std::string &path, int n);

// One pull of samples from the current (or requested) track.
struct Pull {
  int written;   // samples written to the buffer
  bool ended;    // the track ran its last frame (its samples may follow)
  bool changed;  // a track change or stop was applied: nothing written
};

// Asks for at most n samples and never more than what is left of the
// current frame, so that a track change cannot fall inside the samples
// written. False (with the engine's messages) when the player fails.
bool pull(Player68 *player, uint32_t *buffer, int n, Pull &out);

}  // namespace vk68tool

#endif
