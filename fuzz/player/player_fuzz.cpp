// Builds a VK68 or SNDH file around random 68000 code and plays every track
// for up to two seconds, in chunks of random size. Each call must return
// (the emulator bounds every frame), stay inside the caller's buffer (the
// buffers have exactly the asked size, so the sanitizer sees any overrun)
// and the player must give back every block it took.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/engine_hooks.h"
#include "vk68/vk68.h"

namespace {

struct Input {
  const uint8_t *p;
  size_t left;
  uint8_t byte() { return left ? (--left, *p++) : 0; }
};

// A VK68 file: up to 4 tracks sharing the code, each with random hardware,
// replay rate (sometimes out of range), D0 and load address.
std::vector<uint8_t> vk68_file(Input &in, const std::vector<uint8_t> &code) {
  static Disk68 disk;
  disk = Disk68{};
  disk.track_count = 1 + in.byte() % 4;
  for (int i = 0; i < disk.track_count; ++i) {
    Track68 &t = disk.tracks[i];
    t.hardware = in.byte() % 8;
    t.frequency = 1 + in.byte() * 25u;  // 1 .. 6376 Hz
    t.d0 = in.byte();
    t.load_address = 0x400u * in.byte() + in.byte();  // odd ones too
    t.frames = 1 + in.byte() % 100;
    t.data = code.data();
    t.data_size = uint32_t(code.size());
  }
  std::vector<uint8_t> file(code.size() + 4096);
  if (VK68file_save_buffer(file.data(), int32_t(file.size()), &disk) != 0) file.clear();
  return file;
}

// An SNDH file: branches to the code's three entries, then the tags.
std::vector<uint8_t> sndh_file(Input &in, const std::vector<uint8_t> &code) {
  const std::string rates[] = {"", "TC50", "TC200", "!V50", "TA1000", "TC7"};
  std::string h("\x60\0\0\0\x60\0\0\0\x60\0\0\0SNDH##0", 19);
  h += char('1' + in.byte() % 3);
  h += rates[in.byte() % 6] + "HDNS";
  if (h.size() % 2) h += '\0';
  for (int i = 0; i < 3; ++i) {
    h[4 * i + 2] = char((h.size() - 2) >> 8);
    h[4 * i + 3] = char(h.size() - 2);
  }
  std::vector<uint8_t> file(h.begin(), h.end());
  file.insert(file.end(), code.begin(), code.end());
  return file;
}

void play_all(Player68 *player, Input &in) {
  const int tracks = vk68_track_count(player);
  for (int t = 1; t <= tracks; ++t) {
    if (vk68_play(player, t) != 0) std::abort();
    for (int done = 0; done < 2 * 44100;) {
      const int n = 1 + in.byte() * 37;
      std::vector<uint32_t> buffer(size_t(n));
      const int status = vk68_process(player, buffer.data(), n);
      if (status < 0 || (status & VK68_PROCESS_END)) break;
      done += n;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enginetest::install_counting_hooks();
  const long before = enginetest::live_blocks;
  Input in{data, size};
  const bool sndh = in.byte() & 1;
  const size_t header = 24;  // bytes the file builders may take
  Input rest{in.p + std::min(header, in.left), in.left > header ? in.left - header : 0};
  std::vector<uint8_t> code(rest.p, rest.p + rest.left);
  code.resize(std::max<size_t>(code.size(), 12));  // room for the three entries
  const std::vector<uint8_t> file = sndh ? sndh_file(in, code) : vk68_file(in, code);

  VK68init init{};
  init.alloc = enginetest::counting_alloc;
  init.free = enginetest::counting_free;
  init.user_path = init.shared_path = "/nonexistent";
  Player68 *player = vk68_init(&init);
  if (!player) std::abort();
  if (!file.empty() && vk68_load_buffer(player, file.data(), int32_t(file.size())) == 0)
    play_all(player, rest);
  vk68_shutdown(player);
  enginetest::messages();
  if (enginetest::live_blocks != before) std::abort();
  return 0;
}
