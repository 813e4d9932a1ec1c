// Rendering: what the generators sound like, measured on the output samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <utility>

#include "chips/ym2149.h"
#include "ym_test_util.h"

namespace {

using namespace ymtest;

// Steps of the 250 kHz generator clock in one 50 Hz frame.
constexpr double kStepsPerFrame = kFrame / 32.0;
constexpr double kStepRate = 250000.0;

class YmRender : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
};

// Number of sign changes, zeros skipped.
int sign_changes(const std::vector<int32_t> &s) {
  int changes = 0, last = 0;
  for (int32_t v : s) {
    int sign = (v > 0) - (v < 0);
    if (sign == 0) continue;
    if (last != 0 && sign != last) ++changes;
    last = sign;
  }
  return changes;
}

void set_tone(int channel, int period) {
  write_reg(2 * channel, period & 0xFF);
  write_reg(2 * channel + 1, period >> 8);
}

// ------------------------------------------------------------------ tone

TEST_F(YmRender, ToneFrequencyFollowsThePeriod) {
  for (int period : {28, 100, 284, 1000, 4095}) {
    SCOPED_TRACE(period);
    fresh();
    set_tone(0, period);
    write_reg(7, 0x3E);  // tone A on, everything else off
    write_reg(8, 15);
    constexpr int kFrames = 50;
    auto s = frames(kFrames);
    double seconds = kFrames * kStepsPerFrame / kStepRate;
    double measured = sign_changes(s) / 2.0 / seconds;
    double expected = 250000.0 / (2.0 * period);
    EXPECT_NEAR(measured, expected, std::max(1.0, expected * 0.005));
  }
}

TEST_F(YmRender, ToneOnChannelsBAndCUseTheirOwnRegisters) {
  set_tone(0, 1000);  // A silent: volume 0
  set_tone(1, 100);
  set_tone(2, 4000);
  write_reg(7, 0x38);
  write_reg(9, 15);
  auto s = frames(50);
  double seconds = 50 * kStepsPerFrame / kStepRate;
  EXPECT_NEAR(sign_changes(s) / 2.0 / seconds, 1250.0, 6.25);
  fresh();
  set_tone(1, 100);
  set_tone(2, 4000);
  write_reg(7, 0x38);
  write_reg(10, 15);
  s = frames(50);
  EXPECT_NEAR(sign_changes(s) / 2.0 / seconds, 250000.0 / 8000, 1.0);
}

TEST_F(YmRender, TonePeriodZeroBehavesAsOne) {
  auto render_with = [](int period) {
    fresh();
    set_tone(0, period);
    set_tone(1, 7);
    write_reg(7, 0x3C);
    write_reg(8, 15);
    write_reg(9, 12);
    return frames(2);
  };
  auto zero = render_with(0);
  EXPECT_EQ(zero, render_with(1));
  EXPECT_NE(zero, render_with(5));
  // The coarse register counts with its low 4 bits only.
  EXPECT_EQ(render_with(0x123), render_with(0xF123));
}

TEST_F(YmRender, DisabledToneAndNoiseLeaveTheVolume) {
  // Mixer 0x3F: the channel outputs its level constantly; all three at 15
  // make the loudest entry, centred on 0.
  write_reg(8, 15);
  write_reg(9, 15);
  write_reg(10, 15);
  for (int32_t v : frame()) ASSERT_EQ(v, scaled(65535) - ((scaled(65535) + 1) >> 1));
}

TEST_F(YmRender, AllVolumesZeroGiveSilence) {
  set_tone(0, 50);
  set_tone(1, 77);
  write_reg(6, 3);
  write_reg(7, 0x00);  // every tone and noise on
  write_reg(13, 14);   // envelope running but unused
  for (int32_t v : frames(3)) ASSERT_EQ(v, 0);
}

// -------------------------------------------------------------- envelope

// Maps each sample of an envelope-only channel A to its level 0-15; a sample
// that is not exactly one level fails the test.
std::vector<int> levels_of(const std::vector<int32_t> &s) {
  std::vector<int> levels;
  for (int32_t v : s) {
    int found = -1;
    for (int l = 0; l < 16; ++l) {
      if (v == centred(kSingle[l], kSingle[15])) found = l;
    }
    EXPECT_NE(found, -1) << "sample " << v << " is no level";
    levels.push_back(found);
  }
  return levels;
}

// Runs of equal levels: (level, length in samples).
std::vector<std::pair<int, int>> runs_of(const std::vector<int> &levels) {
  std::vector<std::pair<int, int>> runs;
  for (int l : levels) {
    if (!runs.empty() && runs.back().first == l) {
      ++runs.back().second;
    } else {
      runs.push_back({l, 1});
    }
  }
  return runs;
}

std::vector<int> fall() {
  std::vector<int> v;
  for (int l = 15; l >= 0; --l) v.push_back(l);
  return v;
}

std::vector<int> rise() {
  std::vector<int> v;
  for (int l = 0; l <= 15; ++l) v.push_back(l);
  return v;
}

// The course of each shape as a list of distinct successive levels, enough
// for at least five falls or rises.
std::vector<int> course(int shape) {
  auto join = [](std::vector<std::vector<int>> parts) {
    std::vector<int> v;
    for (auto &p : parts) {
      for (int l : p) {
        if (v.empty() || v.back() != l) v.push_back(l);
      }
    }
    return v;
  };
  switch (shape) {
    case 8: return join({fall(), fall(), fall(), fall(), fall(), fall()});
    case 9: return fall();
    case 10: return join({fall(), rise(), fall(), rise(), fall(), rise()});
    case 11: return join({fall(), {15}});
    case 12: return join({rise(), rise(), rise(), rise(), rise(), rise()});
    case 13: return rise();
    case 14: return join({rise(), fall(), rise(), fall(), rise(), fall()});
    case 15: return join({rise(), {0}});
    default: return shape < 4 ? fall() : join({rise(), {0}});
  }
}

TEST_F(YmRender, EnvelopeShapesFollowTheirCourse) {
  constexpr int kPeriod = 64;  // steps per envelope position: 32 * 64 per fall
  for (int shape = 0; shape < 16; ++shape) {
    SCOPED_TRACE(shape);
    fresh();
    write_reg(8, 0x10);  // A follows the envelope; tones and noise off
    write_reg(11, kPeriod);
    write_reg(12, 0);
    write_reg(13, shape);
    auto s = frames(2);  // 10016 steps: nearly five falls or rises
    auto runs = runs_of(levels_of(s));
    std::vector<int> seen;
    for (auto &r : runs) seen.push_back(r.first);
    auto expected = course(shape);
    bool repeats = shape >= 8 && shape != 9 && shape != 11 && shape != 13 && shape != 15;
    if (repeats) {
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

TEST_F(YmRender, EnvelopeFollowsTheCoarsePeriodAndRestartsOnSameShape) {
  write_reg(8, 0x10);
  write_reg(11, 0x00);
  write_reg(12, 0x01);  // 256 steps per position: one rise is 8192 steps
  write_reg(13, 13);    // rise once, then hold 15
  auto first = runs_of(levels_of(frames(2)));
  ASSERT_EQ(first.size(), 16u);  // 10016 steps: the whole rise, then held
  EXPECT_EQ(first.back().first, 15);
  EXPECT_NEAR(first[3].second, 2 * 256 / 4 * 44100.0 / 62500, 1.0);
  // The same shape written again starts the rise over.
  write_reg(13, 13, 32 * 1000);
  auto again = runs_of(levels_of(frame()));
  ASSERT_GE(again.size(), 3u);
  EXPECT_EQ(again[0].first, 15);
  EXPECT_EQ(again[1].first, 0);
  EXPECT_EQ(again[2].first, 1);
}

TEST_F(YmRender, EnvelopePeriodZeroBehavesAsOne) {
  auto render_with = [](int period) {
    fresh();
    write_reg(8, 0x10);
    write_reg(11, period);
    write_reg(13, 8);
    return frames(2);
  };
  auto zero = render_with(0);
  EXPECT_EQ(zero, render_with(1));
  EXPECT_NE(zero, render_with(2));
}

TEST_F(YmRender, ResetEnvelopeIsShapeTenFalling) {
  write_reg(8, 0x10);
  write_reg(11, 64);  // the shape register keeps its reset value 10
  auto runs = runs_of(levels_of(frames(2)));
  std::vector<int> seen;
  for (auto &r : runs) seen.push_back(r.first);
  auto expected = course(10);
  expected.resize(seen.size());
  EXPECT_EQ(seen, expected);
}

// ----------------------------------------------------------------- noise

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

TEST_F(YmRender, FastNoiseIsWhite) {
  auto s = noise_on_a(1, 20);  // a new bit every 2 steps
  std::set<int32_t> values(s.begin(), s.end());
  ASSERT_GE(values.size(), 2u);
  // Neighbouring groups of 4 steps share one noise bit (correlation 1/6
  // when adjacent); further apart nothing is shared.
  EXPECT_LT(std::fabs(autocorrelation(s, 1)), 0.17);
  for (int lag = 2; lag <= 16; ++lag) {
    EXPECT_LT(std::fabs(autocorrelation(s, lag)), 0.05) << "lag " << lag;
  }
  // Roughly as many high as low moments.
  double mean = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
  EXPECT_LT(std::fabs(mean), 0.05 * scaled(kSingle[15]));
}

TEST_F(YmRender, NoiseRateFollowsItsPeriod) {
  // R6 = 16: a new random bit every 32 steps (7812.5 per second); a random
  // bit differs from the previous one half of the time.
  auto s = noise_on_a(16, 50);
  double seconds = 50 * kStepsPerFrame / kStepRate;
  double flips = sign_changes(s) / seconds;
  EXPECT_NEAR(flips, 7812.5 / 2, 7812.5 / 2 * 0.05);
  // Slow noise is strongly correlated between neighbouring samples.
  EXPECT_GT(autocorrelation(noise_on_a(31, 10), 1), 0.8);
  // Only the low 5 bits of the period count.
  EXPECT_EQ(noise_on_a(16, 3), noise_on_a(16 | 0xE0, 3));
}

TEST_F(YmRender, NoiseIsReproducible) {
  auto a = noise_on_a(5, 4);
  auto b = noise_on_a(5, 4);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, noise_on_a(6, 4));
}

TEST_F(YmRender, NoiseOnlyReachesEnabledChannels) {
  write_reg(6, 1);
  write_reg(7, 0x1F);  // noise on C only; A and B fixed
  write_reg(8, 15);
  auto s = frame();
  std::set<int32_t> values(s.begin(), s.end());
  EXPECT_EQ(values.size(), 1u);  // C has volume 0: no change
  write_reg(10, 15);
  auto t = frame();
  values = std::set<int32_t>(t.begin(), t.end());
  EXPECT_GE(values.size(), 3u);
}

// -------------------------------------------------------- frame and timing

TEST_F(YmRender, SamplesPerFrame) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(frame().size(), 884u);
  // 5008 steps = 1252 groups at 62500 Hz, picked at the output rate.
  for (unsigned rate : {6000u, 22050u, 50000u}) {
    ym_sampling_rate(rate);
    double expected = 1252.0 * rate / 62500.0;
    EXPECT_NEAR(static_cast<double>(frame().size()), expected, 1.0) << rate;
  }
}

TEST_F(YmRender, ShortFramesCarryStepsAndGroups) {
  write_reg(8, 15);
  // 48 cycles = 1.5 steps per frame: a group of 4 completes every 8/3 frames.
  std::vector<int> counts;
  std::vector<int32_t> all;
  for (int i = 0; i < 800; ++i) {
    auto s = frame(48);
    counts.push_back(static_cast<int>(s.size()));
    all.insert(all.end(), s.begin(), s.end());
  }
  std::vector<int> first(counts.begin(), counts.begin() + 8);
  EXPECT_EQ(first, (std::vector<int>{0, 0, 1, 0, 0, 1, 0, 1}));
  // 38400 cycles = 1200 steps = 300 groups: nothing lost or doubled.
  EXPECT_EQ(all.size(), 300u);
  for (int32_t v : all) ASSERT_EQ(v, centred(kSingle[15], kSingle[15]));
}

TEST_F(YmRender, OddFrameLengthsKeepTheClock) {
  // 1040 cycles = 32.5 steps: the half steps add up over frames, so the tone
  // keeps its frequency.
  set_tone(0, 100);
  write_reg(7, 0x3E);
  write_reg(8, 15);
  constexpr int kFrames = 3846;  // half a second
  auto s = frames(kFrames, 1040);
  double seconds = kFrames * 1040 / 8e6;
  EXPECT_NEAR(sign_changes(s) / 2.0 / seconds, 1250.0, 2.0);
}

TEST_F(YmRender, WriteTakesEffectFromTheStepItsCycleFallsIn) {
  // Volume A goes from 0 to 15 inside group 500 (steps 2000-2003); the group
  // average shows how many of its steps were loud.
  const int32_t low = centred(0, kSingle[15]);
  const int32_t high = centred(kSingle[15], kSingle[15]);
  struct Case {
    uint32_t cycle;
    int loud_steps;
  } cases[] = {{32 * 2002, 2}, {32 * 2002 + 31, 2}, {32 * 2002 - 1, 3}, {32 * 2001, 3}, {32 * 2003 + 5, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cycle);
    fresh();
    write_reg(8, 15, c.cycle);
    auto s = frame();
    std::vector<int32_t> between;
    for (int32_t v : s) {
      if (v != low && v != high) between.push_back(v);
    }
    ASSERT_EQ(between.size(), 1u);
    EXPECT_EQ(between[0], (c.loud_steps * high + (4 - c.loud_steps) * low) >> 2);
    EXPECT_EQ(s.front(), low);
    EXPECT_EQ(s.back(), high);
  }
}

TEST_F(YmRender, LaterOfTwoWritesAtOneCycleWins) {
  write_reg(8, 15, 1024);  // group-aligned: no mixed sample
  write_reg(8, 3, 1024);
  // The 15 never sounds, not even in the output centre.
  auto s = frame();
  for (int32_t v : s) {
    ASSERT_TRUE(v == centred(0, kSingle[3]) || v == centred(kSingle[3], kSingle[3])) << v;
  }
  EXPECT_EQ(s.back(), centred(kSingle[3], kSingle[3]));
}

TEST_F(YmRender, CentreIsHalfTheFramesPeak) {
  write_reg(8, 5);
  write_reg(8, 15, 80000);
  write_reg(8, 9, 120000);
  auto s = frame();
  EXPECT_EQ(s.front(), centred(kSingle[5], kSingle[15]));
  EXPECT_EQ(s[s.size() / 2 + 10], centred(kSingle[15], kSingle[15]));
  EXPECT_EQ(s.back(), centred(kSingle[9], kSingle[15]));
  // The next frame's peak is the 9 it starts with.
  auto t = frame();
  EXPECT_EQ(t.front(), centred(kSingle[9], kSingle[9]));
}

TEST_F(YmRender, MixerChangesSoundFromTheirOwnCycle) {
  // The mixer feeds both the noise stage, which runs through the whole frame
  // first, and the tone stage: each must use the value of its own moment.
  for (int mixer : {0x3E, 0x37}) {
    SCOPED_TRACE(mixer);
    fresh();
    set_tone(0, 100);
    write_reg(6, 1);
    write_reg(8, 15);
    write_reg(7, mixer, 32 * 2400);  // group 600, sample ~423
    auto s = frame();
    std::set<int32_t> before(s.begin(), s.begin() + 420);
    std::set<int32_t> after(s.begin() + 430, s.end());
    EXPECT_EQ(before.size(), 1u);
    EXPECT_GE(after.size(), 2u);
    EXPECT_EQ(read_reg(7), static_cast<uint32_t>(mixer));
  }
}

TEST_F(YmRender, VoiceMaskSilencesChannels) {
  write_reg(8, 15);
  write_reg(9, 15);
  write_reg(10, 15);
  auto level = [] { return frame().front(); };
  const uint16_t kTwoAtTop = 56457;  // two channels at 15, the third at 0
  ym_voice_mask(1);
  EXPECT_EQ(level(), centred(kSingle[15], kSingle[15]));
  ym_voice_mask(6);
  EXPECT_EQ(level(), centred(kTwoAtTop, kTwoAtTop));
  ym_voice_mask(0);
  EXPECT_EQ(level(), 0);
  ym_voice_mask(7);
  EXPECT_EQ(level(), centred(65535, 65535));
}

TEST_F(YmRender, OutOfRangeTimesStayInsideTheFrame) {
  write_reg(8, 15, 0xFFFFFFF0u);  // before the frame: sounds from its start
  write_reg(9, 15, 5000000);      // far beyond its end: sounds at its end
  auto s = frame();
  EXPECT_EQ(s.front(), centred(kSingle[15], 56457));
  // Frames beyond the buffer render their first 10000 steps.
  int n = ym_render_frame(400000);
  EXPECT_NEAR(n, 2500 * 44100.0 / 62500, 1.0);
  ym_io_plugin.adjust_cycles(400000);
  EXPECT_EQ(frame().size(), 884u);
}

}  // namespace
