// Test helpers: VK68 and SNDH files assembled byte by byte, and gzip
// packing.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vk68/vk68_msg.h"

namespace vk68test {

using Bytes = std::vector<uint8_t>;

inline const char kMagic[] = "VK68 Music-file / (c) (LuK)astor Brevin / MorVekA-Tul  ";
static_assert(sizeof kMagic == 56);

inline void put_le32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

inline uint32_t get_le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Chunk data of a VK68 file; file() adds the magic and the base header.
struct VkBuilder {
  Bytes chunks;

  VkBuilder &chunk(const char *code, const void *payload, uint32_t size) {
    chunks.insert(chunks.end(), {'S', 'C', uint8_t(code[0]), uint8_t(code[1])});
    put_le32(chunks, size);
    const auto *p = static_cast<const uint8_t *>(payload);
    if (p) chunks.insert(chunks.end(), p, p + size);
    return *this;
  }
  VkBuilder &text(const char *code, const std::string &s) {
    return chunk(code, s.c_str(), uint32_t(s.size() + 1));
  }
  VkBuilder &number(const char *code, uint32_t v) {
    Bytes b;
    put_le32(b, v);
    return chunk(code, b.data(), 4);
  }
  VkBuilder &mark(const char *code) { return chunk(code, nullptr, 0); }
  VkBuilder &data(const std::string &bytes) {
    return chunk("DA", bytes.data(), uint32_t(bytes.size()));
  }
  VkBuilder &raw(const Bytes &b) {
    chunks.insert(chunks.end(), b.begin(), b.end());
    return *this;
  }

  Bytes file() const { return file_with_base(uint32_t(chunks.size() + 8)); }
  Bytes file_with_base(uint32_t base) const {
    Bytes f(kMagic, kMagic + 56);
    f.insert(f.end(), {'V', 'K', '6', '8'});
    put_le32(f, base);
    f.insert(f.end(), chunks.begin(), chunks.end());
    return f;
  }
};

// An SNDH file: three branch instructions, "SNDH", the given tag bytes,
// "HDNS", then a few bytes of code.
inline Bytes sndh_file(const Bytes &tags, bool end_tag = true) {
  Bytes f = {0x60, 0x00, 0x00, 0x0E, 0x60, 0x00, 0x00, 0x10, 0x60, 0x00, 0x00, 0x12};
  f.insert(f.end(), {'S', 'N', 'D', 'H'});
  f.insert(f.end(), tags.begin(), tags.end());
  if (end_tag) f.insert(f.end(), {'H', 'D', 'N', 'S'});
  // init: rts / exit: rts / play: rts, then padding
  f.insert(f.end(), {0x4E, 0x75, 0x4E, 0x75, 0x4E, 0x75});
  while (f.size() < 40) f.push_back(0);
  return f;
}

inline Bytes tag(const std::string &s, bool terminator = false) {
  Bytes b(s.begin(), s.end());
  if (terminator) b.push_back(0);
  return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }

inline Bytes gzip(const Bytes &in) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, uLong(in.size())) + 64);
  z.next_in = const_cast<Bytes::value_type *>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace vk68test
