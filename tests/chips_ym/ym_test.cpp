// The YM-2149: its bus ports and queues, what the generators sound like
// (measured on the rendered samples), and the mixing table's properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "chips/ym2149.h"
#include "chips/ym_mixtable.h"

namespace {

constexpr uint32_t kSelect = 0xFFFF8800;
constexpr uint32_t kData = 0xFFFF8802;
constexpr uint32_t kFrame = 160256;  // one 50 Hz frame of the 8 MHz 68000
constexpr double kStepRate = 250000.0;

// Levels the chip is measured at: one channel alone, all three equal, and
// two at 15 with the third at each level.
constexpr std::array<uint16_t, 16> kSingle = {0,    110,  230,  355,  582,   801,   1227,  1701,
                                              2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr std::array<uint16_t, 16> kEqual = {0,    414,  832,   1261,  1860,  2616,  3741,  5139,
                                             7224, 9906, 13892, 18898, 26359, 35979, 50235, 65535};
constexpr std::array<uint16_t, 16> kPair = {56457, 56460, 56463, 56471, 56477, 56480, 56486, 56497,
                                            56511, 56534, 56594, 56767, 57247, 58506, 61273, 65535};

// A table level rescaled to the 0xD000 peak, centred on half the frame's
// loudest level `peak`.
int32_t centred(uint32_t level, uint32_t peak) {
  auto scaled = [](uint32_t v) {
    return static_cast<int32_t>(std::min<uint32_t>((v * 13312) >> 14, 0xD000));
  };
  return scaled(level) - ((scaled(peak) + 1) >> 1);
}

void fresh() {
  ym_init();
  ym_sampling_rate(44100);
  ym_voice_mask(7);
}

void write_reg(int reg, int value, uint32_t cycle = 0) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), cycle);
  ym_io_plugin.write_b(kData, static_cast<uint32_t>(value), cycle);
}

uint32_t read_reg(int reg) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), 0);
  return ym_io_plugin.read_b(kSelect, 0);
}

void set_tone(int channel, int period) {
  write_reg(2 * channel, period & 0xFF);
  write_reg(2 * channel + 1, period >> 8);
}

// Renders `count` frames, starting the next one (adjust) after each.
std::vector<int32_t> frames(int count = 1, uint32_t cycles = kFrame) {
  std::vector<int32_t> all;
  for (int i = 0; i < count; ++i) {
    int n = ym_render_frame(cycles);
    all.insert(all.end(), ym_output_buffer(), ym_output_buffer() + n);
    ym_io_plugin.adjust_cycles(cycles);
  }
  return all;
}

std::set<int32_t> distinct(const std::vector<int32_t> &s) { return {s.begin(), s.end()}; }

// Number of sign changes, zeros skipped.
int sign_changes(const std::vector<int32_t> &s) {
  int changes = 0, last = 0;
  for (int32_t v : s) {
    int sign = (v > 0) - (v < 0);
    if (sign == 0) continue;
    changes += last != 0 && sign != last;
    last = sign;
  }
  return changes;
}

class Ym : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
};

// ------------------------------------------------------------ bus and queues

TEST_F(Ym, RecordResetAndSettings) {
  EXPECT_STREQ(ym_io_plugin.name, "YM-2149");
  EXPECT_EQ(ym_io_plugin.addr_lo, 0xFFFF8800u);
  EXPECT_EQ(ym_io_plugin.addr_hi, 0xFFFF88FFu);
  EXPECT_EQ(ym_io_plugin.interrupt, nullptr);  // never an interrupt source
  // Reset drops queued writes and keeps the rate and the voice mask.
  ym_sampling_rate(22050);
  EXPECT_EQ(ym_voice_mask(0xFD), 5);  // only bits 0-2 count
  write_reg(8, 15);
  write_reg(13, 4);
  write_reg(7, 0);
  EXPECT_EQ(ym_io_plugin.reset(), 0);
  for (int r = 0; r < 16; ++r) EXPECT_EQ(read_reg(r), r == 7 ? 0x3Fu : r == 13 ? 10u : 0u) << r;
  EXPECT_EQ(ym_sampling_rate(0), 22050u);
  EXPECT_EQ(ym_voice_mask(-1), 5);
  for (int32_t v : frames()) ASSERT_EQ(v, 0);
  // The rate is clamped to 6000-50000 Hz.
  const std::pair<unsigned, unsigned> rates[] = {
      {100, 6000}, {5999, 6000}, {6001, 6001}, {50001, 50000}, {0xFFFFFFFF, 50000}, {32000, 32000}};
  for (auto [set, got] : rates) EXPECT_EQ(ym_sampling_rate(set), got) << set;
  EXPECT_EQ(ym_sampling_rate(0), 32000u);
}

// Writes read back with all bits, from the queues before rendering and from
// the register file after; the port registers and numbers past 15 are dropped.
TEST_F(Ym, RegistersReadBack) {
  for (int r = 0; r <= 13; ++r) write_reg(r, 0xE0 + r, 100 * r);
  write_reg(8, 0x12, 2000);  // the newest queued write wins
  for (int r = 14; r <= 16; ++r) write_reg(r, 0x55);
  write_reg(0xFF, 0x88);
  for (int pass = 0; pass < 2; ++pass) {
    for (int r = 0; r <= 15; ++r) {
      EXPECT_EQ(read_reg(r), r == 8 ? 0x12u : r < 14 ? 0xE0u + r : 0u) << pass << ":" << r;
    }
    ym_render_frame(kFrame);
  }
}

TEST_F(Ym, AddressDecodingAndWidths) {
  // Select: bit 1 clear (mirrors every 4 bytes and on odd addresses too).
  ym_io_plugin.write_b(0xFFFF8801, 3, 0);
  ym_io_plugin.write_b(0xFFFF8803, 0x21, 0);  // data: bit 1 set
  ym_io_plugin.write_b(0xFFFF8804, 5, 0);
  ym_io_plugin.write_b(0xFFFF88FE, 0x43, 0);
  EXPECT_EQ(read_reg(3), 0x21u);
  EXPECT_EQ(read_reg(5), 0x43u);
  // Reads answer only at multiples of 4; the bus passes the unmasked address.
  ym_io_plugin.write_b(0x00FF8800, 3, 0);
  EXPECT_EQ(ym_io_plugin.read_b(0x00FF8800, 0), 0x21u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8804, 0), 0x21u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8801, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8802, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_w(0xFFFF8800, 0), 0x2100u);
  EXPECT_EQ(ym_io_plugin.read_w(0xFFFF8802, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_l(0xFFFF8800, 0), 0x21000000u);
  EXPECT_EQ(ym_io_plugin.read_l(0xFFFF8802, 0), 0x00002100u);
  // Word and long writes: the high byte of each word goes to its port.
  ym_io_plugin.write_w(kSelect, 0x07AA, 0);
  ym_io_plugin.write_w(kData, 0x3EBB, 0);
  EXPECT_EQ(read_reg(7), 0x3Eu);
  ym_io_plugin.write_l(kSelect, 0x0899'0FCC, 0);  // select R8, write 0x0F
  EXPECT_EQ(read_reg(8), 0x0Fu);
}

TEST_F(Ym, FullQueueOverwritesItsLastEntry) {
  // Fill the tone queue (2048 entries) with tone-period writes.
  for (int i = 0; i < 2048; ++i) write_reg(0, i & 0xFF, i);
  write_reg(8, 15, 3000);  // replaces the last R0 write
  EXPECT_EQ(read_reg(8), 15u);
  EXPECT_EQ(read_reg(0), 2046u & 0xFF);  // the 2048th R0 write is gone
  // The mixer goes to the full tone queue and to the noise queue: in the tone
  // queue it replaces the R8 write, which is then lost altogether.
  write_reg(7, 0x3F, 3002);
  EXPECT_EQ(read_reg(7), 0x3Fu);
  EXPECT_EQ(read_reg(8), 0u);
  // The other queues are not full.
  write_reg(6, 9, 3003);
  write_reg(11, 0x20, 3003);
  EXPECT_EQ(read_reg(6), 9u);
  EXPECT_EQ(read_reg(11), 0x20u);
  // Rendering plays what is queued: all volumes fixed at 0 give silence.
  for (int32_t v : frames()) ASSERT_EQ(v, 0);
  // The newest write in a full queue stays audible.
  for (int i = 0; i < 2100; ++i) write_reg(9, 0, i);
  write_reg(8, 15, 5000);
  EXPECT_EQ(frames().back(), centred(kSingle[15], kSingle[15]));
}

TEST_F(Ym, AdjustRebasesQueuedWrites) {
  // A write queued before the frame change at kFrame + 64000 sounds in the
  // next frame exactly like one made at 64000 after it.
  ym_render_frame(kFrame);
  write_reg(8, 15, kFrame + 64000);
  ym_io_plugin.adjust_cycles(kFrame);
  auto adjusted = frames();
  fresh();
  frames();
  write_reg(8, 15, 64000);
  auto direct = frames();
  EXPECT_EQ(adjusted, direct);
  fresh();  // a write elsewhere in the frame sounds differently
  frames();
  write_reg(8, 15, 96000);
  EXPECT_NE(frames(), direct);
}

// --------------------------------------------------------------------- tone

// Frequency by zero crossings: 250 kHz / (2 x period), on each channel with
// the others' tones running silently, in full and in odd-length frames.
TEST_F(Ym, ToneFrequencyFollowsThePeriod) {
  struct Case {
    int channel, period;
    uint32_t cycles;
    int count;
  } cases[] = {{0, 28, kFrame, 50},   {0, 100, kFrame, 50},  {0, 284, kFrame, 50},
               {0, 1000, kFrame, 50}, {0, 4095, kFrame, 50}, {1, 100, kFrame, 50},
               {2, 4000, kFrame, 50}, {0, 100, 1040, 3846}};  // 32.5 steps a frame
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "channel " << c.channel << " period " << c.period);
    fresh();
    for (int ch = 0; ch < 3; ++ch) set_tone(ch, ch == c.channel ? c.period : 333 + 111 * ch);
    write_reg(7, 0x38);  // all tones on, noise off
    write_reg(8 + c.channel, 15);
    auto s = frames(c.count, c.cycles);
    double seconds = c.count * (c.cycles / 32.0) / kStepRate;
    double expected = kStepRate / (2.0 * c.period);
    EXPECT_NEAR(sign_changes(s) / 2.0 / seconds, expected, std::max(1.0, expected * 0.005));
  }
}

// Period 0 of the tone and envelope behaves as 1 (noise period 0 clocks
// every step); the output is reproducible and unused high bits do not count.
TEST_F(Ym, PeriodZeroBehavesAsOneAndHighBitsAreIgnored) {
  struct Case {
    const char *what;
    std::function<void(int)> set;
    bool zero_is_one;
    int other, plain, masked;  // plain and masked differ only in unused bits
  } cases[] = {
      {"tone",
       [](int p) {
         set_tone(0, p);
         set_tone(1, 7);
         write_reg(7, 0x3C);
         write_reg(8, 15);
         write_reg(9, 12);
       },
       true, 5, 0x123, 0xF123},
      {"noise",
       [](int p) {
         write_reg(6, p);
         write_reg(7, 0x37);
         write_reg(8, 15);
       },
       false, 6, 16, 16 | 0xE0},
      {"envelope",
       [](int p) {
         write_reg(8, 0x10);
         write_reg(11, p & 0xFF);
         write_reg(12, p >> 8);
         write_reg(13, 8);
       },
       true, 2, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    auto render = [&](int period) {
      fresh();
      c.set(period);
      return frames(2);
    };
    auto one = render(1);
    EXPECT_EQ(one, render(1)) << "not reproducible";
    EXPECT_EQ(render(0) == one, c.zero_is_one);
    EXPECT_NE(one, render(c.other));
    EXPECT_EQ(render(c.plain), render(c.masked));
  }
}

// ---------------------------------------------------------------- envelope

// Maps each sample of an envelope-only channel A to runs of (level, length).
std::vector<std::pair<int, int>> level_runs(const std::vector<int32_t> &s) {
  std::vector<std::pair<int, int>> runs;
  for (int32_t v : s) {
    int found = -1;
    for (int l = 0; l < 16; ++l) found = v == centred(kSingle[l], kSingle[15]) ? l : found;
    EXPECT_NE(found, -1) << "sample " << v << " is no level";
    if (!runs.empty() && runs.back().first == found) {
      ++runs.back().second;
    } else {
      runs.push_back({found, 1});
    }
  }
  return runs;
}

// The course of each shape as distinct successive levels: F falls 15..0,
// R rises 0..15, H holds 15, L holds 0.
std::vector<int> course(int shape) {
  static const char *const kCourse[16] = {"F",      "F",  "F",      "F", "RL",     "RL",
                                          "RL",     "RL", "FFFFFF", "F", "FRFRFR", "FH",
                                          "RRRRRR", "R",  "RFRFRF", "RL"};
  std::vector<int> v;
  auto push = [&](int l) {
    if (v.empty() || v.back() != l) v.push_back(l);
  };
  for (const char *p = kCourse[shape]; *p; ++p) {
    for (int i = 0; i < 16; ++i) {
      push(*p == 'F' ? 15 - i : *p == 'R' ? i : *p == 'H' ? 15 : 0);
    }
  }
  return v;
}

// Shape -1 leaves the shape register at its reset value 10.
TEST_F(Ym, EnvelopeShapesFollowTheirCourse) {
  for (int shape = -1; shape < 16; ++shape) {
    SCOPED_TRACE(shape);
    fresh();
    write_reg(8, 0x10);  // A follows the envelope; tones and noise off
    write_reg(11, 64);   // 64 steps per position: 32 x 64 per fall
    if (shape >= 0) write_reg(13, shape);
    auto runs = level_runs(frames(2));  // 10016 steps: nearly five falls
    std::vector<int> seen;
    for (auto &r : runs) seen.push_back(r.first);
    auto expected = course(shape < 0 ? 10 : shape);
    if (expected.size() > 16 * 2) {
      ASSERT_GE(seen.size(), 4 * 15u);
      ASSERT_LE(seen.size(), expected.size());
      expected.resize(seen.size());
    }
    EXPECT_EQ(seen, expected);
    // Inner levels last two positions: 128 steps, 32 groups of 4, which at
    // 44100 Hz is 22.6 samples.
    for (size_t i = 1; i + 1 < runs.size(); ++i) {
      if (runs[i].first == 0 || runs[i].first == 15) continue;
      EXPECT_GE(runs[i].second, 22) << "run " << i;
      EXPECT_LE(runs[i].second, 23) << "run " << i;
    }
  }
}

TEST_F(Ym, EnvelopeFollowsTheCoarsePeriodAndRestartsOnSameShape) {
  write_reg(8, 0x10);
  write_reg(11, 0x00);
  write_reg(12, 0x01);  // 256 steps per position: one rise is 8192 steps
  write_reg(13, 13);    // rise once, then hold 15
  auto first = level_runs(frames(2));
  ASSERT_EQ(first.size(), 16u);  // 10016 steps: the whole rise, then held
  EXPECT_EQ(first.back().first, 15);
  EXPECT_NEAR(first[3].second, 2 * 256 / 4 * 44100.0 / 62500, 1.0);
  // The same shape written again starts the rise over.
  write_reg(13, 13, 32 * 1000);
  auto again = level_runs(frames());
  ASSERT_GE(again.size(), 3u);
  EXPECT_EQ(again[0].first, 15);
  EXPECT_EQ(again[1].first, 0);
  EXPECT_EQ(again[2].first, 1);
}

// ------------------------------------------------------------------- noise

std::vector<int32_t> noise_on_a(int period, int frame_count) {
  fresh();
  write_reg(6, period);
  write_reg(7, 0x37);  // noise A on, tones off
  write_reg(8, 15);
  return frames(frame_count);
}

double autocorrelation(const std::vector<int32_t> &s, int lag) {
  double mean = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
  double num = 0, den = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    double d = s[i] - mean;
    den += d * d;
    if (i + lag < s.size()) num += d * (s[i + lag] - mean);
  }
  return num / den;
}

TEST_F(Ym, NoiseIsWhiteAtItsRate) {
  auto s = noise_on_a(1, 20);  // a new bit every 2 steps
  ASSERT_GE(distinct(s).size(), 2u);
  // Neighbouring groups of 4 steps share one noise bit (correlation 1/6
  // when adjacent); further apart nothing is shared.
  EXPECT_LT(std::fabs(autocorrelation(s, 1)), 0.17);
  for (int lag = 2; lag <= 16; ++lag) {
    EXPECT_LT(std::fabs(autocorrelation(s, lag)), 0.05) << "lag " << lag;
  }
  // Roughly as many high as low moments.
  double mean = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
  EXPECT_LT(std::fabs(mean), 0.05 * centred(kSingle[15], 0));
  // R6 = 16: a new random bit every 32 steps (7812.5 per second), which
  // differs from the previous one half of the time.
  s = noise_on_a(16, 50);
  EXPECT_NEAR(sign_changes(s) / (50 * kFrame / 32.0 / kStepRate), 7812.5 / 2, 7812.5 / 2 * 0.05);
  // Slow noise is strongly correlated between neighbouring samples.
  EXPECT_GT(autocorrelation(noise_on_a(31, 10), 1), 0.8);
}

TEST_F(Ym, NoiseOnlyReachesEnabledChannels) {
  write_reg(6, 1);
  write_reg(7, 0x1F);  // noise on C only; A and B fixed
  write_reg(8, 15);
  EXPECT_EQ(distinct(frames()).size(), 1u);  // C has volume 0: no change
  write_reg(10, 15);
  EXPECT_GE(distinct(frames()).size(), 3u);
}

// ------------------------------------------------------ levels and timing

// Mixer 0x3F: each channel outputs its fixed level; the voice mask picks
// the channels heard, and all volumes 0 are silent whatever runs.
TEST_F(Ym, VolumesVoiceMaskAndSilence) {
  write_reg(8, 15);
  write_reg(9, 15);
  write_reg(10, 15);
  const std::pair<int, int32_t> cases[] = {{1, centred(kSingle[15], kSingle[15])},
                                           {6, centred(kPair[0], kPair[0])},
                                           {0, 0},
                                           {7, centred(65535, 65535)}};
  for (auto [mask, level] : cases) {
    EXPECT_EQ(ym_voice_mask(mask), mask);
    EXPECT_EQ(distinct(frames()), std::set<int32_t>{level}) << mask;
  }
  fresh();
  set_tone(0, 50);
  set_tone(1, 77);
  write_reg(6, 3);
  write_reg(7, 0x00);  // every tone and noise on
  write_reg(13, 14);   // envelope running but unused
  for (int32_t v : frames(3)) ASSERT_EQ(v, 0);
}

TEST_F(Ym, SamplesPerFrame) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(frames().size(), 884u);
  // 5008 steps = 1252 groups at 62500 Hz, picked at the output rate.
  for (unsigned rate : {6000u, 22050u, 50000u}) {
    ym_sampling_rate(rate);
    EXPECT_NEAR(static_cast<double>(frames().size()), 1252.0 * rate / 62500.0, 1.0) << rate;
  }
}

TEST_F(Ym, ShortFramesCarryStepsAndGroups) {
  write_reg(8, 15);
  // 48 cycles = 1.5 steps per frame: a group of 4 completes every 8/3 frames.
  std::vector<int> counts;
  std::vector<int32_t> all;
  for (int i = 0; i < 800; ++i) {
    auto s = frames(1, 48);
    counts.push_back(static_cast<int>(s.size()));
    all.insert(all.end(), s.begin(), s.end());
  }
  EXPECT_EQ(std::vector<int>(counts.begin(), counts.begin() + 8),
            (std::vector<int>{0, 0, 1, 0, 0, 1, 0, 1}));
  // 38400 cycles = 1200 steps = 300 groups: nothing lost or doubled.
  EXPECT_EQ(all.size(), 300u);
  for (int32_t v : all) ASSERT_EQ(v, centred(kSingle[15], kSingle[15]));
}

TEST_F(Ym, WriteTakesEffectFromTheStepItsCycleFallsIn) {
  // Volume A goes from 0 to 15 inside group 500 (steps 2000-2003); the group
  // average shows how many of its steps were loud.
  const int32_t low = centred(0, kSingle[15]);
  const int32_t high = centred(kSingle[15], kSingle[15]);
  const std::pair<uint32_t, int> cases[] = {
      {32 * 2002, 2}, {32 * 2002 + 31, 2}, {32 * 2002 - 1, 3}, {32 * 2001, 3}, {32 * 2003 + 5, 1}};
  for (auto [cycle, loud_steps] : cases) {
    SCOPED_TRACE(cycle);
    fresh();
    write_reg(8, 15, cycle);
    auto s = frames();
    std::vector<int32_t> between;
    std::copy_if(s.begin(), s.end(), std::back_inserter(between),
                 [&](int32_t v) { return v != low && v != high; });
    ASSERT_EQ(between.size(), 1u);
    EXPECT_EQ(between[0], (loud_steps * high + (4 - loud_steps) * low) >> 2);
    EXPECT_EQ(s.front(), low);
    EXPECT_EQ(s.back(), high);
  }
}

TEST_F(Ym, LaterOfTwoWritesAtOneCycleWinsAndCentreIsHalfThePeak) {
  write_reg(8, 15, 1024);  // group-aligned: no mixed sample
  write_reg(8, 3, 1024);
  // The 15 never sounds, not even in the output centre.
  auto s = frames();
  EXPECT_EQ(distinct(s),
            (std::set<int32_t>{centred(0, kSingle[3]), centred(kSingle[3], kSingle[3])}));
  fresh();
  write_reg(8, 5);
  write_reg(8, 15, 80000);
  write_reg(8, 9, 120000);
  s = frames();
  EXPECT_EQ(s.front(), centred(kSingle[5], kSingle[15]));
  EXPECT_EQ(s[s.size() / 2 + 10], centred(kSingle[15], kSingle[15]));
  EXPECT_EQ(s.back(), centred(kSingle[9], kSingle[15]));
  // The next frame's peak is the 9 it starts with.
  EXPECT_EQ(frames().front(), centred(kSingle[9], kSingle[9]));
}

TEST_F(Ym, MixerChangesSoundFromTheirOwnCycle) {
  // The mixer feeds both the noise stage, which runs through the whole frame
  // first, and the tone stage: each must use the value of its own moment.
  for (int mixer : {0x3E, 0x37}) {
    SCOPED_TRACE(mixer);
    fresh();
    set_tone(0, 100);
    write_reg(6, 1);
    write_reg(8, 15);
    write_reg(7, mixer, 32 * 2400);  // group 600, sample ~423
    auto s = frames();
    EXPECT_EQ(std::set<int32_t>(s.begin(), s.begin() + 420).size(), 1u);
    EXPECT_GE(std::set<int32_t>(s.begin() + 430, s.end()).size(), 2u);
    EXPECT_EQ(read_reg(7), static_cast<uint32_t>(mixer));
  }
}

TEST_F(Ym, OutOfRangeTimesStayInsideTheFrame) {
  write_reg(8, 15, 0xFFFFFFF0u);  // before the frame: sounds from its start
  write_reg(9, 15, 5000000);      // far beyond its end: sounds at its end
  EXPECT_EQ(frames().front(), centred(kSingle[15], kPair[0]));
  // Frames beyond the buffer render their first 10000 steps.
  EXPECT_NEAR(ym_render_frame(400000), 2500 * 44100.0 / 62500, 1.0);
  ym_io_plugin.adjust_cycles(400000);
  EXPECT_EQ(frames().size(), 884u);
}

// ------------------------------------------------------------- mixing table

TEST(YmMixTable, MeasuredRowsSymmetryAndGrowth) {
  std::array<uint16_t, YM_MIX_TABLE_SIZE> table{};
  ym_mix_table_build(table.data());
  auto at = [&](int a, int b, int c) { return table[(a << 8) | (b << 4) | c]; };
  for (int l = 0; l < 16; ++l) {
    SCOPED_TRACE(l);
    EXPECT_EQ(at(l, 0, 0), kSingle[l]);
    EXPECT_EQ(at(l, l, l), kEqual[l]);
    EXPECT_EQ(at(15, 15, l), kPair[l]);
  }
  for (int a = 0; a < 16; ++a) {
    for (int b = 0; b < 16; ++b) {
      for (int c = 0; c < 16; ++c) {
        const uint16_t v = at(a, b, c);
        const uint16_t perms[] = {at(a, c, b), at(b, a, c), at(b, c, a), at(c, a, b), at(c, b, a)};
        for (uint16_t p : perms) ASSERT_EQ(v, p) << a << "," << b << "," << c;
        if (a < 15) {
          ASSERT_LE(v, at(a + 1, b, c)) << a << "," << b << "," << c;  // and so in b, c
        }
      }
    }
  }
}

}  // namespace
