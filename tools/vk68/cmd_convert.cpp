// vk68 convert IN OUT: any loadable music file written as a VK68 file.
#include <cstring>

#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {
namespace {

// Room for everything the writer can put in a file: the magic, a header for
// every chunk, every text with its terminator, every block of data once.
size_t saved_size_bound(const Disk68 &d) {
  constexpr size_t kMagicAndBase = 64;
  constexpr size_t kChunksPerTrack = 14;  // MU MN AN CN RE D0 AT FR TI FQ TY DA, with margin
  constexpr size_t kChunk = 12;           // header and a 4-byte number
  auto text = [](const char *s) { return s ? std::strlen(s) + 1 : 0; };
  size_t bound = kMagicAndBase + 4 * kChunk + text(d.name);
  const uint8_t *data = nullptr;
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    bound += kChunksPerTrack * kChunk + text(t.name) + text(t.author) + text(t.composer) +
             text(t.replay);
    if (t.data != data) bound += t.data_size;
    data = t.data;
  }
  return bound;
}

}  // namespace

int cmd_convert(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {}, line) || !expect_operands(line, {"input file", "output file"}))
    return kExitUsage;
  VK68fileKind kind{};
  Disk68 *disk = load_disk(line.operands[0], &kind);
  if (!disk) return kExitFailure;
  // The file is built in memory and written by the tool, so that a failing
  // disk is reported as such.
  const std::string &out = line.operands[1];
  const size_t bound = saved_size_bound(*disk);
  Bytes file;
  int status = kExitOk;
  if (bound > size_t(INT32_MAX)) {
    status = failure(escaped(line.operands[0]) + ": too large to convert");
  } else {
    file.resize(bound);
    Stream68 *stream = stream68_mem_create(file.data(), int32_t(bound), STREAM68_WRITE);
    if (VK68file_save(stream, disk) != 0) status = engine_failure(stream, out);
    stream68_destroy(stream);
  }
  vk68_free(disk);
  if (status != kExitOk) return status;
  // The file is the magic and the base chunk, whose size the writer set.
  constexpr size_t kMagicSize = 56;
  const uint8_t *base_size = file.data() + kMagicSize + 4;
  const size_t length = kMagicSize + (base_size[0] | base_size[1] << 8 | base_size[2] << 16 |
                                      size_t{base_size[3]} << 24);
  return write_file(out, file.data(), length) ? kExitOk : kExitFailure;
}

}  // namespace vk68tool
