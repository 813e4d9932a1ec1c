// ICE depacker: header test, the backwards bit-stream decoder, the optional
// picture post-pass, and the loaders that read a packed file from a stream.
//
// Decoding runs from the end of the output towards its start. Every step is
// checked against both buffers: a damaged stream ends with -1 instead of
// reading before the packed data or writing outside the output.
#include "file/ice68.h"

#include <cerrno>
#include <cstring>

#include "vk68/vk68_msg.h"

namespace {

constexpr int32_t kHeaderSize = 12;
constexpr uint32_t kMagic = 0x49434521;  // "ICE!"

// A valid stream cannot expand further than this: the cheapest token is a
// 1033-byte copy that costs 22 bits, so each packed byte yields at most
// 8 * 1033 / 22 < 376 output bytes. 512 per byte plus 64 KiB leaves a margin
// and refuses headers that only ask for a huge allocation.
constexpr int64_t kMaxExpansion = 512;
constexpr int64_t kExpansionSlack = 65536;

uint32_t read_be32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void write_be16(uint8_t *p, unsigned v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

// Literal-run table: bits to read, escape value, base. A row whose value is
// not its escape (or the last row) ends the search with n = value + base;
// the run is n + 1 bytes long.
struct LiteralRow {
  int bits;
  int escape;
  int base;
};
constexpr LiteralRow kLiteralRows[] = {
    {2, 3, 1}, {2, 3, 4}, {3, 7, 7}, {8, 255, 14}, {15, 32767, 269},
};

// Copy-length classes, chosen by up to four leading 1 bits:
//   0 -> 2 bytes, 10 -> 3, 110+1 bit -> 4..5, 1110+2 bits -> 6..9,
//   1111+10 bits -> 10..1033.  l = base + extra; bytes copied = l + 2.
struct LengthClass {
  int bits;
  int base;
};
constexpr LengthClass kLengthClasses[] = {{0, 0}, {0, 1}, {1, 2}, {2, 4}, {10, 8}};

// Copy-offset classes for copies longer than 2 bytes, by up to two 1 bits:
//   0 -> 8 bits + 31, 10 -> 5 bits - 1, 11 -> 12 bits + 287.
// Two-byte copies use one bit: 1 -> 9 bits + 63, 0 -> 6 bits - 1.
struct OffsetClass {
  int bits;
  int base;
};
constexpr OffsetClass kOffsetClasses[] = {{8, 31}, {5, -1}, {12, 287}};
constexpr OffsetClass kShortOffsets[] = {{6, -1}, {9, 63}};

// The backwards bit reader. `b` holds the unused bits above a marker bit;
// when only the marker is left, the next byte below is fetched and the
// shifted-out marker enters at the bottom. Literal bytes are taken from the
// same pointer. `ok` turns false once anything would be read before `low`.
struct BitReader {
  const uint8_t *p;
  const uint8_t *low;
  unsigned b;
  bool ok;

  int bit() {
    unsigned v = b << 1;
    if ((v & 0xFF) == 0) {
      if (p <= low) {
        ok = false;
        return 0;
      }
      v = unsigned(*--p) << 1 | (v >> 8);
    }
    b = v & 0xFF;
    return int(v >> 8);
  }

  int bits(int n) {
    int value = 0;
    while (n-- > 0) value = value << 1 | bit();
    return value;
  }

  bool byte(uint8_t *out) {
    if (p <= low) return ok = false;
    *out = *--p;
    return true;
  }
};

// Reorders one 8-byte group: the 16 nibbles of W3..W0 (top nibble first)
// are split bit by bit into four 16-bit planes Q3..Q0.
void picture_group(uint8_t *g) {
  unsigned q[4] = {0, 0, 0, 0};
  for (int word = 3; word >= 0; --word) {
    unsigned w = unsigned(g[2 * word]) << 8 | g[2 * word + 1];
    for (int shift = 12; shift >= 0; shift -= 4) {
      unsigned nibble = w >> shift;
      for (int plane = 0; plane < 4; ++plane) q[plane] = q[plane] << 1 | (nibble >> plane & 1);
    }
  }
  for (int plane = 0; plane < 4; ++plane) write_be16(g + 2 * (3 - plane), q[plane] & 0xFFFF);
}

// Reads the picture flag and, when set, converts groups from the end of the
// output backwards. The group count is 3999 (32000 bytes) unless a further
// bit is 1, in which case the next 16 stream bits hold it. Both bits come
// from the stream like any other: the count is decoded, not overlaid on the
// bit buffer. Only whole groups inside the output are converted.
bool picture_pass(BitReader &in, uint8_t *start, uint8_t *end) {
  if (!in.bit()) return in.ok;
  int32_t groups = 3999;
  if (in.bit()) groups = in.bits(16);
  if (!in.ok) return false;
  for (uint8_t *g = end; groups >= 0 && g - start >= 8; --groups) {
    g -= 8;
    picture_group(g);
  }
  return true;
}

int depack(uint8_t *out, const uint8_t *packed) {
  if (read_be32(packed) != kMagic) return -1;
  int32_t p_size = int32_t(read_be32(packed + 4));
  int32_t u_size = int32_t(read_be32(packed + 8));
  if (p_size <= kHeaderSize || u_size < 0 || (!out && u_size > 0)) return -1;

  BitReader in{packed + p_size - 1, packed + kHeaderSize, packed[p_size - 1], true};
  uint8_t *const start = out;
  uint8_t *const end = out + u_size;
  uint8_t *w = end;

  for (;;) {
    if (in.bit()) {
      int n = 0;
      if (in.bit()) {
        for (const LiteralRow &row : kLiteralRows) {
          int v = in.bits(row.bits);
          n = v + row.base;
          if (v != row.escape) break;
        }
      }
      if (!in.ok || n + 1 > w - start) return -1;
      for (int k = 0; k <= n; ++k)
        if (!in.byte(--w)) return -1;
    }
    if (!in.ok) return -1;
    if (w <= start) break;

    int cls = 0;
    while (cls < 4 && in.bit()) ++cls;
    int l = kLengthClasses[cls].base + in.bits(kLengthClasses[cls].bits);
    int o;
    if (l > 0) {
      int oc = in.bit() ? (in.bit() ? 2 : 1) : 0;
      o = kOffsetClasses[oc].base + in.bits(kOffsetClasses[oc].bits);
      if (o < 0) o -= l;
    } else {
      const OffsetClass &c = kShortOffsets[in.bit()];
      o = c.base + in.bits(c.bits);
    }
    if (!in.ok) return -1;
    // Source run [s - l - 1, s] must be already written, i.e. inside
    // [w, end); its distance above the destination is l + o + 2 >= 1.
    if (l + 2 > w - start || end - w <= l + o + 1) return -1;
    const uint8_t *s = w + l + o + 1;
    for (int k = 0; k <= l + 1; ++k) w[-1 - k] = s[-k];
    w -= l + 2;
  }
  return picture_pass(in, start, end) ? 0 : -1;
}

}  // namespace

extern "C" int32_t ice_depacked_size(const void *header, int32_t *packed_size) {
  const uint8_t *h = static_cast<const uint8_t *>(header);
  if (!h) return -1;
  int32_t expected = packed_size ? *packed_size : 0;
  if (packed_size && expected > 0 && expected < kHeaderSize) return -1;
  if (read_be32(h) != kMagic) return -1;
  int32_t p = int32_t(read_be32(h + 4));
  int32_t u = int32_t(read_be32(h + 8));
  if (p < kHeaderSize) return -2;
  if (packed_size) *packed_size = p - kHeaderSize;
  if (expected != 0 && int64_t(p) != int64_t(expected) + kHeaderSize) return ~u;
  return u;
}

extern "C" int packing_of(const void *bytes, int32_t size) {
  static constexpr uint8_t kGzipMagic[] = {0x1F, 0x8B, 0x08};  // gzip, deflate method
  if (size >= 3 && std::memcmp(bytes, kGzipMagic, 3) == 0) return VK68FILE_PACKING_GZIP;
  if (size >= kHeaderSize && ice_depacked_size(bytes, nullptr) > 0) return VK68FILE_PACKING_ICE;
  return VK68FILE_PACKING_NONE;
}

extern "C" int ice_depack(void *out, const void *packed) {
  if (!packed) return -1;
  return depack(static_cast<uint8_t *>(out), static_cast<const uint8_t *>(packed));
}

extern "C" void *ice_load(Stream68 *stream, int32_t *out_size) {
  if (out_size) *out_size = 0;
  const char *name = stream68_name(stream);
  if (!name) name = "<nul>";

  uint8_t header[kHeaderSize];
  if (stream68_read(stream, header, kHeaderSize) != kHeaderSize) {
    vk68_error_add("%s: not an ICE-packed file (shorter than its 12-byte header)", name);
    return nullptr;
  }
  int32_t data_size = 0;
  int32_t u_size = ice_depacked_size(header, &data_size);
  if (u_size == -1) {
    vk68_error_add("%s: not an ICE-packed file (no ICE! signature)", name);
    return nullptr;
  }
  if (u_size < 0 || u_size > kMaxExpansion * data_size + kExpansionSlack) {
    vk68_error_add("%s: damaged ICE-packed file (impossible sizes in its header)", name);
    return nullptr;
  }
  // When the stream knows its length, a header that promises more data than
  // is left fails before the packed buffer is allocated.
  int32_t length = stream68_length(stream);
  int32_t position = stream68_tell(stream);
  if (length >= 0 && position >= 0 && data_size > length - position) {
    vk68_error_add("%s: ICE-packed data cut short", name);
    return nullptr;
  }

  uint8_t *packed = static_cast<uint8_t *>(vk68_alloc(size_t(data_size) + kHeaderSize));
  if (!packed) {
    vk68_error_add("%s: out of memory for %d bytes of ICE-packed data", name, int(data_size));
    return nullptr;
  }
  std::memcpy(packed, header, kHeaderSize);
  if (stream68_read(stream, packed + kHeaderSize, data_size) != data_size) {
    vk68_error_add("%s: ICE-packed data cut short", name);
    vk68_free(packed);
    return nullptr;
  }
  // An empty result still gets a block of its own so that success is never
  // a null pointer.
  uint8_t *out = static_cast<uint8_t *>(vk68_alloc(u_size ? size_t(u_size) : 1));
  if (!out) {
    vk68_error_add("%s: out of memory to unpack %d bytes", name, int(u_size));
    vk68_free(packed);
    return nullptr;
  }
  int result = depack(out, packed);
  vk68_free(packed);
  if (result != 0) {
    vk68_error_add("%s: damaged ICE-packed data", name);
    vk68_free(out);
    return nullptr;
  }
  if (out_size) *out_size = u_size;
  return out;
}

extern "C" void *ice_load_file(const char *path, int32_t *out_size) {
  if (out_size) *out_size = 0;
  Stream68 *stream = stream68_file_create(path, STREAM68_READ);
  if (!stream) {
    vk68_error_add("%s: cannot open the file", path ? path : "<nul>");
    return nullptr;
  }
  void *out = nullptr;
  if (stream68_open(stream) != 0)
    vk68_error_add("%s: cannot open the file (%s)", path, std::strerror(errno));
  else
    out = ice_load(stream, out_size);
  stream68_destroy(stream);
  return out;
}
