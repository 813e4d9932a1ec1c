// Packs assembled test tunes as music files (build time).
//   tunegen vk68 OUT NAME BIN:HW:FQ:FRAMES:D0...  one track per argument;
//                                                  tracks of one BIN share it
//   tunegen sndh OUT TITLE TRACKS BIN             SNDH header + BIN
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

namespace {

std::vector<uint8_t> read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) std::exit((std::fprintf(stderr, "tunegen: cannot read %s\n", path.c_str()), 1));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int vk68(char **argv, int argc) {
  std::map<std::string, std::vector<uint8_t>> bins;
  static Disk68 disk;
  disk.name = argv[3];
  disk.track_count = argc - 4;
  for (int i = 0; i < disk.track_count; ++i) {
    std::istringstream spec(argv[4 + i]);
    std::string bin, field;
    std::getline(spec, bin, ':');
    uint32_t v[4];
    for (uint32_t &x : v) std::getline(spec, field, ':'), x = uint32_t(std::stoul(field));
    auto it = bins.try_emplace(bin, read(bin)).first;
    Track68 &t = disk.tracks[i];
    t = {v[3],
         0x8000,
         v[1],
         0,
         0,
         v[2],
         v[0],
         nullptr,
         "vk68 tests",
         nullptr,
         nullptr,
         uint32_t(it->second.size()),
         it->second.data()};
  }
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  return VK68file_save_path(argv[2], &disk) == 0 ? 0 : 1;
}

// Three branches to the body's init, exit and play, the tags, the body.
int sndh(char **argv) {
  std::string h("\x60\0\0\0\x60\0\0\0\x60\0\0\0SNDHTITL", 20);
  h += argv[3] + std::string(1, '\0') + "COMMvk68 tests" + std::string(1, '\0') + "##" + argv[4] +
       "!V50HDNS";
  if (h.size() % 2) h += '\0';
  for (int i = 0; i < 3; ++i) {  // bra.w to header end + 4i, from 4i + 2
    h[4 * i + 2] = char((h.size() - 2) >> 8);
    h[4 * i + 3] = char(h.size() - 2);
  }
  std::vector<uint8_t> body = read(argv[5]);
  std::ofstream out(argv[2], std::ios::binary);
  out << h;
  out.write(reinterpret_cast<const char *>(body.data()), std::streamsize(body.size()));
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  if (kind == "vk68" && argc > 4) return vk68(argv, argc);
  if (kind == "sndh" && argc == 6) return sndh(argv);
  std::fprintf(stderr,
               "usage: tunegen vk68 OUT NAME BIN:HW:FQ:FRAMES:D0... | sndh OUT TITLE N BIN\n");
  return 2;
}
