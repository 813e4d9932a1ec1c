// ICE packer: round trips through the library depacker and an independent
// tracing decoder, token-class coverage, and the literal-run limit.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "file/ice68.h"
#include "ice_stream.h"
#include "vk68/vk68_msg.h"
#include "support/engine_fixture.h"

namespace {

using icetest::Bytes;
using icetest::Trace;

class IcePack : public enginetest::EngineTest {
 protected:
};

// Packs, then checks both decoders give the data back; returns the file.
Bytes round_trip(const Bytes &data, Trace &trace) {
  int32_t psize = -1;
  uint8_t *packed = static_cast<uint8_t *>(ice_pack(data.data(), int32_t(data.size()), &psize));
  EXPECT_NE(packed, nullptr) << "size " << data.size();
  if (!packed) return {};
  Bytes file(packed, packed + psize);
  vk68_free(packed);

  EXPECT_EQ(ice_depacked_size(file.data(), nullptr), int32_t(data.size()));
  Bytes out(data.size(), 0xEE);
  EXPECT_EQ(ice_depack(out.data(), file.data()), 0) << "size " << data.size();
  EXPECT_TRUE(out == data) << "library depack differs, size " << data.size();
  auto traced = icetest::trace_decode(file, trace);
  EXPECT_TRUE(traced && *traced == data) << "traced decode differs, size " << data.size();
  return file;
}

// Blocks of random bytes mixed with copies of earlier output at lengths and
// distances spread over every class, and short byte runs.
Bytes mosaic(size_t n, std::mt19937 &rng) {
  Bytes out;
  auto uni = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
  while (out.size() < n) {
    switch (rng() % 8) {
      case 0:
      case 1:
      case 2: {
        int len = rng() % 20 == 0 ? uni(270, 700) : uni(1, 30);
        for (int i = 0; i < len; ++i) out.push_back(uint8_t(rng()));
        break;
      }
      case 3: {
        out.push_back(uint8_t(rng()));
        out.insert(out.end(), 2, out.back());
        break;
      }
      default: {
        static const int lengths[][2] = {{2, 2}, {3, 3}, {4, 5}, {6, 9}, {10, 1100}};
        static const int dists[][2] = {{1, 1}, {2, 64}, {65, 576}, {3, 300}, {300, 5400}};
        const int *l = lengths[rng() % 5];
        const int *d = dists[rng() % 5];
        int len = uni(l[0], l[1]), dist = uni(d[0], d[1]);
        if (size_t(dist) > out.size()) break;
        for (int i = 0; i < len; ++i) out.push_back(out[out.size() - size_t(dist)]);
        break;
      }
    }
  }
  out.resize(n);
  return out;
}

// Consecutive differences 1, 3, 5, ..., 255 in blocks of 256 steps: every
// byte pair is new for 32768 steps and then repeats only that far back, out
// of reach of any copy. Packing it needs one literal run.
Bytes no_repeats(size_t n) {
  Bytes out(n);
  unsigned s = 0;
  for (size_t i = 0; i < n; ++i) {
    out[i] = uint8_t(s);
    s += 2 * unsigned(i / 256 % 128) + 1;
  }
  return out;
}

TEST_F(IcePack, RoundTripsManySizesAndShapes) {
  std::mt19937 rng(42);
  std::vector<size_t> sizes;
  for (size_t s = 0; s <= 300; ++s) sizes.push_back(s);
  for (double s = 301; s < 100000; s *= 1.07) sizes.push_back(size_t(s));
  sizes.push_back(100000);

  const std::vector<std::function<Bytes(size_t)>> shapes = {
      [&](size_t n) {
        Bytes b(n);
        for (auto &x : b) x = uint8_t(rng());
        return b;
      },
      [&](size_t n) { return Bytes(n, 0x55); },
      [&](size_t n) {
        Bytes b(n);
        for (auto &x : b) x = uint8_t("aabcdeeef "[rng() % 10]);
        return b;
      },
      [&](size_t n) { return mosaic(n, rng); },
      [&](size_t n) { return no_repeats(n < 30000 ? n : 30000); },
  };
  for (size_t i = 0; i < sizes.size(); ++i) {
    Trace trace;
    Bytes data = shapes[i % shapes.size()](sizes[i]);
    round_trip(data, trace);
    if (HasFailure()) {
      ADD_FAILURE() << "stopping at size " << sizes[i] << " shape " << i % shapes.size();
      return;
    }
  }
}

TEST_F(IcePack, CompressesRedundantData) {
  Trace t;
  Bytes file = round_trip(Bytes(100000, 0), t);
  // 97 copies of 1033 bytes at 22 bits each and a few odd ones.
  EXPECT_LT(file.size(), 12u + 300u);
  EXPECT_GT(t.length_classes[4], 90);

  std::mt19937 rng(7);
  Bytes data = mosaic(50000, rng);
  file = round_trip(data, t);
  EXPECT_LT(file.size(), data.size() * 3 / 4);
}

TEST_F(IcePack, EmitsEveryTokenClass) {
  std::mt19937 rng(99);
  Bytes data = mosaic(100000, rng);
  Bytes tail = no_repeats(400);
  data.insert(data.end(), tail.begin(), tail.end());
  Trace t;
  round_trip(data, t);
  for (size_t row = 0; row < t.literal_rows.size(); ++row)
    EXPECT_GT(t.literal_rows[row], 0) << "literal row " << row;
  for (size_t c = 0; c < t.length_classes.size(); ++c)
    EXPECT_GT(t.length_classes[c], 0) << "length class " << c;
  for (size_t c = 0; c < t.offset_classes.size(); ++c)
    EXPECT_GT(t.offset_classes[c], 0) << "offset class " << c;
  EXPECT_GT(t.offset_minus_one, 0);
  EXPECT_GT(t.short_offsets[0], 0);
  EXPECT_GT(t.short_offsets[1], 0);
  EXPECT_GT(t.short_minus_one, 0);
  EXPECT_EQ(t.picture, 0);
}

TEST_F(IcePack, LiteralRunLimit) {
  // 33037 bytes: exactly one run, the last table row at its top value.
  Trace t;
  Bytes file = round_trip(no_repeats(33037), t);
  EXPECT_EQ(t.literal_rows[5], 1);
  EXPECT_EQ(t.literal_rows[0] + t.literal_rows[1] + t.literal_rows[2] + t.literal_rows[3] +
                t.literal_rows[4],
            0);

  // One byte more cannot be expressed: a run must be followed by a copy.
  Bytes data = no_repeats(33038);
  int32_t psize = -1;
  EXPECT_EQ(ice_pack(data.data(), int32_t(data.size()), &psize), nullptr);
  EXPECT_EQ(psize, 0);
  const char *m = vk68_error_get();
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m, "ice_pack() : more than 33037 bytes without a repeat");

  EXPECT_EQ(ice_pack(nullptr, 4, &psize), nullptr);
  EXPECT_EQ(ice_pack(data.data(), -1, &psize), nullptr);
}

}  // namespace
