// The YM-2149: ports and write queues, the renderer sample for sample
// against a plain step-by-step model written from the chip's description
// (write timing, voice mask and centring included), envelope shapes against
// their courses, frame carries and the mixing table.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <set>
#include <vector>

#include "chips/ym2149.h"
#include "chips/ym_mixtable.h"

namespace {

Ym2149 chip;
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
int32_t scaled(uint32_t level) { return static_cast<int32_t>((level * 13312) >> 14); }
int32_t centred(uint32_t level, uint32_t peak) { return scaled(level) - ((scaled(peak) + 1) >> 1); }
const int32_t kLow = centred(0, kSingle[15]);

void write_reg(int reg, int value, uint32_t cycle = 0) {
  chip.io.write_b(&chip.io, kSelect, static_cast<uint32_t>(reg), cycle);
  chip.io.write_b(&chip.io, kData, static_cast<uint32_t>(value), cycle);
}
uint32_t read_reg(int reg) {
  chip.io.write_b(&chip.io, kSelect, static_cast<uint32_t>(reg), 0);
  return chip.io.read_b(&chip.io, kSelect, 0);
}
// Renders `count` frames, starting the next one (adjust) after each.
std::vector<int32_t> frames(int count = 1, uint32_t cycles = kFrame) {
  std::vector<int32_t> all;
  for (int i = 0; i < count; ++i) {
    all.insert(all.end(), ym_output_buffer(&chip),
               ym_output_buffer(&chip) + ym_render_frame(&chip, cycles));
    chip.io.adjust_cycles(&chip.io, cycles);
  }
  return all;
}
std::set<int32_t> distinct(const std::vector<int32_t> &s) { return {s.begin(), s.end()}; }

// Rescaled mixing-table level of an index.
int32_t table_level(uint32_t index) {
  static const auto table = [] {
    std::array<uint16_t, YM_MIX_TABLE_SIZE> t;
    ym_mix_table_build(t.data());
    return t;
  }();
  return scaled(table[index]);
}

// The output stage: groups of 4 steps averaged and picked at `rate` in 16.16
// steps of 62500 / rate groups; `carry` holds the steps of the group a frame
// left unfinished and their sum.
std::vector<int32_t> resampled(const std::vector<int32_t> &steps, uint32_t rate,
                               std::pair<int, int32_t> &carry) {
  auto &[count, sum] = carry;
  std::vector<int32_t> samples;
  size_t s = 0;
  if (count > 0) {
    for (; count < 4 && s < steps.size(); ++count) sum += steps[s++];
    if (count < 4) return samples;
    samples.push_back(sum >> 2);
  }
  const auto groups = static_cast<uint32_t>(steps.size() - s) / 4;
  for (uint32_t pos = 0; pos < groups << 16; pos += 0xF4240000u / rate) {
    const size_t j = s + 4 * (pos >> 16);
    samples.push_back((steps[j] + steps[j + 1] + steps[j + 2] + steps[j + 3]) >> 2);
  }
  count = static_cast<int>(steps.size() - s) % 4;
  sum = std::accumulate(steps.end() - count, steps.end(), 0);
  return samples;
}

// The chip stepped plainly, every generator at every 32-cycle step, with
// its writes applied at the step they fall in: the reference whose output
// the renderer must reproduce sample for sample.
struct Reference {
  uint8_t r[16] = {0, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 10, 0, 0};
  int32_t tone[3] = {}, noise = 0, f = 65536;
  uint32_t high = 0, bits = 1, g = 0, c = 1, h = 31, e = 31;  // envelope as after a restart
  uint32_t mask = 0xFFF, rate = 44100;
  int64_t start = 0;  // cycle at which the frame starts, counted from the reset
  std::pair<int, int32_t> carry;

  void write(int reg, int value) {
    if (reg < 14) r[reg] = static_cast<uint8_t>(value);
    if (reg == 13) g = 0, c = 1, f = 65536, e = 31, h = (value & 4) ? 0 : 31;
  }
  uint32_t index() {  // one step
    if (++noise >= 2 * (r[6] & 31))
      bits = (bits >> 1) | (((bits ^ (bits >> 2)) & 1) << 16), noise = 0;
    if (f >= std::max(r[12] << 8 | r[11], 1)) {
      const uint32_t moved = g + c;
      if ((moved ^ g) & 32) {
        if ((r[13] ^ r[13] >> 1) & 1) h ^= 31;
        c = ~r[13] & 1;
        e = (r[13] & 8) ? 31 : 0;
      }
      g = moved, f = 0;
    }
    const uint32_t envelope = ((g ^ h) >> 1) & (e >> 1);
    ++f;
    uint32_t i = 0;
    for (int ch = 0; ch < 3; ++ch) {
      if (tone[ch]++ >= std::max((r[2 * ch + 1] & 15) << 8 | r[2 * ch], 1))
        tone[ch] = 1, high ^= 1 << ch;
      const bool on = (high >> ch & 1 || r[7] >> ch & 1) && (bits & 1 || r[7] >> (3 + ch) & 1);
      if (on) i |= ((r[8 + ch] & 16) ? envelope : r[8 + ch] & 15u) << (8 - 4 * ch);
    }
    return i & mask;
  }
  // Writes: {cycle in the frame, register, value}, in cycle order. The
  // centre is half the loudest level after any cycle's writes.
  std::vector<int32_t> frame(uint32_t cycles, const std::vector<std::array<uint32_t, 3>> &writes) {
    uint32_t loudest = 0;
    for (int ch = 0; ch < 3; ++ch)
      loudest |= ((r[8 + ch] & 16) ? 15u : r[8 + ch] & 15u) << (8 - 4 * ch);
    int32_t peak = table_level(loudest & mask);
    for (size_t i = 0; i < writes.size(); ++i) {
      const auto [cycle, reg, value] = writes[i];
      if (reg >= 8 && reg <= 10) {
        const uint32_t shift = 8 - 4 * (reg - 8);
        loudest = (loudest & ~(15u << shift)) | (((value & 16) ? 15 : value & 15) << shift);
      }
      if (i + 1 == writes.size() || writes[i + 1][0] != cycle)
        peak = std::max(peak, table_level(loudest & mask));
    }
    std::vector<int32_t> steps;
    auto w = writes.begin();
    for (int64_t k = start / 32; k < (start + cycles) / 32; ++k) {
      for (; w != writes.end() && (start + (*w)[0]) / 32 <= k; ++w) write((*w)[1], (*w)[2]);
      steps.push_back(table_level(index()) - ((peak + 1) >> 1));
    }
    for (; w != writes.end(); ++w) write((*w)[1], (*w)[2]);
    start += cycles;
    return resampled(steps, rate, carry);
  }
};

class Ym : public ::testing::Test {
 protected:
  void SetUp() override {
    ym_init(&chip);
    ym_sampling_rate(&chip, 44100);
    ym_voice_mask(&chip, 7);
  }
};

// Select port: bit 1 clear; data port: bit 1 set; reads answer at multiples
// of 4 with the newest value queued or rendered; words use their high byte,
// longs are two words at one cycle.
TEST_F(Ym, PortsAndQueues) {
  chip.io.write_b(&chip.io, 0xFFFF8801, 3, 0);
  chip.io.write_b(&chip.io, 0xFFFF8803, 0x21, 0);
  chip.io.write_l(&chip.io, 0x00FF88FC, 0x0499'E3CCu, 0);  // R4 = 0xE3
  chip.io.write_w(&chip.io, kSelect, 0x08AA, 0);
  chip.io.write_w(&chip.io, kData, 0x1F55, 10);
  write_reg(8, 0x12, 20);
  for (int r = 14; r <= 17; ++r) write_reg(r, 0x55);
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t want[16] = {0, 0, 0, 0x21, 0xE3, 0, 0, 0x3F, 0x12, 0, 0, 0, 0, 10, 0, 0};
    for (int r = 0; r < 16; ++r) EXPECT_EQ(read_reg(r), want[r]) << pass << ":" << r;
    chip.io.write_b(&chip.io, kSelect, 3, 0);
    EXPECT_EQ(chip.io.read_b(&chip.io, 0xFFFF8804, 0) | chip.io.read_b(&chip.io, kData, 0), 0x21u);
    EXPECT_EQ(chip.io.read_l(&chip.io, kSelect, 0), 0x21000000u);
    frames();
  }
  for (int i = 0; i < 2048; ++i) write_reg(0, i & 0xFF, i);
  write_reg(1, 7, 3000);  // a full queue overwrites its last entry
  EXPECT_EQ(read_reg(1) << 8 | read_reg(0), 0x07FEu);
  ym_sampling_rate(&chip, 22050);
  EXPECT_EQ(ym_voice_mask(&chip, 0xFD), 5);
  EXPECT_EQ(chip.io.reset(&chip.io),
            0);  // drops the queues, keeps rate and mask
  EXPECT_EQ(read_reg(1) | read_reg(0), 0u);
  EXPECT_EQ(std::pair(ym_sampling_rate(&chip, 0), ym_voice_mask(&chip, -1)), std::pair(22050u, 5));
  EXPECT_EQ(std::pair(ym_sampling_rate(&chip, 5999), ym_sampling_rate(&chip, 50001)),
            std::pair(6000u, 50000u));
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

// Every shape from its start on channel A, step by step against its course;
// writing R13 (with the same value too) starts it again from the step its
// write falls in.
TEST_F(Ym, EnvelopeShapesFollowTheirCourses) {
  std::vector<std::array<int, 3>> envelopes = {{13, 8, 32 * 3001 + 7},
                                               {10, 5, 32 * 4443 + 31},
                                               {8, 0, 0},
                                               {12, 0x103, 0},
                                               {9, 2, 32 * 2000}};
  for (int shape = 0; shape < 16; ++shape) envelopes.push_back({shape, 3, 0});
  for (auto [shape, period, restart] : envelopes) {
    SetUp();
    write_reg(8, 0x10);
    write_reg(11, period & 0xFF);
    write_reg(12, period >> 8);
    write_reg(13, shape);
    if (restart) write_reg(13, shape, static_cast<uint32_t>(restart));
    std::vector<int32_t> want;
    std::pair<int, int32_t> carry;
    for (long f = 0; f < 2; ++f) {
      std::vector<int32_t> steps;
      for (long i = f * kSteps; i < (f + 1) * kSteps; ++i) {
        const long p = restart && i >= restart / 32 ? i - restart / 32 : i;
        steps.push_back(
            centred(kSingle[envelope_level(shape, std::max(period, 1), p)], kSingle[15]));
      }
      const std::vector<int32_t> samples = resampled(steps, 44100, carry);
      want.insert(want.end(), samples.begin(), samples.end());
    }
    ASSERT_EQ(frames(2), want) << shape << " " << period << " " << restart;
  }
}

// 5008 steps give 884 samples; a write queued before the frame change
// sounds in the next frame as one made that much later; writes outside a
// frame sound at its edges; 10000 steps is the most a frame has.
TEST_F(Ym, FramesCarryCyclesAndSteps) {
  ym_render_frame(&chip, kFrame);
  write_reg(8, 15, kFrame + 32 * 2002);
  chip.io.adjust_cycles(&chip.io, kFrame);
  const std::vector<int32_t> late = frames();
  SetUp();
  EXPECT_EQ(frames().size(), 884u);
  write_reg(8, 15, 32 * 2002);
  EXPECT_EQ(frames(), late);
  write_reg(8, 0, 0xFFFFFFF0u);
  write_reg(9, 15, 5000000);
  EXPECT_EQ(distinct(frames()), std::set<int32_t>{kLow});
  EXPECT_NEAR(ym_render_frame(&chip, 400000), 2500 * 44100.0 / 62500, 1.0);
}

// Random register streams, heavy in periods of 0 and 1, silent or masked
// generators, envelope restarts and writes sharing a cycle, over frames of
// many lengths (short ones carry spare cycles and steps): the renderer
// matches the plain step-by-step reference in every sample.
TEST_F(Ym, MatchesTheStepByStepReference) {
  uint32_t seed = 2149;
  auto next = [&seed](uint32_t n) {  // 0..n-1
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  auto value = [&](uint32_t reg) -> uint32_t {
    const uint32_t any = next(256), small[] = {0, 1, 2, 3, any, any};
    switch (reg) {
      case 1:
      case 3:
      case 5:
      case 12: return next(3) ? 0 : any;
      case 7: return any;
      case 8:
      case 9:
      case 10: return std::array<uint32_t, 4>{0, 0x10, any & 0x1F, 15}[next(4)];
      case 13: return next(4) ? any & 15 : any;
      default: return small[next(6)];
    }
  };
  for (int run = 0; run < 40; ++run) {
    SetUp();
    Reference ref;
    ref.rate =
        ym_sampling_rate(&chip, std::array<uint32_t, 3>{44100, 22050, 6000 + next(44001)}[next(3)]);
    for (int f = 0; f < 25; ++f) {
      const int voices = next(3) ? 7 : static_cast<int>(next(8));
      ym_voice_mask(&chip, voices);
      ref.mask = (voices & 1 ? 0xF00 : 0) | (voices & 2 ? 0x0F0 : 0) | (voices & 4 ? 0x00F : 0);
      const uint32_t cycles =
          std::array<uint32_t, 5>{kFrame, 48, 31, 1 + next(5000), next(300000)}[next(5)];
      std::vector<std::array<uint32_t, 3>> writes(next(3) ? next(6) : 0);
      for (auto &w : writes) w = {next(2) ? next(cycles + 1) : next(4) * cycles / 4, next(17), 0};
      std::sort(writes.begin(), writes.end());
      for (auto &[cycle, reg, v] : writes)
        write_reg(static_cast<int>(reg), static_cast<int>(v = value(reg)), cycle);
      ASSERT_EQ(frames(1, cycles), ref.frame(cycles, writes)) << run << " " << f;
    }
  }
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
