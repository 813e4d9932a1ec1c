// Packs assembled test tunes as music files (build time).
//   tunegen vk68 OUT NAME BIN:HW:RATE:FRAMES:D0...  a track per argument
//   tunegen sndh OUT TITLE TRACKS BIN [DEFAULT]     DEFAULT: the default sub-tune
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/sndh_header.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

namespace {

std::string read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) std::exit((std::fprintf(stderr, "tunegen: cannot read %s\n", path.c_str()), 1));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int vk68(char **argv, int argc) {
  std::map<std::string, std::string> bins;  // tracks of one BIN share its data
  static Disk68 disk;
  disk.name = argv[3];
  disk.track_count = argc - 4;
  for (int i = 0; i < disk.track_count; ++i) {
    char bin[4096];
    Track68 &t = disk.tracks[i];
    if (std::sscanf(argv[4 + i], "%4095[^:]:%u:%u:%u:%u", bin, &t.hardware, &t.frequency, &t.frames,
                    &t.d0) != 5)
      return 2;
    const std::string &data = bins.try_emplace(bin, read(bin)).first->second;
    t.author = "vk68 tests";
    t.data = reinterpret_cast<const uint8_t *>(data.data());
    t.data_size = uint32_t(data.size());
  }
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  return VK68file_save_path(argv[2], &disk) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  if (kind == "vk68" && argc > 4) return vk68(argv, argc);
  if (kind == "sndh" && (argc == 6 || argc == 7)) {
    std::ofstream out(argv[2], std::ios::binary);
    const std::string default_tune = argc == 7 ? "!#" + std::string(argv[6]) : "";
    out << sndh_header("TITL" + std::string(argv[3]) + '\0' + "COMMvk68 tests" + '\0' + "##" +
                       argv[4] + default_tune + "!V50")
        << read(argv[5]);
    return out ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: tunegen vk68 OUT NAME BIN:HW:RATE:FRAMES:D0... | sndh OUT TITLE N BIN [DEFAULT]\n");
  return 2;
}
