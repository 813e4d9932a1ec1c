// A song on a music file, for the commands that render and play.
#include "playback.h"

#include "tool.h"

namespace vk68tool {

vk68_song *open_song(const std::string &path, const vk68_song_options &options) {
  Bytes bytes;
  if (!read_file(path, bytes)) return nullptr;
  char why[256];
  vk68_song *song = vk68_song_open(bytes.data(), bytes.size(), &options, why, sizeof why);
  if (!song) failure(escaped(path) + ": " + escaped(why));
  return song;
}

bool has_track(const vk68_song *song, const std::string &path, int n) {
  const int count = vk68_song_track_count(song);
  if (n <= count) return true;
  failure(escaped(path) + ": no track " + std::to_string(n) + " (" + std::to_string(count) +
          (count == 1 ? " track)" : " tracks)"));
  return false;
}

int song_failure(const vk68_song *song, const std::string &path) {
  const char *why = vk68_song_error(song);
  return failure(escaped(path) + ": " + escaped(why ? why : "the replay failed"));
}

}  // namespace vk68tool
