// A player on a music file, and frame-exact pulls of its samples.
#include "playback.h"

#include <algorithm>
#include <cstdlib>

#include "tool.h"

namespace vk68tool {

Player68 *open_player(const std::string &path, int rate, int blend) {
  VK68init init{};
  init.alloc = std::malloc;
  init.free = std::free;
  Player68 *player = vk68_init(&init);
  if (!player) return engine_failure(), nullptr;
  // A missing configuration file is no failure: forget what it left.
  while (vk68_error_get()) {
  }
  if (blend >= 0) {
    vk68_config_set(player, vk68_config_id("amiga_blend"), blend);
    vk68_config_apply(player);
  }
  if (rate) vk68_sampling_rate(player, rate);
  Disk68 *disk = load_disk(path, nullptr);
  if (!disk || vk68_load_disk(player, disk) != 0) {
    if (disk) engine_failure();
    close_player(player);
    return nullptr;
  }
  return player;
}

void close_player(Player68 *player) {
  vk68_config_load(player);  // the file's values, or the defaults
  vk68_config_apply(player);
  while (vk68_error_get()) {
  }
  vk68_shutdown(player);
}

bool has_track(Player68 *player, const std::string &path, int n) {
  const int count = vk68_track_count(player);
  if (n <= count) return true;
  failure(escaped(path) + ": no track " + std::to_string(n) + " (" + std::to_string(count) +
          (count == 1 ? " track)" : " tracks)"));
  return false;
}

bool pull(Player68 *player, uint32_t *buffer, int n, Pull &out) {
  // Within a frame no change can happen; a call that has to run a frame
  // (or start a track) takes one sample, and the frame's rest comes next.
  const bool had_track = player->track != nullptr;
  const int k = player->mix_remaining ? std::min<int>(n, int(player->mix_remaining)) : 1;
  const int status = vk68_process(player, buffer, k);
  if (status < 0) return engine_failure(), false;
  out.ended = (status & VK68_PROCESS_END) != 0;
  out.changed = had_track && (status & VK68_PROCESS_CHANGE) != 0;
  out.written = out.changed ? 0 : k;
  return true;
}

}  // namespace vk68tool
