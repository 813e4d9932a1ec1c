// Builds a VK68 or SNDH file around random 68000 code and plays every track
// for up to two seconds (at most 100 frames) in chunks of random size. Every
// call must return (the emulator bounds each frame; lower here than in
// production, so that runaway code costs milliseconds), stay inside the
// caller's buffer (it has exactly the asked size: the sanitizer sees an
// overrun), and the player must give back every block it took.
#include <cstdlib>
#include <vector>

#include "player/player68.h"
#include "support/default_player.h"
#include "support/sndh_header.h"

namespace {

struct Input {
  const uint8_t *p;
  size_t left;
  uint8_t byte() { return left ? (--left, *p++) : 0; }
};

// Up to 4 tracks sharing the code, each with random hardware, replay rate
// (out of range too), D0, load address (odd too) and length.
std::vector<uint8_t> vk68_file(Input &in, const std::vector<uint8_t> &code) {
  static Disk68 disk;
  disk = Disk68{};
  disk.track_count = 1 + in.byte() % 4;
  for (int i = 0; i < disk.track_count; ++i) {
    Track68 &t = disk.tracks[i];
    t = {in.byte(),
         0x400u * in.byte() + in.byte(),
         1 + in.byte() * 25u,
         0,
         0,
         1 + in.byte() % 100u,
         in.byte() % 8u,
         nullptr,
         nullptr,
         nullptr,
         nullptr,
         uint32_t(code.size()),
         code.data()};
  }
  std::vector<uint8_t> file(code.size() + 4096);
  if (VK68file_save_buffer(file.data(), int32_t(file.size()), &disk) != 0) file.clear();
  return file;
}

std::vector<uint8_t> sndh_file(Input &in, const std::vector<uint8_t> &code) {
  const char *rates[] = {"", "TC50", "TC200", "!V50", "TA1000", "TC7"};
  const std::string h =
      sndh_header("##0" + std::string(1, char('1' + in.byte() % 3)) + rates[in.byte() % 6]);
  std::vector<uint8_t> file(h.begin(), h.end());
  file.insert(file.end(), code.begin(), code.end());
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enginetest::install_counting_hooks();
  const long before = enginetest::live_blocks;
  constexpr size_t kHeader = 24;  // bytes for the file's numbers; code after
  Input in{data, std::min(size, kHeader)};
  Input rest{data + in.left, size - in.left};
  std::vector<uint8_t> code(rest.p, rest.p + rest.left);
  code.resize(std::max<size_t>(code.size(), 12));  // three entries at least
  const std::vector<uint8_t> file = in.byte() & 1 ? sndh_file(in, code) : vk68_file(in, code);

  Player68 *player = enginetest::default_player();
  if (!player) std::abort();
  // A 50 Hz frame of a real 68000 runs < 40000 instructions.
  EMU68_set_step_limit(&player->machine->emu, 100000);
  if (!file.empty() && vk68_load_buffer(player, file.data(), int32_t(file.size())) == 0) {
    for (int t = 1; t <= vk68_track_count(player); ++t) {
      if (vk68_play(player, t) != 0) std::abort();
      for (int done = 0, status = 0; done < 2 * 44100 && status >= 0 &&
                                     !(status & VK68_PROCESS_END) && player->frames_played < 100;) {
        const int n = 1 + rest.byte() * 37;
        std::vector<uint32_t> buffer(static_cast<size_t>(n));
        status = vk68_process(player, buffer.data(), n);
        done += n;
      }
    }
  }
  vk68_shutdown(player);
  enginetest::messages();
  if (enginetest::live_blocks != before) std::abort();
  return 0;
}
