// What `vk68 render` and `vk68 play` share: a song on a music file (or an
// Amiga module), opened as the library opens any file.
#ifndef TOOLS_VK68_PLAYBACK_H
#define TOOLS_VK68_PLAYBACK_H

#include <string>

#include "vk68/song.h"

namespace vk68tool {

// Reads the file and opens it as a song; reports why ("<file>: <why>") and
// returns null when it cannot. Rate and blend hold for this song only.
vk68_song *open_song(const std::string &path, const vk68_song_options &options);
// False, after saying so, when the song has no track n (n >= 1).
bool has_track(const vk68_song *song, const std::string &path, int n);
// "<file>: <why the song failed>" as a failure; returns kExitFailure.
int song_failure(const vk68_song *song, const std::string &path);

}  // namespace vk68tool

#endif
