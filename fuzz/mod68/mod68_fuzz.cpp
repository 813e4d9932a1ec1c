// Feeds arbitrary bytes to the module checks. A module that passes is
// walked, packed into a disk and played for up to 1.2 s on the player: the
// replay must never run away (vk68_process never fails) and every block
// taken from the allocation hooks must come back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "file/mod68.h"
#include "support/default_player.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

Player68 *player() {
  static Player68 *p = enginetest::default_player();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Player68 *p = player();
  check(p != nullptr);
  const long before = enginetest::live_blocks;
  Mod68Info info;
  if (mod68_check(data, int32_t(size), &info) == 0) {
    check(info.size >= 600 && info.missing >= 0 && info.song_length >= 1 && info.channels >= 1 &&
          info.channels <= 4);
    const Mod68Track track{int32_t(data[0]) % info.song_length, nullptr};
    Disk68 *disk = mod68_disk(data, int32_t(size), nullptr, nullptr, &track, 1);
    check(disk != nullptr && disk->tracks[0].frames > 0);
    check(vk68_load_disk(p, disk) == 0);
    std::vector<uint32_t> buffer(44100 / 4);
    for (int i = 0; i < 5; ++i) {
      const int status = vk68_process(p, buffer.data(), int(buffer.size()));
      check(status >= 0);
      if (status & VK68_PROCESS_STOPPED) break;
    }
    vk68_close(p);
  }
  enginetest::messages();
  check(enginetest::live_blocks == before);
  return 0;
}
