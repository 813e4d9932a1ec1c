// ICE header test, depacker and loaders: hand-built streams with known
// results, damaged input, and the loader's failure paths.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "file/ice68.h"
#include "ice_stream.h"
#include "vk68/vk68_msg.h"
#include "support/engine_fixture.h"

namespace {

using icetest::Builder;
using icetest::Bytes;

class Ice : public enginetest::EngineTest {
 protected:
  // Depacks into a buffer of exactly U bytes (so any overrun is caught by
  // the address sanitizer); the file itself is copied to an exact-size block.
  static int depack(const Bytes &file, Bytes &out) {
    uint32_t u =
        uint32_t(file[8]) << 24 | uint32_t(file[9]) << 16 | uint32_t(file[10]) << 8 | file[11];
    out.assign(u < 0x80000000u ? u : 0, 0xEE);
    Bytes exact(file);
    return ice_depack(out.data(), exact.data());
  }

  static std::string pop() {
    const char *m = vk68_error_get();
    return m ? m : "(none)";
  }
};

Bytes header(const char *magic, uint32_t p, uint32_t u) {
  Bytes h(magic, magic + 4);
  for (uint32_t v : {p, u})
    for (int s = 24; s >= 0; s -= 8) h.push_back(uint8_t(v >> s));
  return h;
}

TEST_F(Ice, HeaderTest) {
  EXPECT_EQ(ice_depacked_size(header("ICE!", 100, 5000).data(), nullptr), 5000);
  EXPECT_EQ(ice_depacked_size(header("ICE?", 100, 5000).data(), nullptr), -1);
  EXPECT_EQ(ice_depacked_size(header("ICE!", 11, 5000).data(), nullptr), -2);
  EXPECT_EQ(ice_depacked_size(header("ICE!", 12, 0).data(), nullptr), 0);

  int32_t e = 0;
  EXPECT_EQ(ice_depacked_size(header("ICE!", 100, 5000).data(), &e), 5000);
  EXPECT_EQ(e, 88);
  e = 88;
  EXPECT_EQ(ice_depacked_size(header("ICE!", 100, 5000).data(), &e), 5000);
  e = 87;
  EXPECT_EQ(ice_depacked_size(header("ICE!", 100, 5000).data(), &e), ~5000);
  EXPECT_EQ(e, 88);
  for (int32_t bad : {1, 11}) {
    e = bad;
    EXPECT_EQ(ice_depacked_size(header("ICE!", 100, 5000).data(), &e), -1);
    EXPECT_EQ(e, bad);
  }
}

// One literal 'A', then a 2-byte copy with offset -1 (6-bit class, code 0),
// then the end and no picture. Bits in fetch order:
//   1 0 | 'A' | 0 0 000000 | 0 | 0
// The first byte takes 7 bits (1000000) above its marker: 0x81; 'A' is the
// next fetched byte; the remaining 5 zero bits fill the third: 0x00.
TEST_F(Ice, HandBuiltStreamRepeatsTheLastByteTwice) {
  Bytes file = header("ICE!", 15, 3);
  file.insert(file.end(), {0x00, 0x41, 0x81});
  Bytes out;
  ASSERT_EQ(depack(file, out), 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), "AAA");

  Builder b;
  b.bit(1).bit(0).byte('A').bit(0).bit(0).bits(0, 6).bit(0).bit(0);
  EXPECT_EQ(b.file(3), file);
}

TEST_F(Ice, LongerCopyWithOffsetMinusOneRepeatsOneByte) {
  Builder b;
  // Literal "xB", copy of l = 3 (prefix 110, extra 1) offset prefix 10 code 0.
  b.bit(1).bit(1).bits(0, 2).byte('x').byte('B');
  b.bits(0b110, 3).bit(1).bits(0b10, 2).bits(0, 5);
  b.bit(0).bit(0);
  Bytes out;
  ASSERT_EQ(depack(b.file(7), out), 0);
  // Output is built from the end: "xB" go last, the copy precedes them.
  EXPECT_EQ(std::string(out.begin(), out.end()), "BBBBBBx");
}

TEST_F(Ice, CopiesAtEachOffsetClassFetchTheRightBytes) {
  // 300 literal bytes 0..299 (mod 256), then copies taken from known places.
  // In output terms the literals end up at [U-300, U) in reverse order.
  const int lit = 300;
  Builder b;
  b.bit(1).bit(1).bits(3, 2).bits(3, 2).bits(7, 3).bits(255, 8).bits(lit - 1 - 269, 15);
  for (int i = 0; i < lit; ++i) b.byte(uint8_t(i));
  // Copy of 3 bytes (l = 1) with the 8-bit class: o = 31 + 9 = 40, distance
  // l + o + 2 = 43: source starts 43 above the destination.
  b.bits(0b10, 2).bit(0).bits(9, 8);
  b.bit(0);
  // 2-byte copy with the 9-bit class: o = 63 + 100, distance 165.
  b.bit(0).bit(1).bits(100, 9);
  b.bit(0);
  // Copy of 10 bytes (l = 8) with the 12-bit class would need 287+ bytes of
  // history: o = 287 + 0, distance 297.
  b.bits(0b1111, 4).bits(0, 10).bits(0b11, 2).bits(0, 12);
  b.bit(0).bit(0);
  const int u = lit + 3 + 2 + 10;
  Bytes out;
  ASSERT_EQ(depack(b.file(u), out), 0);
  // Reference: fill the same way, independently.
  Bytes ref(u);
  int w = u;
  for (int i = 0; i < lit; ++i) ref[--w] = uint8_t(i);
  for (auto [len, dist] : {std::pair{3, 43}, std::pair{2, 165}, std::pair{10, 297}})
    for (int k = 0; k < len; ++k, --w) ref[w - 1] = ref[w - 1 + dist];
  EXPECT_EQ(out, ref);
}

TEST_F(Ice, PicturePassReordersGroupsFromTheEnd) {
  // 16 literal bytes (row 4: n = 15), then the picture bit and the default
  // count. Groups: bytes [8,16) and [0,8).
  const uint8_t data[16] = {0x00, 0x08, 0, 0, 0, 0, 0,    0,      // W0 = 0x0008
                            0x00, 0x01, 0, 0, 0, 0, 0xF0, 0x00};  // W0 = 1, W3 = 0xF000
  Builder b;
  b.bit(1).bit(1).bits(3, 2).bits(3, 2).bits(7, 3).bits(15 - 14, 8);
  for (int i = 15; i >= 0; --i) b.byte(data[i]);
  b.bit(1).bit(0);
  Bytes out;
  ASSERT_EQ(depack(b.file(16), out), 0);
  // Nibble order W3..W0, top nibble first; plane k collects bit k.
  // Second group: the first nibble (F) sets the top bit of every plane, the
  // last (1) the low bit of Q0. First group: the last nibble (8) sets Q3's
  // low bit. Q3 goes to offset 0, Q0 to offset 6.
  const Bytes want = {0x00, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x01};
  EXPECT_EQ(out, want);
}

TEST_F(Ice, PicturePassWithExplicitCountAndPartialGroup) {
  // 12 bytes, explicit count 0: only the last group of 8 is converted.
  Builder b;
  b.bit(1).bit(1).bits(3, 2).bits(3, 2).bits(11 - 7, 3);
  const uint8_t data[12] = {1, 2, 3, 4, 0x00, 0x08, 0, 0, 0, 0, 0, 0};
  for (int i = 11; i >= 0; --i) b.byte(data[i]);
  b.bit(1).bit(1).bits(0, 16);
  Bytes out;
  ASSERT_EQ(depack(b.file(12), out), 0);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 0x00, 0x01, 0, 0, 0, 0, 0, 0}));

  // Default count on 12 bytes: one whole group, the 4 bytes below stay.
  Builder c;
  c.bit(1).bit(1).bits(3, 2).bits(3, 2).bits(11 - 7, 3);
  for (int i = 11; i >= 0; --i) c.byte(data[i]);
  c.bit(1).bit(0);
  ASSERT_EQ(depack(c.file(12), out), 0);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 0x00, 0x01, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Ice, DamagedStreamsFailCleanly) {
  Bytes out;
  // A copy before anything was written would read past the output's end.
  EXPECT_EQ(depack(Builder().bit(0).bit(0).bit(0).bits(0, 6).bit(0).bit(0).file(2), out), -1);
  // A literal run longer than the output.
  EXPECT_EQ(depack(Builder().bit(1).bit(1).bits(0, 2).byte(1).byte(2).bit(0).file(1), out), -1);
  // A copy whose source lies beyond the bytes written so far.
  EXPECT_EQ(depack(Builder().bit(1).bit(0).byte(7).bit(0).bit(0).bits(63, 6).bit(0).file(3), out),
            -1);
  // The stream runs out of bits.
  EXPECT_EQ(depack(Builder().bit(1).bit(0).byte('x').file(100), out), -1);
  // A literal run that needs more bytes than the stream has.
  EXPECT_EQ(depack(Builder().bit(1).bit(1).bits(2, 2).byte(1).file(4), out), -1);
  // No packed stream at all, and a negative size.
  EXPECT_EQ(depack(header("ICE!", 12, 0), out), -1);
  Bytes neg = Builder().bit(0).bit(0).file(0);
  neg[8] = 0x80;
  EXPECT_EQ(depack(neg, out), -1);
  // Wrong magic.
  Bytes good = Builder().bit(0).bit(0).file(0);
  ASSERT_EQ(depack(good, out), 0);
  good[3] = '?';
  EXPECT_EQ(depack(good, out), -1);
}

TEST_F(Ice, RandomDamageNeverEscapesTheBuffers) {
  std::mt19937 rng(1234);
  Bytes data(3000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(rng() % 7 == 0 ? rng() : i / 40);
  int32_t psize = 0;
  uint8_t *packed = static_cast<uint8_t *>(ice_pack(data.data(), int32_t(data.size()), &psize));
  ASSERT_NE(packed, nullptr);
  Bytes file(packed, packed + psize);
  vk68_free(packed);

  Bytes out;
  ASSERT_EQ(depack(file, out), 0);
  ASSERT_EQ(out, data);

  // Cutting bytes off the low end of the stream: every byte is fetched, so
  // the depacker runs out and must say so.
  for (int cut = 1; cut < 40; ++cut) {
    Bytes t(file.begin(), file.begin() + 12);
    t.insert(t.end(), file.begin() + 12 + cut, file.end());
    uint32_t p = uint32_t(t.size());
    for (int s = 0; s < 4; ++s) t[4 + s] = uint8_t(p >> (24 - 8 * s));
    EXPECT_EQ(depack(t, out), -1) << "cut " << cut;
  }

  for (int round = 0; round < 3000; ++round) {
    Bytes t(file);
    int flips = 1 + int(rng() % 4);
    for (int f = 0; f < flips; ++f) t[12 + rng() % (t.size() - 12)] ^= uint8_t(1 + rng() % 255);
    if (round % 3 == 0) {  // also claim another output size
      uint32_t u = rng() % 6000;
      for (int s = 0; s < 4; ++s) t[8 + s] = uint8_t(u >> (24 - 8 * s));
    }
    int r = depack(t, out);
    ASSERT_TRUE(r == 0 || r == -1);
  }
}

// A stream that can only read: without a length the loader cannot tell a
// short file in advance and has to find out by reading.
struct ReadOnlyStream {
  Stream68 base;
  const uint8_t *data;
  int32_t size, pos;
};

ReadOnlyStream make_read_only(const Bytes &b) {
  ReadOnlyStream s{};
  s.base.ops.name = [](Stream68 *) -> const char * { return "readonly"; };
  s.base.ops.read = [](Stream68 *st, void *buf, int32_t n) -> int32_t {
    auto *r = reinterpret_cast<ReadOnlyStream *>(st);
    int32_t k = n < r->size - r->pos ? n : r->size - r->pos;
    std::memcpy(buf, r->data + r->pos, size_t(k));
    r->pos += k;
    return k;
  };
  s.data = b.data();
  s.size = int32_t(b.size());
  return s;
}

TEST_F(Ice, LoadFromStreams) {
  const Bytes data = {'h', 'e', 'l', 'l', 'o', ' ', 'h', 'e', 'l', 'l', 'o', '!'};
  int32_t psize = 0;
  uint8_t *packed = static_cast<uint8_t *>(ice_pack(data.data(), int32_t(data.size()), &psize));
  ASSERT_NE(packed, nullptr);
  Bytes file(packed, packed + psize);
  vk68_free(packed);

  auto load = [&](Bytes bytes, int32_t &size) {
    Stream68 *s = stream68_mem_create(bytes.data(), int32_t(bytes.size()), STREAM68_READ);
    EXPECT_EQ(stream68_open(s), 0);
    std::string name = stream68_name(s);
    void *out = ice_load(s, &size);
    stream68_destroy(s);
    return std::pair{out, name};
  };

  int32_t size = -1;
  auto [out, name] = load(file, size);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(size, int32_t(data.size()));
  EXPECT_EQ(Bytes(static_cast<uint8_t *>(out), static_cast<uint8_t *>(out) + size), data);
  vk68_free(out);

  size = -1;
  std::tie(out, name) = load(Bytes(file.begin(), file.begin() + 11), size);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(pop(), "ice_load(" + name + ") : no header");

  Bytes wrong(file);
  wrong[0] = 'X';
  std::tie(out, name) = load(wrong, size);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(pop(), "ice_load(" + name + ") : not ICE!");

  // A header that asks for far more output than its data could give.
  Bytes greedy(file);
  greedy[8] = 0x40;
  std::tie(out, name) = load(greedy, size);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(pop(), "ice_load(" + name + ") : not ICE!");

  std::tie(out, name) = load(Bytes(file.begin(), file.end() - 1), size);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(pop(), "ice_load(" + name + ") : read failed");

  // The stream's last fetched byte removed, the header kept consistent.
  Bytes damaged(file);
  damaged.erase(damaged.begin() + 12);
  damaged[7] = uint8_t(damaged.size());
  std::tie(out, name) = load(damaged, size);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(pop(), "ice_load(" + name + ") : depack failed");

  // Unknown length: the packed buffer is allocated, the read comes up
  // short, and the buffer is released again (checked by TearDown).
  Bytes cut(file.begin(), file.end() - 1);
  ReadOnlyStream ro = make_read_only(cut);
  size = -1;
  EXPECT_EQ(ice_load(&ro.base, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(pop(), "ice_load(readonly) : read failed");
}

TEST_F(Ice, LoadFromFile) {
  const char *tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/ice_test_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  std::string path = tmpl + "/packed.ice";

  Bytes data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * i >> 5);
  int32_t psize = 0;
  void *packed = ice_pack(data.data(), int32_t(data.size()), &psize);
  ASSERT_NE(packed, nullptr);
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(packed, 1, size_t(psize), f), size_t(psize));
  std::fclose(f);
  vk68_free(packed);

  int32_t size = 0;
  void *out = ice_load_file(path.c_str(), &size);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(size, 5000);
  EXPECT_EQ(std::memcmp(out, data.data(), 5000), 0);
  vk68_free(out);

  std::string missing = tmpl + "/missing.ice";
  EXPECT_EQ(ice_load_file(missing.c_str(), &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(pop(), "ice_load(" + missing + ") : open failed");

  std::remove(path.c_str());
  rmdir(tmpl.c_str());
}

}  // namespace
