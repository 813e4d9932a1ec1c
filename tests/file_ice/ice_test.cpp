// ICE header test, depacker, packer and loader, and the gzip loader.
#include <gtest/gtest.h>

#include <random>

#include "file/ice68.h"
#include "support/engine_fixture.h"
#include "support/music_files.h"

namespace {

using enginetest::messages;
using musictest::be32;
using musictest::ice;

// A packed file laid out by hand: bits and literal bytes in the order the
// depacker fetches them (the first byte holds 7 bits above its marker, a
// later bit byte takes the next slot when its first bit is written), then
// reversed behind the header.
struct Stream {
  std::string fetch;
  size_t slot = 0;
  int used = 0, first_used = 0;

  Stream &bits(unsigned value, int n) {
    while (n--) {
      if (fetch.empty() || used == (slot == 0 ? 7 : 8)) {
        slot = fetch.size();
        fetch += '\0';
        used = 0;
      }
      if (value >> n & 1) fetch[slot] = char(fetch[slot] | 0x80 >> used);
      if (++used && slot == 0) first_used = used;
    }
    return *this;
  }
  // A literal run that puts `data` in the output as it stands: the flag,
  // the length by the format's table (bits, escape, base), the bytes.
  Stream &run(const std::string &data) {
    static const unsigned rows[5][3] = {
        {2, 3, 1}, {2, 3, 4}, {3, 7, 7}, {8, 255, 14}, {15, 0, 269}};
    const unsigned n = unsigned(data.size() - 1);
    bits(n ? 3 : 2, 2);
    for (const auto &r : rows) {
      const bool last = n == 0 || n - r[2] < r[1] || r[1] == 0;
      if (n) bits(last ? n - r[2] : r[1], int(r[0]));
      if (last) break;
    }
    fetch.append(data.rbegin(), data.rend());
    return *this;
  }
  std::string file(uint32_t unpacked) const {
    std::string f = "ICE!" + be32(uint32_t(fetch.size() + 12)) + be32(unpacked);
    f.append(fetch.rbegin(), fetch.rend());
    if (!fetch.empty()) f.back() = char(f.back() | 0x80 >> first_used);
    return f;
  }
};

// Depacks into exactly U bytes (so the sanitizer sees any overrun).
std::string depack(const std::string &file) {
  const int32_t u = ice_depacked_size(file.data(), nullptr);
  std::vector<char> out(u > 0 ? size_t(u) : 0), exact(file.begin(), file.end());
  return ice_depack(out.data(), exact.data()) == 0 ? std::string(out.begin(), out.end()) : "FAIL";
}

// Runs a loader on bytes in a memory stream: what it unpacked, or its
// message after "<stream>: ".
std::string unpack(void *(*loader)(Stream68 *, int32_t *), std::string bytes) {
  Stream68 *s = stream68_mem_create(bytes.data(), int32_t(bytes.size()), STREAM68_READ);
  stream68_open(s);
  int32_t size = -1;
  auto *out = static_cast<char *>(loader(s, &size));
  stream68_destroy(s);
  std::string result = out ? std::string(out, size_t(size)) : messages().back();
  vk68_free(out);
  return out || size ? result : result.substr(result.find(": ") + 2);
}

using Ice = enginetest::EngineTest;

TEST_F(Ice, HeaderTest) {
  // P, packed size expected (-1: not asked), result, packed size out
  const std::tuple<uint32_t, int32_t, int32_t, int32_t> cases[] = {
      {100, -1, 5000, -1},  {11, -1, -2, -1},  {100, 0, 5000, 88}, {100, 88, 5000, 88},
      {100, 87, ~5000, 88}, {100, 11, -1, 11}, {0, -1, -1, -1},  // P 0: a wrong magic
  };
  for (const auto &[p, in, result, out] : cases) {
    const std::string header = (p ? "ICE!" : "ICE?") + be32(p ? p : 100) + be32(5000);
    int32_t e = in;
    EXPECT_EQ(ice_depacked_size(header.data(), in < 0 ? nullptr : &e), result) << p << " " << in;
    EXPECT_EQ(e, out) << p << " " << in;
  }
}

TEST_F(Ice, HandLaidStreams) {
  // One literal 'A', a 2-byte copy at offset -1, the end, no picture: the
  // bytes worked out by hand.
  const std::string aaa = Stream().run("A").bits(0, 8).bits(0, 2).file(3);
  EXPECT_EQ(aaa, std::string("ICE!\0\0\0\x0F\0\0\0\x03\x00\x41\x81", 15));
  const std::string planes("\0\x08\0\0\0\0\0\0\0\x01\0\0\0\0\xF0\0", 16),
      twelve("\1\2\3\4\0\x08\0\0\0\0\0\0", 12), twelve_out("\1\2\3\4\0\1\0\0\0\0\0\0", 12);
  std::string negative = Stream().bits(0, 2).file(0), magic = negative;
  negative[8] = '\x80';
  magic[3] = '?';
  const std::pair<std::string, std::string> cases[] = {
      {aaa, "AAA"},
      // "xB", then 5 bytes (length 110 + 1) at offset class 10, code 0 (-1).
      {Stream().run("xB").bits(0b1101, 4).bits(0b10, 2).bits(0, 5).bits(0, 2).file(7), "xxxxxxB"},
      {Stream().bits(0, 11).file(2), "FAIL"},                                 // copy of nothing
      {Stream().run("ab").bits(0, 1).file(1), "FAIL"},                        // run too long
      {Stream().run("a").bits(0, 2).bits(63, 6).bits(0, 1).file(3), "FAIL"},  // copy from beyond
      {Stream().run("x").file(100), "FAIL"},                                  // out of bits
      {Stream().bits(3, 2).bits(2, 2).bits(0, 8).file(4), "FAIL"},            // out of literals
      {Stream().file(0), "FAIL"},                                             // no stream at all
      {negative, "FAIL"},
      {magic, "FAIL"},
      {Stream().bits(0, 2).file(0), ""},
      // Picture pass, default count: every 8-byte group from the end; the
      // nibbles of W3..W0 (top first) go bit by bit to planes Q3..Q0.
      {Stream().run(planes).bits(0b10, 2).file(16),
       std::string("\0\1\0\0\0\0\0\0\x80\0\x80\0\x80\0\x80\1", 16)},
      // An explicit count of 0 (one group); the default count on 12 bytes:
      // only the whole group at the end.
      {Stream().run(twelve).bits(0b11, 2).bits(0, 16).file(12), twelve_out},
      {Stream().run(twelve).bits(0b10, 2).file(12), twelve_out},
  };
  for (const auto &[file, want] : cases) EXPECT_EQ(depack(file), want);
}

TEST_F(Ice, CopiesFetchTheRightBytesInEveryOffsetClass) {
  std::string literals(300, '\0');
  for (size_t i = 0; i < literals.size(); ++i) literals[i] = char(i * 7);
  Stream s;
  s.run(literals);
  s.bits(0b10, 2).bits(0, 1).bits(9, 8).bits(0, 1);                    // 3 bytes, o = 31 + 9
  s.bits(0, 1).bits(1, 1).bits(100, 9).bits(0, 1);                     // 2 bytes, o = 63 + 100
  s.bits(0b1111, 4).bits(0, 10).bits(0b11, 2).bits(0, 12).bits(0, 2);  // 10 bytes, o = 287
  // Reference: a copy of l + 2 bytes takes them from l + o + 2 bytes above.
  std::string want = std::string(15, '\0') + literals;
  size_t w = 15;
  for (auto [length, distance] : {std::pair{3, 43}, {2, 165}, {10, 297}})
    for (int k = 0; k < length; ++k, --w) want[w - 1] = want[w - 1 + size_t(distance)];
  EXPECT_EQ(depack(s.file(315)), want);
}

TEST_F(Ice, PackedDataDepacksToItself) {
  std::mt19937 rng(42);
  for (double size = 0; size < 100000; size = size < 300 ? size + 1 : size * 1.07) {
    const int shape = int(size) % 4;
    std::string data(size_t(size), '\0');
    for (size_t k = 0; k < data.size(); ++k)
      data[k] = shape == 0              ? char(rng())                 // no repeats
                : shape == 1            ? 'U'                         // one long repeat
                : shape == 2            ? "aabcdeeef "[rng() % 10]    // short repeats
                : k > 5000 && rng() % 8 ? data[k - 1 - rng() % 5000]  // copies from everywhere
                                        : char(rng() % 16);
    const std::string packed = ice(data);
    ASSERT_EQ(depack(packed), data) << size << " " << shape;
    ASSERT_LT(packed.size(), shape == 1 ? 40 + data.size() / 200 : 48 + data.size() * 9 / 8);
  }
  // Differences 1, 3, 5, ... in blocks of 256 steps: no byte pair repeats
  // within reach of a copy, so packing needs one literal run.
  std::string run(33038, '\0');
  for (size_t i = 0, s = 0; i < run.size(); s += 2 * (i / 256 % 128) + 1, ++i) run[i] = char(s);
  EXPECT_EQ(depack(ice(run.substr(1))), run.substr(1));
  int32_t size = -1;
  EXPECT_EQ(ice_pack(run.data(), int32_t(run.size()), &size), nullptr);
  EXPECT_EQ(messages(), std::vector<std::string>{
                            "cannot pack with ICE: more than 33037 bytes without a repeat"});
}

TEST_F(Ice, Loaders) {
  const std::string good = ice("hello hello!"), zipped = musictest::gzip(std::string(5000, 'z'));
  std::string wrong = good, greedy = good, damaged = good.substr(0, 12) + good.substr(13);
  std::string crc = zipped, noise(300000, '\0'), big(size_t(64) << 20, '\0');
  wrong[0] = 'X';
  greedy[8] = 0x40;  // more output than the data could give
  damaged[7] = char(damaged.size());
  crc[crc.size() - 6] ^= 1;
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char(i * 2654435761u >> 24);
  auto *ice_loader = ice_load, *gzip_loader = gzip_load;
  const std::tuple<decltype(ice_loader), std::string, std::string> cases[] = {
      {ice_loader, good, "hello hello!"},
      {ice_loader, good.substr(0, 11), "not an ICE-packed file (shorter than its 12-byte header)"},
      {ice_loader, wrong, "not an ICE-packed file (no ICE! signature)"},
      {ice_loader, greedy, "damaged ICE-packed file (impossible sizes in its header)"},
      {ice_loader, good.substr(0, good.size() - 1), "ICE-packed data cut short"},
      {ice_loader, damaged, "damaged ICE-packed data"},
      {gzip_loader, musictest::gzip(noise), noise},
      {gzip_loader, zipped.substr(0, zipped.size() - 10), "gzip-packed data cut short"},
      {gzip_loader, crc, "damaged gzip-packed data (incorrect data check)"},
      {gzip_loader, musictest::gzip(big), big},  // up to 64 MiB, and not one byte more
      {gzip_loader, musictest::gzip(big + '\0'), "gzip-packed content larger than 64 MiB"},
  };
  for (const auto &[loader, file, want] : cases)
    EXPECT_TRUE(unpack(loader, file) == want) << want.substr(0, 30);
}

}  // namespace
