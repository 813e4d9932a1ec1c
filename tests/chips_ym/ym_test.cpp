// The YM-2149: its ports; its output sample for sample against a plain
// step-by-step model of the chip (every generator stepped at every step,
// the changes of its level made band-limited and centred as the chip's
// output stage does) under random writes, frame lengths, chunk sizes, rates
// and both clocks; the centring; the mixing table. The band-limited steps
// of its output stage on their own: spectra of square waves rendered at
// several output rates, the shape of a low square wave and the
// step-to-sample mapping over a minute (the same samples whatever the
// read-out pieces: the reference test, read in pieces of every size). (A
// tone's pitch over a minute: the player's test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "chips/blep.h"
#include "chips/timebase.h"
#include "chips/ym2149.h"
#include "chips/ym_mixtable.h"
#include "support/fft.h"

namespace {

constexpr uint32_t kSelect = 0xFFFF8800, kData = 0xFFFF8802;
// Measured levels: one channel alone, all three equal, two at 15 and the
// third at each level.
constexpr uint16_t kSingle[16] = {0,    110,  230,  355,  582,   801,   1227,  1701,
                                  2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr uint16_t kEqual[16] = {0,    414,  832,   1261,  1860,  2616,  3741,  5139,
                                 7224, 9906, 13892, 18898, 26359, 35979, 50235, 65535};
constexpr uint16_t kPair[16] = {56457, 56460, 56463, 56471, 56477, 56480, 56486, 56497,
                                56511, 56534, 56594, 56767, 57247, 58506, 61273, 65535};

// A table level rescaled to the chip's 0xD000 peak (x 13312 / 16384).
int32_t scaled(uint32_t level) { return static_cast<int32_t>((level * 13312) >> 14); }
int32_t table_level(uint32_t index) {
  static const auto table = [] {
    std::array<uint16_t, YM_MIX_TABLE_SIZE> t;
    ym_mix_table_build(t.data());
    return t;
  }();
  return scaled(table[index]);
}

// A chip on its time base, fed frame by frame as the player does: each
// frame starts with adjust_cycles, writes come at frame cycles, and the
// frame is rendered in chunks.
struct Track {
  Timebase tb;
  std::unique_ptr<Ym2149> ym = std::make_unique<Ym2149>();
  uint32_t length = 0, rendered = 0;
  std::vector<int32_t> out;

  Track(const MachineClocks &clocks, uint32_t rate) : tb{clocks, rate, 0} {
    ym_init(ym.get(), &tb);
  }
  void next_frame(uint32_t cycles) {
    tb.frame_start += length;
    ym->io.adjust_cycles(&ym->io, length);
    length = cycles;
    rendered = 0;
  }
  void write(int reg, int value, uint32_t cycle) {
    ym->io.write_b(&ym->io, kSelect, static_cast<uint32_t>(reg), cycle);
    ym->io.write_b(&ym->io, kData, static_cast<uint32_t>(value), cycle);
  }
  void render(uint32_t to) {
    const uint32_t n = timebase_frame_samples(&tb, to) - timebase_frame_samples(&tb, rendered);
    const size_t at = out.size();
    out.resize(at + n);
    ym_render(ym.get(), to, out.data() + at, static_cast<int>(n));
    rendered = to;
  }
  // The step absolute cycle c falls in (8 clock cycles a step).
  int64_t step_of(uint64_t cycle) const {
    const auto scaled = static_cast<unsigned __int128>(cycle) * tb.clocks.ym.num;
    return static_cast<int64_t>(scaled / (8 * tb.clocks.ym.den * uint64_t{tb.clocks.cpu_hz}));
  }
  // The output sample that shows the level step s starts.
  double sample_of_step(int64_t s) const {
    return double(s) * tb.rate * 8 * double(tb.clocks.ym.den) / double(tb.clocks.ym.num) +
           YM_OUTPUT_LAG;
  }
};

// A register write (or, reg = kMask, a voice mask) at an absolute step.
struct Event {
  int64_t step;
  uint32_t reg, value;
};
constexpr uint32_t kMask = 0xFF;

// The chip stepped plainly, every generator at every step, with its writes
// applied at the step they fall in: levels step by step.
struct Reference {
  uint8_t r[16] = {0, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 10, 0, 0};
  int32_t tone[3] = {}, noise = 0, f = 0;
  uint32_t high = 0, bits = 1, g = 0, c = 1, h = 31, e = 31;  // envelope as after a restart
  uint32_t mask = 0x7FFF;

  void write(uint32_t reg, uint32_t v) {
    if (reg < 16) r[reg] = static_cast<uint8_t>(v);
    if (reg == 13) g = 0, c = 1, f = 0, e = 31, h = (v & 4) ? 0 : 31;
    if (reg == kMask) mask = (v & 1 ? 0x7C00 : 0) | (v & 2 ? 0x03E0 : 0) | (v & 4 ? 0x001F : 0);
  }
  int32_t step() {
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
    const uint32_t envelope = (g ^ h) & e & 31;
    ++f;
    uint32_t i = 0;
    for (int ch = 0; ch < 3; ++ch) {
      if (tone[ch]++ >= std::max((r[2 * ch + 1] & 15) << 8 | r[2 * ch], 1))
        tone[ch] = 1, high ^= 1 << ch;
      const bool on = (high >> ch & 1 || r[7] >> ch & 1) && (bits & 1 || r[7] >> (3 + ch) & 1);
      if (on) i |= ((r[8 + ch] & 16) ? envelope : 2 * (r[8 + ch] & 15u) + 1) << (10 - 5 * ch);
    }
    return table_level(i & mask);
  }
};

// The reference's levels of steps 0 to `steps`, events applied before the
// step they fall in.
std::vector<int32_t> reference_levels(const std::vector<Event> &events, int64_t steps) {
  Reference ref;
  std::vector<int32_t> levels;
  auto e = events.begin();
  for (int64_t s = 0; s < steps; ++s) {
    for (; e != events.end() && e->step <= s; ++e) ref.write(e->reg, e->value);
    levels.push_back(ref.step());
  }
  return levels;
}

// What the chip's output stage makes of levels step by step (the last one
// held): each change a band-limited step, shown YM_OUTPUT_LAG samples late,
// then the coupling. The first n samples.
std::vector<int32_t> output_of(const std::vector<int32_t> &levels, const Track &t, size_t n) {
  auto b = std::make_unique<chips::Blep>();
  chips::blep_init(*b, t.tb.clocks.ym.num, 8 * t.tb.clocks.ym.den, t.tb.rate);
  std::vector<int32_t> out(YM_OUTPUT_LAG, 0);
  int32_t last = 0;
  std::vector<int32_t> piece(chips::kBlepSpan);
  for (uint64_t s = 0; out.size() < n;) {
    for (const uint64_t end = s + 4096; s < end; ++s) {
      const int32_t level = s < levels.size() ? levels[s] : levels.back();
      if (level != last) chips::blep_add_delta(*b, s, level - last);
      last = level;
    }
    out.insert(out.end(), piece.begin(), piece.begin() + chips::blep_read(*b, s, piece.data()));
  }
  out.resize(n);
  YmCoupling coupling{0, t.ym->coupling.gain};
  ym_couple(&coupling, out.data(), static_cast<int>(n));
  return out;
}

uint32_t read_reg(Track &t, int reg) {
  t.ym->io.write_b(&t.ym->io, kSelect, static_cast<uint32_t>(reg), 0);
  return t.ym->io.read_b(&t.ym->io, kSelect, 0);
}

// Select port: bit 1 clear; data port: bit 1 set; reads answer at multiples
// of 4 with the register's value, the I/O ports' included; words use their
// high byte, longs are two words at one cycle; registers beyond 15 are
// none. The bus's reset and ym_reset bring the power-on values back and
// keep the voice mask.
TEST(Ym, PortsAndRegisters) {
  Track t(kClocksNominal, 44100);
  IoPlugin68 &io = t.ym->io;
  io.write_b(&io, 0xFFFF8801, 3, 0);
  io.write_b(&io, 0xFFFF8803, 0x21, 0);
  io.write_l(&io, 0x00FF88FC, 0x0499'E3CCu, 0);  // R4 = 0xE3
  io.write_w(&io, kSelect, 0x08AA, 0);
  io.write_w(&io, kData, 0x1F55, 10);
  t.write(8, 0x12, 20);
  t.write(14, 0x5A, 30);
  t.write(15, 0xC3, 30);
  t.write(16, 0x77, 40);
  const uint32_t want[16] = {0, 0, 0, 0x21, 0xE3, 0, 0, 0x3F, 0x12, 0, 0, 0, 0, 10, 0x5A, 0xC3};
  for (int r = 0; r < 16; ++r) EXPECT_EQ(read_reg(t, r), want[r]) << r;
  EXPECT_EQ(read_reg(t, 16), 0u);
  io.write_b(&io, kSelect, 3, 0);
  EXPECT_EQ(io.read_b(&io, 0xFFFF8804, 0) | io.read_b(&io, kData, 0), 0x21u);
  EXPECT_EQ(io.read_l(&io, kSelect, 0), 0x21000000u);
  EXPECT_EQ(ym_voice_mask(t.ym.get(), 0xFD), 5);
  for (int (*reset)(Ym2149 *) : {+[](Ym2149 *ym) { return ym->io.reset(&ym->io); }, &ym_reset}) {
    t.write(15, 0x81, 50);
    EXPECT_EQ(reset(t.ym.get()), 0);
    const uint32_t power_on[16] = {0, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 10, 0, 0};
    for (int r = 0; r < 16; ++r) EXPECT_EQ(read_reg(t, r), power_on[r]) << r;
    EXPECT_EQ(ym_voice_mask(t.ym.get(), -1), 5);
  }
}

// The flat stretches (30 samples or more) of a track's output seen before
// its coupling, which is undone sample by sample: exactly the levels.
std::vector<int32_t> plateaus(const Track &t) {
  std::vector<int32_t> flat;
  int64_t estimate = 0;
  int32_t last = 0;
  int run = 0;
  for (const int32_t y : t.out) {
    const int32_t x = y + static_cast<int32_t>((estimate + 0x8000) >> 16);
    estimate += (((int64_t{x} << 16) - estimate) * t.ym->coupling.gain) >> 16;
    run = x == last ? run + 1 : 1;
    last = x;
    if (run == 30) flat.push_back(x);
  }
  return flat;
}

// Channel A alone, its tone and noise off (as at power-on). On a slow
// sawtooth envelope (70 samples a position), rising (shape 12) and falling
// (8), it passes course after course through 31 distinct levels in turn (0
// and 1 both silent), the odd ones 2L + 1 at the measured level of volume L.
// Fixed volumes 0 to 15, a frame each, give exactly the measured levels.
TEST(Ym, EnvelopeSteps32LevelsFixedVolumesTheMeasuredOnes) {
  for (const int shape : {12, 8}) {
    Track t(kClocksNominal, 44100);
    t.next_frame(160256);
    t.write(8, 0x10, 0);
    t.write(11, 400 & 0xFF, 0);
    t.write(12, 400 >> 8, 0);
    t.write(13, shape, 0);
    for (; t.out.size() < 44100; t.next_frame(160256)) t.render(t.length);
    const std::vector<int32_t> flat = plateaus(t);
    std::vector<int32_t> levels = flat;
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    ASSERT_EQ(levels.size(), 31u) << shape;
    for (int l = 0; l < 16; ++l) EXPECT_EQ(levels[2 * l], scaled(kSingle[l])) << shape << " " << l;
    EXPECT_GT(flat.size(), 31u * 18) << shape;
    for (size_t i = 1; i < flat.size(); ++i) {
      const auto at = std::lower_bound(levels.begin(), levels.end(), flat[i - 1]) - levels.begin();
      ASSERT_EQ(flat[i], levels[(at + (shape == 12 ? 1 : 30)) % 31]) << shape << " " << i;
    }
  }
  Track t(kClocksNominal, 44100);
  std::vector<int32_t> want;
  for (int volume = 0; volume < 16; ++volume) {
    t.next_frame(160256);
    t.write(8, volume, 0);
    t.render(t.length);
    want.push_back(scaled(kSingle[volume]));
  }
  EXPECT_EQ(plateaus(t), want);
}

// Random register streams, heavy in periods of 0 and 1, silent or masked
// generators, envelope restarts (with the same shape too) and writes
// sharing a cycle, on both clocks
// at random rates, over frames of random lengths (some far longer than a
// chunk, some shorter than a step) each rendered in random chunks: every
// sample as the step-by-step reference gives it. So the output depends on
// nothing but the writes' cycles: not on the frames, nor on the chunks.
TEST(Ym, MatchesTheStepByStepReference) {
  uint32_t seed = 2149, shape = 0;
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
      case 13: return shape = !next(3) ? shape : next(4) ? any & 15 : any;  // restarts too
      default: return small[next(6)];
    }
  };
  for (int run = 0; run < 24; ++run) {
    const uint32_t rate = std::array<uint32_t, 3>{44100, 22050, 6000 + next(44001)}[next(3)];
    Track t(run & 1 ? kClocksPal : kClocksNominal, rate);
    std::vector<Event> events;
    std::vector<std::array<uint32_t, 3>> writes;  // the frame's: cycle, register, value
    auto write_before = [&](uint32_t to) {        // those before frame cycle `to`
      auto w = writes.begin();
      for (; w != writes.end() && (*w)[0] < to; ++w) {
        t.write(static_cast<int>((*w)[1]), static_cast<int>((*w)[2]), (*w)[0]);
        events.push_back({t.step_of(t.tb.frame_start + (*w)[0]), (*w)[1], (*w)[2]});
      }
      writes.erase(writes.begin(), w);
    };
    for (int f = 0; f < 25; ++f) {
      const uint32_t cycles = std::array<uint32_t, 5>{160256, 48, 31, 1 + next(5000),
                                                      next(3) ? next(300000) : 700000}[next(5)];
      t.next_frame(cycles);
      if (!next(3)) {
        const uint32_t voices = next(8);
        ym_voice_mask(t.ym.get(), static_cast<int>(voices));
        events.push_back({t.step_of(t.tb.frame_start), kMask, voices});
      }
      writes.resize(next(3) ? next(6) : 0);
      for (auto &w : writes) {
        w[0] = next(2) ? next(cycles + 1) : next(4) * cycles / 4;
        w[1] = next(17);
        w[2] = value(w[1]);
      }
      std::sort(writes.begin(), writes.end(), [](auto &a, auto &b) { return a[0] < b[0]; });
      std::vector<uint32_t> cuts = {cycles};
      for (uint32_t c = 0; c < cycles; c += 1 + next(TIMEBASE_MAX_CHUNK_CYCLES)) cuts.push_back(c);
      std::sort(cuts.begin(), cuts.end());
      for (const uint32_t to : cuts) {
        write_before(to);
        t.render(to);
      }
      write_before(cycles + 1);  // at the frame's end: heard from the next frame on
    }
    const int64_t steps = t.step_of(t.tb.frame_start + t.length);
    ASSERT_EQ(t.out, output_of(reference_levels(events, steps), t, t.out.size()))
        << "run " << run << " at " << rate << " Hz";
  }
}

// Every envelope shape from its start, alone on channel A (tone and noise
// off), as the reference has it.
TEST(Ym, EveryEnvelopeShapeAsTheReference) {
  for (uint32_t shape = 0; shape < 16; ++shape) {
    Track t(kClocksNominal, 44100);
    t.next_frame(160256);
    const std::vector<Event> events = {{0, 7, 0x3F}, {0, 8, 0x10}, {0, 11, 3}, {0, 13, shape}};
    for (const Event &e : events) t.write(int(e.reg), int(e.value), 0);
    t.render(t.length);
    ASSERT_EQ(t.out, output_of(reference_levels(events, t.step_of(t.length)), t, t.out.size()))
        << "shape " << shape;
  }
}

// The output's AC coupling (the reference uses it as the chip does, so on
// its own here): levels held after silence, the loudest YM (three channels
// at 15) then channel A alone, stay within 16 bits and move towards 0 by no
// more than 2 pi 5 Hz / 44,100 Hz of 32767 a sample but where they change;
// silence after them settles at exactly 0 within half a second.
TEST(Ym, CouplingCentresWithin16Bits) {
  Track t(kClocksNominal, 44100);
  YmCoupling coupling{0, t.ym->coupling.gain};
  std::vector<int32_t> s(3 * 44100, 0);
  std::fill(s.begin() + 100, s.begin() + 44100, table_level(0xFFF));
  std::fill(s.begin() + 44100, s.begin() + 88200, table_level(0xF00));
  ym_couple(&coupling, s.data(), int(s.size()));
  for (size_t i = 1; i < s.size(); ++i) {
    const bool change = i == 100 || i == 44100 || i == 88200;
    ASSERT_LE(std::abs(s[i]), 32767) << i;
    ASSERT_LE(std::abs(s[i] - s[i - 1]), change ? 65535 : 24) << i;
    ASSERT_TRUE(i < 88200 + 22050 || s[i] == 0) << i;
  }
}

// The measured rows at the odd levels 2L + 1 (volume L); levels 0 and 1
// both silent, every level above 1 louder than the one below.
TEST(YmMixTable, MeasuredRowsSymmetricAndStrictlyIncreasing) {
  std::vector<uint16_t> t(YM_MIX_TABLE_SIZE);
  ym_mix_table_build(t.data());
  auto at = [&](int a, int b, int c) { return t[(a << 10) | (b << 5) | c]; };
  for (int l = 0; l < 16; ++l) {
    const int k = 2 * l + 1;
    EXPECT_EQ(at(k, 0, 1), kSingle[l]) << l;
    EXPECT_EQ(at(k, k, k), kEqual[l]) << l;
    EXPECT_EQ(at(31, 31, k), kPair[l]) << l;
  }
  for (int i = 0; i < YM_MIX_TABLE_SIZE; ++i) {
    const int a = i >> 10, b = (i >> 5) & 31, c = i & 31;
    for (uint16_t p : {at(a, c, b), at(b, a, c), at(b, c, a), at(c, a, b), at(c, b, a)})
      ASSERT_EQ(t[i], p) << a << "," << b << "," << c;
    if (a == 0) {
      ASSERT_EQ(t[i], at(1, b, c)) << b << "," << c;
    } else if (a < 31) {
      ASSERT_LT(t[i], at(a + 1, b, c)) << a << "," << b << "," << c;
    }
  }
}

// The band-limited steps of the output stage on their own.

using chips::Blep;

// The input clocks: the 68000's 8 MHz / 32, and a PAL machine's YM clock
// (2,002,653 Hz) / 8 as the fraction 2002653 / 8.
struct Clock {
  uint64_t num, den;
  double hz() const { return double(num) / double(den); }
};
constexpr Clock kCpuClock{250000, 1};
constexpr Clock kPalClock{2002653, 8};

std::unique_ptr<Blep> make_blep(Clock clock, uint32_t rate) {
  auto b = std::make_unique<Blep>();
  chips::blep_init(*b, clock.num, clock.den, rate);
  return b;
}

// Appends the samples complete at `step`.
void read_to(Blep &b, uint64_t step, std::vector<int32_t> &out) {
  int32_t chunk[chips::kBlepSpan];
  const int n = chips::blep_read(b, step, chunk);
  out.insert(out.end(), chunk, chunk + n);
}

// A square wave from step 0, `half` steps at height/2 then `half` steps
// `height` lower, read out every 5008 steps (a 50 Hz frame) until `samples`
// samples are there.
std::vector<int32_t> square(Clock clock, uint32_t rate, uint64_t half, int32_t height,
                            size_t samples) {
  auto b = make_blep(clock, rate);
  std::vector<int32_t> out;
  chips::blep_add_delta(*b, 0, height / 2);
  int32_t sign = -1;
  uint64_t next = half;
  for (uint64_t frame = 5008; out.size() < samples; frame += 5008) {
    for (; next < frame; next += half, sign = -sign) chips::blep_add_delta(*b, next, sign * height);
    read_to(*b, frame, out);
  }
  out.resize(samples);
  return out;
}

// Amplitude spectrum of the last 2^17 samples under a 4-term Blackman-Harris
// window (side lobes below -92 dB): bin k holds the amplitude of a sine at
// k * rate / 2^17 Hz.
constexpr size_t kFftSize = size_t{1} << 17;
std::vector<double> spectrum(const std::vector<int32_t> &s) {
  std::vector<std::complex<double>> a(kFftSize);
  const size_t first = s.size() - kFftSize;
  double gain = 0;
  for (size_t i = 0; i < kFftSize; ++i) {
    const double x = 2 * M_PI * double(i) / double(kFftSize);
    const double w =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    a[i] = w * s[first + i];
    gain += w;
  }
  dsptest::fft(a, false);
  std::vector<double> amp(kFftSize / 2);
  for (size_t k = 0; k < amp.size(); ++k) amp[k] = 2 * std::abs(a[k]) / gain;
  return amp;
}

// YM tone period 7 at 250 kHz: 7 steps high, 7 low, 17,857 Hz.
constexpr uint64_t kHighHalf = 7;
constexpr int32_t kHeight = 30001;
// Fundamental of a square wave of that peak-to-peak height: 4/pi of half of it.
const double kSquareFundamental = 2 * kHeight / M_PI;
constexpr double kAliasRatio = 0.01;  // -40 dB

// Its fundamental at 44,100 Hz is the loudest component, at 17,857 Hz and
// barely filtered; all else (the aliases of its harmonics, errors of the
// step positions) stays 40 dB below it. At 30,000 Hz and 22,050 Hz, where
// even the fundamental lies beyond the Nyquist frequency (just past the
// filter's transition, and far beyond it), everything stays 40 dB below the
// fundamental the square wave has.
TEST(Blep, HighSquareWaveDoesNotAlias) {
  const double tone = kCpuClock.hz() / (2 * kHighHalf);
  {
    const auto amp = spectrum(square(kCpuClock, 44100, kHighHalf, kHeight, kFftSize + 1000));
    const auto top = std::max_element(amp.begin(), amp.end()) - amp.begin();
    const double bin = 44100.0 / kFftSize;
    EXPECT_NEAR(double(top) * bin, tone, 1.5 * bin);
    EXPECT_GT(amp[top], 0.7 * kSquareFundamental);
    double worst = 0;
    for (size_t k = 0; k < amp.size(); ++k) {
      if (std::abs(double(k) - double(top)) > 6) worst = std::max(worst, amp[k]);
    }
    EXPECT_LT(worst, kAliasRatio * amp[top])
        << "worst alias " << 20 * std::log10(worst / amp[top]) << " dB";
  }
  for (const uint32_t rate : {30000u, 22050u}) {
    const auto amp = spectrum(square(kCpuClock, rate, kHighHalf, kHeight, kFftSize + 1000));
    const double worst = *std::max_element(amp.begin(), amp.end());
    EXPECT_LT(worst, kAliasRatio * kSquareFundamental)
        << rate << " Hz: worst alias " << 20 * std::log10(worst / kSquareFundamental) << " dB";
  }
}

// The centre of the step whose rise spans samples [first, last): the
// centroid of its differences, which for a symmetric kernel is the step's
// position plus half a sample.
double step_centre(const std::vector<int32_t> &s, size_t first, size_t last) {
  double moment = 0;
  for (size_t k = first + 1; k < last; ++k) moment += double(k) * (s[k] - s[k - 1]);
  return moment / (s[last - 1] - s[first]) - 0.5;
}

// A 440 Hz square wave (YM period 284) at 44,100 Hz: every edge is centred
// on its exact time (step * 44100 / 250000 samples), so both halves of each
// period last equally long, and away from the edges (beyond the kernel's 7.5
// samples) the tops are flat at exactly the two levels.
TEST(Blep, LowSquareWaveKeepsItsShape) {
  constexpr uint64_t kHalf = 284;
  const auto s = square(kCpuClock, 44100, kHalf, kHeight, 44100);
  const double period = double(kHalf) * 44100 / 250000;  // samples per half
  int flat = 0;
  for (int edge = 1; (edge + 1) * period < double(s.size()) - 1; ++edge) {
    const double at = edge * period;
    const auto k = static_cast<size_t>(at);
    EXPECT_NEAR(step_centre(s, k - 9, k + 10), at, 0.01) << "edge " << edge;
    const int32_t level = edge % 2 ? kHeight / 2 - kHeight : kHeight / 2;
    for (auto i = static_cast<size_t>(std::ceil(at + 8)); double(i) < at + period - 8; ++i) {
      ASSERT_EQ(s[i], level) << "sample " << i;
      ++flat;
    }
  }
  EXPECT_GT(flat, 29000);
}

// A single step late in a minute of output, read in 50 Hz frames: as many
// samples as the minute has (less the 7.5 the kernel still waits for), and
// the step centred on its exact position, for a whole and a fractional
// input clock. The step is higher than the largest one added in one go, and
// settles at exactly its height.
TEST(Blep, StepsMapExactlyOverAMinute) {
  for (const Clock clock : {kCpuClock, kPalClock}) {
    for (const uint32_t rate : {44100u, 48000u, 6000u}) {
      SCOPED_TRACE(testing::Message() << clock.hz() << " Hz to " << rate << " Hz");
      auto b = make_blep(clock, rate);
      const uint64_t steps = 60 * clock.num / clock.den;
      const uint64_t late = steps - clock.num / (3 * clock.den);  // 20 s before the end
      constexpr int32_t kStep = 100001;
      std::vector<int32_t> out;
      for (uint64_t t = 5008, last = 0; last < steps; last = t, t = std::min(t + 5008, steps)) {
        if (last <= late && late < t) chips::blep_add_delta(*b, late, kStep);
        read_to(*b, t, out);
      }

      // The samples before position p(steps) - 7.5, p(s) = s * rate / clock
      // (the products stay below 2^53).
      const uint64_t whole = steps * rate * clock.den;
      EXPECT_EQ(out.size(), (2 * whole + clock.num) / (2 * clock.num) - 7);
      ASSERT_EQ(out.front(), 0);
      ASSERT_EQ(out.back(), kStep);
      EXPECT_NEAR(step_centre(out, 0, out.size()),
                  double(late * rate * clock.den) / double(clock.num), 0.01);
    }
  }
}

}  // namespace
