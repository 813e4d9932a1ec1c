// vk68: shows what a music file holds, converts it to a VK68 file, packs or
// unpacks ICE files, imports Amiga modules, renders music to WAV and plays
// it. Each command lives in its own cmd_<name>.cpp; this file holds the
// command table and the usage text.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "tool.h"
#include "vk68/version.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {

int cmd_info(const Args &args);
int cmd_convert(const Args &args);
int cmd_ice(const Args &args);
int cmd_import(const Args &args);
int cmd_render(const Args &args);
int cmd_play(const Args &args);

namespace {

struct Command {
  const char *name;
  int (*run)(const Args &args);
  const char *help;     // its lines of the usage text
  const char *options;  // what `vk68 <name> --help` adds to them
};

constexpr Command kCommands[] = {
    {"info", cmd_info,
     "  info [--json] FILE     show the disk and its tracks (VK68, SNDH, ICE- or\n"
     "                         gzip-packed files)\n",
     "  --json                 as JSON\n"},
    {"convert", cmd_convert, "  convert IN OUT         write any loadable file as a VK68 file\n",
     ""},
    {"ice", cmd_ice,
     "  ice pack IN OUT        pack a file with ICE\n"
     "  ice unpack IN OUT      unpack an ICE file\n",
     ""},
    {"import", cmd_import,
     "  import MODULE [-o OUT] [--name TEXT] [--author TEXT]\n"
     "                         an Amiga module as a VK68 file played by our replay\n",
     "  -o OUT                 the file to write (default: MODULE, its .mod made .vk68)\n"
     "  --name TEXT            the track's name (default: the module's title)\n"
     "  --author TEXT          the author's name\n"},
    {"render", cmd_render,
     "  render FILE -o OUT.wav | FILE... --out-dir DIR [-j N] [--track N|--all]\n"
     "         [--seconds S] [--rate HZ] [--blend F] [--clock nominal|pal] [--quiet]\n"
     "                         render tracks to 16-bit stereo WAV files\n",
     "  -o OUT.wav             the file to write; - for standard output\n"
     "  --out-dir DIR          each FILE to DIR/NAME.wav\n"
     "  -j N                   N files at once (default: 1)\n"
     "  --track N              track N (default: the file's default track)\n"
     "  --all                  every track in turn\n"
     "  --seconds S            S seconds a track, fractions allowed, looping\n"
     "                         (default: the track's own time)\n"
     "  --rate HZ              6000 to 50000 (default: the configured rate)\n"
     "  --blend F              Amiga channel blend, 0 to 65536 (32768: mono)\n"
     "  --clock nominal|pal    the machine's clocks: 8 MHz 68000 and 2 MHz YM, or\n"
     "                         a real PAL STE's (default: the configured clock)\n"
     "  --quiet                no progress bar, no line on what was written\n"},
    {"play", cmd_play, "  play FILE [--track N]  play through the sound device\n",
     "  --track N              from track N on (default: the file's default track)\n"
     "  keys: space pauses, n/p next/previous track, q or ESC quits\n"},
};

void print_usage() {
  std::fputs("usage: vk68 <command> [arguments]\n\ncommands:\n", stdout);
  for (const Command &c : kCommands) std::fputs(c.help, stdout);
  std::fputs(
      "  --help                 this text (vk68 <command> --help: its options)\n"
      "  --version              the version\n",
      stdout);
}

// `--help` among a command's options (before any "--").
bool asks_help(const Args &args) {
  for (const std::string &a : args) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace
}  // namespace vk68tool

int main(int argc, char **argv) {
  using namespace vk68tool;
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  if (argc < 2) return usage_error("missing command");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    print_usage();
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vk68 %s\n", vk68_version());
    return kExitOk;
  }
  int status = -1;
  try {
    const Args args(argv + 2, argv + argc);
    for (const Command &c : kCommands) {
      if (command != c.name) continue;
      if (asks_help(args)) {
        std::printf("usage:\n%s%s", c.help, c.options);
        status = kExitOk;
      } else {
        status = c.run(args);
      }
    }
  } catch (const std::bad_alloc &) {
    return failure("out of memory");
  } catch (const std::exception &e) {
    return failure(e.what());
  }
  if (status < 0) return usage_error("unknown command '" + escaped(command) + "'");
  // Output that did not reach its file is a failure too (a full disk).
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return failure(std::string("cannot write the output: ") + std::strerror(errno));
  return status;
}
