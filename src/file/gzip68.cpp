// gzip loader: inflates one gzip member read from an open stream (file or
// memory) into a block from the engine's allocation hook. zlib's own
// working memory goes through the same hooks.
#include <zlib.h>

#include <cstring>

#include "file/ice68.h"
#include "vk68/vk68_msg.h"

namespace {

// Music files are far smaller; a larger result is refused rather than
// letting a small packed file claim any amount of memory.
constexpr size_t kMaxInflated = size_t(64) << 20;
constexpr int32_t kChunk = 16384;
constexpr char kNoMemory[] = "out of memory to unpack gzip data";

voidpf zlib_alloc(voidpf, uInt items, uInt size) { return vk68_alloc(size_t(items) * size); }

void zlib_free(voidpf, voidpf block) { vk68_free(block); }

// Output buffer that doubles as it fills.
struct Output {
  uint8_t *data = nullptr;
  size_t size = 0;
  size_t capacity = 0;

  bool reserve(size_t wanted) {
    if (wanted <= capacity) return true;
    size_t grown = capacity ? capacity * 2 : 65536;
    while (grown < wanted) grown *= 2;
    if (grown > kMaxInflated) grown = kMaxInflated;
    uint8_t *block = static_cast<uint8_t *>(vk68_alloc(grown));
    if (!block) return false;
    if (size) std::memcpy(block, data, size);
    vk68_free(data);
    data = block;
    capacity = grown;
    return true;
  }
};

}  // namespace

extern "C" void *gzip_load(Stream68 *stream, int32_t *out_size) {
  if (out_size) *out_size = 0;
  const char *name = stream68_name(stream);
  if (!name) name = "<nul>";

  z_stream z;
  std::memset(&z, 0, sizeof z);
  z.zalloc = zlib_alloc;
  z.zfree = zlib_free;
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    vk68_error_add("%s: cannot start unpacking gzip data (out of memory)", name);
    return nullptr;
  }

  uint8_t input[kChunk];
  Output out;
  const char *failure = nullptr;  // why unpacking stopped
  const char *damage = nullptr;   // zlib's word on damaged data
  int status = Z_OK;
  while (status != Z_STREAM_END && !failure && !damage) {
    if (z.avail_in == 0) {
      int32_t got = stream68_read(stream, input, kChunk);
      if (got < 0) {
        failure = "read error in gzip-packed data";
        break;
      }
      if (got == 0) {
        failure = "gzip-packed data cut short";
        break;
      }
      z.next_in = input;
      z.avail_in = uInt(got);
    }
    if (out.size == out.capacity) {
      if (out.capacity == kMaxInflated) {
        failure = "gzip-packed content larger than 64 MiB";
        break;
      }
      if (!out.reserve(out.size + 1)) {
        failure = kNoMemory;
        break;
      }
    }
    z.next_out = out.data + out.size;
    z.avail_out = uInt(out.capacity - out.size);
    status = inflate(&z, Z_NO_FLUSH);
    out.size = out.capacity - z.avail_out;
    if (status == Z_MEM_ERROR)
      failure = kNoMemory;
    else if (status == Z_NEED_DICT || status == Z_DATA_ERROR)
      damage = z.msg ? z.msg : "unknown damage";
  }
  inflateEnd(&z);

  if (failure || damage) {
    if (damage)
      vk68_error_add("%s: damaged gzip-packed data (%s)", name, damage);
    else
      vk68_error_add("%s: %s", name, failure);
    vk68_free(out.data);
    return nullptr;
  }
  // An empty member still gives a block, so success is never null.
  if (!out.data) {
    out.data = static_cast<uint8_t *>(vk68_alloc(1));
    if (!out.data) {
      vk68_error_add("%s: %s", name, kNoMemory);
      return nullptr;
    }
  }
  if (out_size) *out_size = int32_t(out.size);
  return out.data;
}
