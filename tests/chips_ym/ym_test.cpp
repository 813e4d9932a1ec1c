// The YM-2149: ports and write queues, the generators step by step against
// models written from the chip's description, write timing, levels and the
// mixing table.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "chips/ym2149.h"
#include "chips/ym_mixtable.h"

namespace {

constexpr uint32_t kSelect = 0xFFFF8800, kData = 0xFFFF8802;
constexpr uint32_t kFrame = 160256;  // one 50 Hz frame: 5008 steps of 32 cycles
constexpr int kSteps = kFrame / 32;
// Measured levels: one channel alone, all three equal, two at 15 and the
// third at each level.
constexpr uint16_t kSingle[16] = {0,    110,  230,  355,  582,   801,   1227,  1701,
                                  2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr uint16_t kEqual[16] = {0,    414,  832,   1261,  1860,  2616,  3741,  5139,
                                 7224, 9906, 13892, 18898, 26359, 35979, 50235, 65535};
constexpr uint16_t kPair[16] = {56457, 56460, 56463, 56471, 56477, 56480, 56486, 56497,
                                56511, 56534, 56594, 56767, 57247, 58506, 61273, 65535};

// A table level rescaled to the 0xD000 peak (x 13312 / 16384), centred on
// half the frame's loudest level.
int32_t centred(uint32_t level, uint32_t peak) {
  return static_cast<int32_t>((level * 13312) >> 14) - ((((peak * 13312) >> 14) + 1) >> 1);
}
const int32_t kLow = centred(0, kSingle[15]), kHigh = centred(kSingle[15], kSingle[15]);

void write_reg(int reg, int value, uint32_t cycle = 0) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), cycle);
  ym_io_plugin.write_b(kData, static_cast<uint32_t>(value), cycle);
}
uint32_t read_reg(int reg) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), 0);
  return ym_io_plugin.read_b(kSelect, 0);
}
// Renders `count` frames, starting the next one (adjust) after each.
std::vector<int32_t> frames(int count = 1, uint32_t cycles = kFrame) {
  std::vector<int32_t> all;
  for (int i = 0; i < count; ++i) {
    all.insert(all.end(), ym_output_buffer(), ym_output_buffer() + ym_render_frame(cycles));
    ym_io_plugin.adjust_cycles(cycles);
  }
  return all;
}
std::set<int32_t> distinct(const std::vector<int32_t> &s) { return {s.begin(), s.end()}; }

class Ym : public ::testing::Test {
 protected:
  void SetUp() override {
    ym_init();
    ym_sampling_rate(44100);
    ym_voice_mask(7);
  }
};

// Select port: bit 1 clear; data port: bit 1 set; reads answer at multiples
// of 4 with the newest value queued or rendered; words use their high byte,
// longs are two words at one cycle.
TEST_F(Ym, PortsAndQueues) {
  ym_io_plugin.write_b(0xFFFF8801, 3, 0);
  ym_io_plugin.write_b(0xFFFF8803, 0x21, 0);
  ym_io_plugin.write_l(0x00FF88FC, 0x0499'E3CCu, 0);  // R4 = 0xE3
  ym_io_plugin.write_w(kSelect, 0x08AA, 0);
  ym_io_plugin.write_w(kData, 0x1F55, 10);
  write_reg(8, 0x12, 20);
  for (int r = 14; r <= 17; ++r) write_reg(r, 0x55);
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t want[16] = {0, 0, 0, 0x21, 0xE3, 0, 0, 0x3F, 0x12, 0, 0, 0, 0, 10, 0, 0};
    for (int r = 0; r < 16; ++r) EXPECT_EQ(read_reg(r), want[r]) << pass << ":" << r;
    ym_io_plugin.write_b(kSelect, 3, 0);
    EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8804, 0) | ym_io_plugin.read_b(kData, 0), 0x21u);
    EXPECT_EQ(ym_io_plugin.read_l(kSelect, 0), 0x21000000u);
    frames();
  }
  for (int i = 0; i < 2048; ++i) write_reg(0, i & 0xFF, i);
  write_reg(1, 7, 3000);  // a full queue overwrites its last entry
  EXPECT_EQ(read_reg(1) << 8 | read_reg(0), 0x07FEu);
  ym_sampling_rate(22050);
  EXPECT_EQ(ym_voice_mask(0xFD), 5);
  EXPECT_EQ(ym_io_plugin.reset(), 0);  // drops the queues, keeps rate and mask
  EXPECT_EQ(read_reg(1) | read_reg(0), 0u);
  EXPECT_EQ(std::pair(ym_sampling_rate(0), ym_voice_mask(-1)), std::pair(22050u, 5));
  EXPECT_EQ(std::pair(ym_sampling_rate(5999), ym_sampling_rate(50001)), std::pair(6000u, 50000u));
}

// Envelope level of `shape` p steps after R13 was written, with period P:
// position 1 + p / P; 32 positions make a fall (F) or rise (R) of 16
// levels, then the shape's next course; H holds 15, L holds 0, and a course
// ending in * repeats.
int envelope_level(int shape, int period, long p) {
  static const char *const kCourse[16] = {"FL", "FL", "FL",  "FL", "RL", "RL", "RL",  "RL",
                                          "F*", "FL", "FR*", "FH", "R*", "RH", "RF*", "RL"};
  const char *c = kCourse[shape];
  const long n = static_cast<long>(std::strlen(c)), pos = 1 + p / period, cycle = pos / 32;
  const char kind = c[n - 1] == '*' ? c[cycle % (n - 1)] : c[std::min(cycle, n - 1)];
  const int half = static_cast<int>(pos % 32) / 2;
  return kind == 'F' ? 15 - half : kind == 'R' ? half : kind == 'H' ? 15 : 0;
}

// Channel A alone, step by step against models of its level (-1 for the low
// phase of tone or noise), through the output stage: groups of 4 steps
// averaged and picked at 44100 Hz in 16.16 steps of 62500 / 44100 groups.
TEST_F(Ym, GeneratorsFollowTheirModels) {
  struct Case {
    std::vector<std::array<int, 3>> writes;  // register, value, cycle
    std::vector<int> levels;                 // one per step
  };
  std::vector<Case> cases;
  // Tone: low for P steps, then high for P (period 0 counts as 1; bits 12-15
  // are unused).
  for (int p : {1, 3, 28, 0, 0xF12F}) {
    Case c{{{0, p & 0xFF, 0}, {1, p >> 8, 0}, {7, 0x3E, 0}, {8, 15, 0}}, {}};
    for (long i = 0; i < 2 * kSteps; ++i)
      c.levels.push_back(i / std::max(p & 0xFFF, 1) % 2 ? 15 : -1);
    cases.push_back(c);
  }
  // Noise: a 17-bit shift register from 1, whose new bit 16 is bit 0 XOR
  // bit 2, clocked every 2 x R6 steps (R6's low 5 bits; 0: every step); the
  // channel sounds while bit 0 is 1.
  for (int r6 : {0, 1, 7, 31, 0x25}) {
    Case c{{{6, r6, 0}, {7, 0x37, 0}, {8, 15, 0}}, {}};
    for (uint32_t i = 0, bits = 1, counter = 0; i < 2 * kSteps; ++i) {
      if (++counter >= 2u * (r6 & 0x1F)) {
        bits = (bits >> 1) | (((bits ^ (bits >> 2)) & 1) << 16);
        counter = 0;
      }
      c.levels.push_back(bits & 1 ? 15 : -1);
    }
    cases.push_back(c);
  }
  // Envelope: every shape from its start; writing R13 (with the same value
  // too) starts it again from the step its write falls in.
  std::vector<std::array<int, 3>> envelopes = {{13, 8, 32 * 3001 + 7},
                                               {10, 5, 32 * 4443 + 31},
                                               {8, 0, 0},
                                               {12, 0x103, 0},
                                               {9, 2, 32 * 2000}};
  for (int shape = 0; shape < 16; ++shape) envelopes.push_back({shape, 3, 0});
  for (auto [shape, period, restart] : envelopes) {
    Case c{{{8, 0x10, 0}, {11, period & 0xFF, 0}, {12, period >> 8, 0}, {13, shape, 0}}, {}};
    if (restart) c.writes.push_back({13, shape, restart});
    for (long i = 0; i < 2 * kSteps; ++i) {
      const long p = restart && i >= restart / 32 ? i - restart / 32 : i;
      c.levels.push_back(envelope_level(shape, std::max(period, 1), p));
    }
    cases.push_back(c);
  }
  for (const Case &c : cases) {
    SetUp();
    for (auto [reg, value, cycle] : c.writes) write_reg(reg, value, static_cast<uint32_t>(cycle));
    std::vector<int32_t> want;
    for (long f = 0; f < 2 * kSteps; f += kSteps) {
      for (uint32_t pos = 0; pos < (kSteps / 4u) << 16; pos += 0xF4240000u / 44100) {
        int32_t sum = 0;
        for (long i = f + 4 * (pos >> 16), k = 0; k < 4; ++k) {
          const int l = c.levels[i + k];
          sum += l < 0 ? kLow : centred(kSingle[l], kSingle[15]);
        }
        want.push_back(sum >> 2);
      }
    }
    ASSERT_EQ(frames(2), want) << c.writes[0][0] << " " << c.writes[0][1] << " "
                               << c.writes.back()[1];
  }
}

// Fixed levels through the voice mask; silence when every volume is 0,
// whatever runs (the output centres on half the frame's loudest level).
TEST_F(Ym, LevelsVoiceMaskAndSilence) {
  for (int ch = 0; ch < 3; ++ch) write_reg(8 + ch, 15);
  const std::pair<int, int32_t> masks[] = {
      {1, kHigh}, {6, centred(kPair[0], kPair[0])}, {0, 0}, {7, centred(65535, 65535)}};
  for (auto [mask, level] : masks) {
    ym_voice_mask(mask);
    EXPECT_EQ(distinct(frames()), std::set<int32_t>{level}) << mask;
  }
  SetUp();
  write_reg(0, 50);
  write_reg(6, 3);
  write_reg(7, 0);    // every tone and noise on
  write_reg(13, 14);  // the envelope running but unused
  EXPECT_EQ(distinct(frames(2)), std::set<int32_t>{0});
}

// A write sounds from the start of the step its cycle falls in (the group
// of steps 2000-2003 averages the loud steps it holds); of two writes at
// one cycle the later wins and the earlier never sounds, not even in the
// centre; the mixer, which the noise stage renders through the whole frame
// first, changes each stage at its own cycle.
TEST_F(Ym, WritesSoundFromTheirStep) {
  for (auto [cycle, loud] : {std::pair{32u * 2002, 2}, {32 * 2002 + 31, 2}, {32 * 2002 - 1, 3}}) {
    SetUp();
    write_reg(8, 15, cycle);
    std::vector<int32_t> s = frames(), between;
    std::copy_if(s.begin(), s.end(), std::back_inserter(between),
                 [](int32_t v) { return v != kLow && v != kHigh; });
    EXPECT_EQ(between, std::vector<int32_t>{(loud * kHigh + (4 - loud) * kLow) >> 2}) << cycle;
  }
  SetUp();
  write_reg(8, 15, 1024);
  write_reg(8, 3, 1024);
  EXPECT_EQ(distinct(frames()),
            (std::set<int32_t>{centred(0, kSingle[3]), centred(kSingle[3], kSingle[3])}));
  for (int mixer : {0x3E, 0x37}) {
    SetUp();
    write_reg(0, 100);
    write_reg(6, 1);
    write_reg(8, 15);
    write_reg(7, mixer, 32 * 2400);  // group 600, sample ~423
    const std::vector<int32_t> s = frames();
    EXPECT_EQ(distinct({s.begin(), s.begin() + 420}).size(), 1u) << mixer;
    EXPECT_GE(distinct({s.begin() + 430, s.end()}).size(), 2u) << mixer;
  }
}

// 5008 steps give 884 samples; a write queued before the frame change
// sounds in the next frame as one made that much later; writes outside a
// frame sound at its edges; short frames carry their spare cycles and
// steps, losing and doubling nothing; 10000 steps is the most a frame has.
TEST_F(Ym, FramesCarryCyclesAndSteps) {
  ym_render_frame(kFrame);
  write_reg(8, 15, kFrame + 32 * 2002);
  ym_io_plugin.adjust_cycles(kFrame);
  const std::vector<int32_t> late = frames();
  SetUp();
  EXPECT_EQ(frames().size(), 884u);
  write_reg(8, 15, 32 * 2002);
  EXPECT_EQ(frames(), late);
  write_reg(8, 0, 0xFFFFFFF0u);
  write_reg(9, 15, 5000000);
  EXPECT_EQ(distinct(frames()), std::set<int32_t>{kLow});
  SetUp();
  write_reg(8, 15);
  std::vector<int32_t> counts, all;
  for (int i = 0; i < 800; ++i) {  // 48 cycles: 1.5 steps a frame
    const std::vector<int32_t> s = frames(1, 48);
    counts.push_back(static_cast<int32_t>(s.size()));
    all.insert(all.end(), s.begin(), s.end());
  }
  EXPECT_EQ(std::vector<int32_t>(counts.begin(), counts.begin() + 8),
            (std::vector<int32_t>{0, 0, 1, 0, 0, 1, 0, 1}));
  EXPECT_EQ(all, std::vector<int32_t>(300, kHigh));
  EXPECT_NEAR(ym_render_frame(400000), 2500 * 44100.0 / 62500, 1.0);
}

TEST(YmMixTable, MeasuredRowsSymmetricAndStrictlyIncreasing) {
  uint16_t t[YM_MIX_TABLE_SIZE];
  ym_mix_table_build(t);
  auto at = [&](int a, int b, int c) { return t[(a << 8) | (b << 4) | c]; };
  for (int l = 0; l < 16; ++l) {
    EXPECT_EQ(at(l, 0, 0), kSingle[l]) << l;
    EXPECT_EQ(at(l, l, l), kEqual[l]) << l;
    EXPECT_EQ(at(15, 15, l), kPair[l]) << l;
  }
  for (int i = 0; i < YM_MIX_TABLE_SIZE; ++i) {
    const int a = i >> 8, b = (i >> 4) & 15, c = i & 15;
    for (uint16_t p : {at(a, c, b), at(b, a, c), at(b, c, a), at(c, a, b), at(c, b, a)})
      ASSERT_EQ(t[i], p) << a << "," << b << "," << c;
    if (a < 15) {
      ASSERT_LT(t[i], at(a + 1, b, c)) << a << "," << b << "," << c;
    }
  }
}

}  // namespace
