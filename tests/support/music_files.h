// Music files assembled byte by byte for tests: VK68 chunks, SNDH headers,
// and gzip and ICE packing of any bytes.
#ifndef TESTS_SUPPORT_MUSIC_FILES_H
#define TESTS_SUPPORT_MUSIC_FILES_H

#include <zlib.h>

#include <cstdint>
#include <string>

#include "file/ice68.h"
#include "support/sndh_header.h"
#include "vk68/vk68_msg.h"

namespace musictest {

// The 53 characters, two spaces and a zero byte that open a VK68 file.
inline const std::string kMagic("VK68 Music-file / (c) (LuK)astor Brevin / MorVekA-Tul  ", 56);

inline std::string le32(uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
inline std::string be16(uint16_t v) { return {char(v >> 8), char(v)}; }
inline std::string be32(uint32_t v) { return be16(uint16_t(v >> 16)) + be16(uint16_t(v)); }

// A VK68 file: the magic, the base chunk (with the right size unless one is
// given), the chunks and any raw bytes after them. Chunks are written as
// "FN'Disk|DF=2|MU|DA:CODE": the two code characters, then a text ('), a
// 32-bit number (=, C notation) or raw bytes (:); nothing is no payload.
inline std::string vk68(const std::string &chunks, const std::string &tail = "",
                        uint32_t base = 0) {
  std::string body;
  for (size_t at = 0; at < chunks.size();) {
    size_t end = chunks.find('|', at);
    if (end == std::string::npos) end = chunks.size();
    const std::string item = chunks.substr(at, end - at), rest = item.substr(2 + (item.size() > 2));
    std::string payload = item.size() == 2 ? "" : item[2] == '\'' ? rest + '\0' : rest;
    if (item.size() > 2 && item[2] == '=') payload = le32(uint32_t(std::stoul(rest, nullptr, 0)));
    body += "VK" + item.substr(0, 2) + le32(uint32_t(payload.size())) + payload;
    at = end + 1;
  }
  body += tail;
  return kMagic + "VK68" + le32(base ? base : uint32_t(body.size() + 8)) + body;
}

// An SNDH file whose three entries return at once (rts), padded up to 40
// bytes.
inline std::string sndh(const std::string &tags) {
  std::string f = sndh_header(tags) + "\x4E\x75\x4E\x75\x4E\x75";
  f.resize(f.size() < 40 ? 40 : f.size(), '\0');
  return f;
}

inline std::string gzip(const std::string &in) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(in.size())), '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
  z.avail_in = uInt(in.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Packed with the engine's own packer (tested on its own in file_ice).
inline std::string ice(const std::string &in) {
  int32_t size = 0;
  void *p = ice_pack(in.data(), int32_t(in.size()), &size);
  std::string out(static_cast<const char *>(p), size_t(size));
  vk68_free(p);
  return out;
}

}  // namespace musictest

#endif
