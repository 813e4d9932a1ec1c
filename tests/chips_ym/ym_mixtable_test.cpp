// The mixing table: measured rows met exactly, symmetric, growing.
#include <gtest/gtest.h>

#include <array>

#include "chips/ym_mixtable.h"

namespace {

constexpr std::array<uint16_t, 16> kSingle = {0,    110,  230,  355,   582,   801,   1227,  1701,
                                              2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr std::array<uint16_t, 16> kEqual = {0,    414,   832,   1261,  1860,  2616,  3741,  5139,
                                             7224, 9906, 13892, 18898, 26359, 35979, 50235, 65535};
constexpr std::array<uint16_t, 16> kPair = {56457, 56460, 56463, 56471, 56477, 56480, 56486, 56497,
                                            56511, 56534, 56594, 56767, 57247, 58506, 61273, 65535};

class MixTable : public ::testing::Test {
 protected:
  void SetUp() override { ym_mix_table_build(table.data()); }
  uint16_t at(int a, int b, int c) const { return table[(a << 8) | (b << 4) | c]; }
  std::array<uint16_t, YM_MIX_TABLE_SIZE> table{};
};

TEST_F(MixTable, MeasuredRowsAreExactInEveryChannelPosition) {
  for (int l = 0; l < 16; ++l) {
    SCOPED_TRACE(l);
    EXPECT_EQ(at(l, 0, 0), kSingle[l]);
    EXPECT_EQ(at(0, l, 0), kSingle[l]);
    EXPECT_EQ(at(0, 0, l), kSingle[l]);
    EXPECT_EQ(at(l, l, l), kEqual[l]);
    EXPECT_EQ(at(15, 15, l), kPair[l]);
    EXPECT_EQ(at(15, l, 15), kPair[l]);
    EXPECT_EQ(at(l, 15, 15), kPair[l]);
  }
  EXPECT_EQ(table[0xFFF], 65535);
  EXPECT_EQ(table[0], 0);
}

TEST_F(MixTable, SymmetricUnderEveryPermutation) {
  for (int a = 0; a < 16; ++a) {
    for (int b = 0; b < 16; ++b) {
      for (int c = 0; c < 16; ++c) {
        uint16_t v = at(a, b, c);
        ASSERT_EQ(v, at(a, c, b)) << a << b << c;
        ASSERT_EQ(v, at(b, a, c)) << a << b << c;
        ASSERT_EQ(v, at(b, c, a)) << a << b << c;
        ASSERT_EQ(v, at(c, a, b)) << a << b << c;
        ASSERT_EQ(v, at(c, b, a)) << a << b << c;
      }
    }
  }
}

TEST_F(MixTable, GrowsWithEachLevel) {
  for (int a = 0; a < 16; ++a) {
    for (int b = 0; b < 16; ++b) {
      for (int c = 0; c < 16; ++c) {
        uint16_t v = at(a, b, c);
        if (a < 15) {
          ASSERT_LE(v, at(a + 1, b, c)) << a << b << c;
        }
        if (b < 15) {
          ASSERT_LE(v, at(a, b + 1, c)) << a << b << c;
        }
        if (c < 15) {
          ASSERT_LE(v, at(a, b, c + 1)) << a << b << c;
        }
      }
    }
  }
}

}  // namespace
