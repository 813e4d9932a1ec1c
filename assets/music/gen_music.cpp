// Builds the intro's music file from its composition: the module text is
// parsed and rendered, packed with our ProTracker replay into a VK68 disk of
// one track per START:NAME argument, and written at exactly SIZE bytes. The
// file comes out at that size because one one-shot instrument (slot FILL,
// best a cymbal or noise tail) takes the bytes left over: its length grows
// or shrinks by the difference. No padding is ever added.
// Usage: gen_music TUNE.txt OUT.vk68 SIZE FILL START:NAME...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/mod68.h"
#include "modtext.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

namespace {

// The room the VK68 chunks and texts take besides the replay and module.
constexpr size_t kChunkRoom = 4096;
constexpr int kMaxSampleBytes = 2 * 65535;

int fail(const std::string &what) {
  std::fprintf(stderr, "gen_music: %s\n", what.c_str());
  return 1;
}

std::string engine_message() {
  const char *why = vk68_error_get();
  return why ? why : "no message";
}

struct TrackArg {
  int start;
  std::string name;
};

// The VK68 file of the module with the given tracks, or empty after a
// message.
std::vector<uint8_t> vk68_file(const std::vector<uint8_t> &module, const std::string &disk_name,
                               const std::vector<TrackArg> &tracks) {
  std::vector<Mod68Track> list;
  for (const TrackArg &t : tracks) list.push_back({t.start, t.name.c_str()});
  Mod68Info info;
  if (mod68_check(module.data(), int32_t(module.size()), &info) < 0 || info.missing) {
    fail("the module does not check: " + engine_message());
    return {};
  }
  Disk68 *disk = mod68_disk(module.data(), int32_t(module.size()), disk_name.c_str(), nullptr,
                            list.data(), int(list.size()));
  if (!disk) {
    fail("no disk: " + engine_message());
    return {};
  }
  std::vector<uint8_t> file(kChunkRoom + disk->tracks[0].data_size);
  const int saved = VK68file_save_buffer(file.data(), int32_t(file.size()), disk);
  vk68_free(disk);
  if (saved < 0) {
    fail("cannot write the disk: " + engine_message());
    return {};
  }
  // The 56-byte magic, then the base chunk whose size counts the rest.
  const uint8_t *base = file.data() + 56 + 4;
  file.resize(56 + (base[0] | base[1] << 8 | base[2] << 16 | size_t{base[3]} << 24));
  return file;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 6) return fail("usage: gen_music TUNE.txt OUT.vk68 SIZE FILL START:NAME...");
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return fail(std::string("cannot read ") + argv[1]);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const long size = std::strtol(argv[3], nullptr, 10);
  const int fill = std::atoi(argv[4]);
  std::vector<TrackArg> tracks;
  for (int i = 5; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t colon = arg.find(':');
    if (colon == std::string::npos) return fail("a track is START:NAME, not '" + arg + "'");
    tracks.push_back({std::atoi(arg.substr(0, colon).c_str()), arg.substr(colon + 1)});
  }

  modgen::Module module;
  std::string error;
  if (!modgen::parse_module(text, module, error))
    return fail(std::string(argv[1]) + ":" + error.substr(5));
  if (fill < 1 || fill > module.slots || !module.instruments[fill].defined ||
      module.instruments[fill].loop_length > 0 || !module.instruments[fill].data.empty())
    return fail("instrument " + std::to_string(fill) + " is no synthesized one-shot to fill with");
  modgen::Instrument &filler = module.instruments[fill];

  // Sample bytes enter the file one for one, so one correction suffices.
  std::vector<uint8_t> file = vk68_file(modgen::build_module(module), module.title, tracks);
  if (file.empty()) return 1;
  const long spare = size - long(file.size());
  const long length = filler.length + spare;
  if (spare % 2)
    return fail("the file is " + std::to_string(file.size()) + " bytes: an odd difference to " +
                std::to_string(size) + " cannot go into a sample; change a name by one letter");
  if (length < filler.length / 2 || length > kMaxSampleBytes)
    return fail("the file is " + std::to_string(file.size()) + " bytes with '" + filler.name +
                "' at " + std::to_string(filler.length) + ": it would need " +
                std::to_string(length) + " bytes to make " + std::to_string(size) +
                "; shorten or lengthen the composition");
  filler.length = int(length);
  file = vk68_file(modgen::build_module(module), module.title, tracks);
  if (long(file.size()) != size)
    return fail("the file came out at " + std::to_string(file.size()) + " bytes, not " +
                std::to_string(size));

  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(file.data()), std::streamsize(file.size()));
  if (!out.flush()) return fail(std::string("cannot write ") + argv[2]);
  std::printf("gen_music: %s, %ld bytes, '%s' %+ld bytes to %ld\n", argv[2], size,
              filler.name.c_str(), spare, length);
  return 0;
}
