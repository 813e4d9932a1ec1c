// Feeds arbitrary bytes to the music-file loader and the probe. Every input
// must give back exactly the blocks it took from the allocation hooks. A
// disk that loads is saved and loaded again, and must come back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/engine_hooks.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool same_text(const char *a, const char *b) {
  return a == b || (a && b && std::strcmp(a, b) == 0);
}

void check_round_trip(const Disk68 *d) {
  // Room for every chunk header, text and data block the writer can emit.
  size_t room = 4096 + 128 * size_t(d->track_count) + (d->name ? std::strlen(d->name) : 0);
  for (int i = 0; i < d->track_count; ++i) {
    const Track68 &t = d->tracks[i];
    room += t.data_size;
    for (const char *s : {t.name, t.author, t.composer, t.replay})
      room += s ? std::strlen(s) + 1 : 0;
  }
  std::vector<uint8_t> out(room);
  check(VK68file_save_buffer(out.data(), int32_t(out.size()), d) == 0);
  Disk68 *back = VK68file_load_buffer(out.data(), int32_t(out.size()));
  check(back != nullptr);
  check(back->track_count == d->track_count && back->default_track == d->default_track);
  check(back->hardware == d->hardware && same_text(back->name, d->name));
  for (int i = 0; i < d->track_count; ++i) {
    const Track68 &a = d->tracks[i];
    const Track68 &b = back->tracks[i];
    check(a.d0 == b.d0 && a.load_address == b.load_address && a.frequency == b.frequency);
    check(a.frames == b.frames && a.hardware == b.hardware);
    check(same_text(a.name, b.name) && same_text(a.author, b.author));
    check(same_text(a.composer, b.composer) && same_text(a.replay, b.replay));
    check(a.data_size == b.data_size && std::memcmp(a.data, b.data, a.data_size) == 0);
  }
  vk68_free(back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enginetest::install_counting_hooks();
  enginetest::live_blocks = 0;
  if (size > INT32_MAX) return 0;

  Disk68 *disk = VK68file_load_buffer(data, int32_t(size));
  if (disk) {
    check(disk->track_count >= 1 && disk->track_count <= DISK68_MAX_TRACKS);
    check(disk->default_track >= 0 && disk->default_track < disk->track_count);
    for (int i = 0; i < disk->track_count; ++i) check(disk->tracks[i].data != nullptr);
    check_round_trip(disk);
    vk68_free(disk);
  }
  const int probed = VK68file_probe_buffer(data, int32_t(size));
  // Whatever loads also probes as loadable.
  check(!disk || probed == 0);
  while (vk68_error_get()) {
  }
  check(enginetest::live_blocks == 0);
  return 0;
}
