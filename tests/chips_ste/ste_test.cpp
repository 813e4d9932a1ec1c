// STE DMA sound and MicroWire through the plug-in record and mw_mix, on a
// 68000 memory of exactly 512 KiB (so any read outside it trips ASan), frame
// by frame on a time base as the player runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "chips/microwire.h"

namespace {

constexpr uint32_t kBase = 0xFFFF8900u, kControl = kBase + 0x01, kStart = kBase + 0x03,
                   kCounter = kBase + 0x09, kEnd = kBase + 0x0F, kMode = kBase + 0x21,
                   kData = kBase + 0x22, kMask = kBase + 0x24;
constexpr uint32_t k50Hz = 160256;  // a 50 Hz frame's cycles
// LMC1992 commands as sent with mask 0x07FF: address bits 10, three
// function bits and six value bits.
constexpr uint32_t kMixer = 0x400, kBass = 0x440, kTreble = 0x480, kMaster = 0x4C0, kRight = 0x500,
                   kLeft = 0x540;

// The output word of left and right values, and a side of one.
uint32_t word(int l, int r) {
  return (static_cast<uint32_t>(l) & 0xFFFF) | static_cast<uint32_t>(r) << 16;
}
int side(uint32_t w, int ch) { return static_cast<int16_t>(w >> (16 * ch)); }

// The DMA's byte rate in a mode: bytes a second = num / den.
struct Rate {
  uint64_t num, den;
};
Rate rate_of(const MachineClocks &c, uint32_t mode) {
  return {c.dma.num * (mode & 0x80 ? 1 : 2), c.dma.den * (8u >> (mode & 3))};
}

class Ste : public ::testing::Test {
 protected:
  void SetUp() override { start(kClocksNominal, 44100); }
  void start(const MachineClocks &clocks, uint32_t rate) {
    tb = {clocks, rate, 0};
    chip = SteMicroWire{};
    ASSERT_EQ(mw_init(&chip), 0);
    mw_attach(&chip, &tb, mem.data());
    length = 0;
    out.clear();
  }
  void wb(uint32_t a, uint32_t v, uint32_t c = 0) { ste.write_b(&ste, a, v, c); }
  uint32_t rb(uint32_t a, uint32_t c = 0) { return ste.read_b(&ste, a, c); }
  uint32_t counter(uint32_t c = 0) {
    return rb(kCounter, c) << 16 | rb(kCounter + 2, c) << 8 | rb(kCounter + 4, c);
  }
  void command(uint32_t data, uint32_t mask = 0x07FF) {
    ste.write_w(&ste, kMask, mask, 0);
    ste.write_w(&ste, kData, data, 0);
  }
  // Frame registers and mode; control written at cycle c unless 0.
  void frame(uint32_t from, uint32_t to, uint32_t mode, uint32_t control = 0, uint32_t c = 0) {
    for (uint32_t i = 0; i < 3; ++i) {
      wb(kStart + 2 * i, from >> (16 - 8 * i), c);
      wb(kEnd + 2 * i, to >> (16 - 8 * i), c);
    }
    wb(kMode, mode, c);
    if (control != 0) wb(kControl, control, c);
  }
  // A frame of `cycles` cycles as the player runs it, after the previous
  // one: the actions at their cycles, the output mixed in `chunks` chunks
  // over a constant YM sample.
  using Action = std::pair<uint32_t, std::function<void(uint32_t)>>;
  void run_frame(uint32_t cycles, const std::vector<Action> &actions = {}, uint32_t chunks = 1,
                 int32_t ym = 0) {
    tb.frame_start += length;
    ste.adjust_cycles(&ste, length);
    length = cycles;
    size_t a = 0;
    for (uint32_t k = 1, from = 0; k <= chunks; ++k) {
      const auto to = static_cast<uint32_t>(uint64_t{cycles} * k / chunks);
      for (; a < actions.size() && actions[a].first < to; ++a) actions[a].second(actions[a].first);
      const uint32_t n = timebase_frame_samples(&tb, to) - timebase_frame_samples(&tb, from);
      std::vector<uint32_t> buf(n, static_cast<uint32_t>(ym));
      mw_mix(&chip, buf.data(), mem.data(), to, static_cast<int>(n));
      out.insert(out.end(), buf.begin(), buf.end());
      from = to;
    }
    ASSERT_EQ(a, actions.size());
  }
  // Output samples before absolute cycle c (from the first frame's start).
  uint64_t samples_before(uint64_t c) const {
    return (c * tb.rate + tb.clocks.cpu_hz - 1) / tb.clocks.cpu_hz;
  }

  std::vector<uint8_t> mem = std::vector<uint8_t>(MW_MEMORY_SIZE);
  Timebase tb{};
  SteMicroWire chip{};
  IoPlugin68 &ste = chip.io;
  uint32_t length = 0;
  std::vector<uint32_t> out;
};

// The DMA alone over a 256-byte loop of the bytes 0-255: each sample shows
// the byte it plays, so the bytes played in ten seconds of frames of uneven
// lengths give the rate, the DMA clock / 8, 4, 2 or 1 bytes (pairs in
// stereo) a second, to within one byte (pair) over ten seconds, at both
// clocks and two output rates.
TEST_F(Ste, EveryRatePlaysAtItsPitch) {
  for (uint32_t i = 0; i < 256; ++i) mem[0x10000 + i] = static_cast<uint8_t>(i);
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    for (uint32_t rate : {44100u, 48000u}) {
      for (uint32_t mode : {0x00u, 0x01u, 0x02u, 0x03u, 0x80u, 0x81u, 0x82u, 0x83u}) {
        SCOPED_TRACE(::testing::Message() << clocks->cpu_hz << " " << rate << " " << mode);
        start(*clocks, rate);
        command(kMixer | 2);
        frame(0x10000, 0x10100, mode, 3);
        uint64_t cycles = 0;
        for (uint32_t f = 0; cycles < 10ull * clocks->cpu_hz; ++f) {
          run_frame(f % 3 == 0 ? k50Hz : 133333 + f);
          cycles += length;
        }
        ASSERT_EQ(out.size(), samples_before(cycles));
        long bytes = 0;
        for (size_t k = 1; k < out.size(); ++k) {
          const int at = (out[k] >> 7) & 0xFF, last = (out[k - 1] >> 7) & 0xFF;
          ASSERT_EQ(side(out[k], 1), side(out[k], 0) + (mode & 0x80 ? 0 : 128)) << k;
          bytes += (at + 256 - last) % 256;
        }
        const Rate r = rate_of(*clocks, mode);
        EXPECT_NEAR(bytes, double(r.num) / double(r.den) * double(out.size() - 1) / rate,
                    mode & 0x80 ? 1.5 : 2.5);  // a whole pair in stereo
      }
    }
  }
}

// Frames and restarts at given cycles: the output switches at the first
// sample at or after the cycle, whatever the chunks the frame is mixed in.
// Frame registers written while a frame plays take effect at its end.
TEST_F(Ste, WritesAreHeardAtTheirCycle) {
  std::fill_n(mem.begin() + 0x1000, 0x100, 10);
  std::fill_n(mem.begin() + 0x2000, 0x100, 20);
  std::fill_n(mem.begin() + 0x3000, 0x300, 30);
  const uint32_t begin = 1000, restart = 40001, relatch = 100003;
  for (uint32_t chunks : {1u, 3u, 7u}) {
    SetUp();
    command(kMixer | 2);
    run_frame(k50Hz,
              {{begin, [&](uint32_t c) { frame(0x1000, 0x1100, 0x83, 3, c); }},
               {restart,
                [&](uint32_t c) {
                  wb(kControl, 0, c);  // stop and start again: a new frame at once
                  frame(0x2000, 0x2100, 0x83, 3, c);
                }},
               // Latched at the end of the 0x2000 frame's loop under way.
               {relatch, [&](uint32_t c) { frame(0x3000, 0x3300, 0x83, 0, c); }}},
              chunks);
    run_frame(k50Hz);
    const Rate r = rate_of(kClocksNominal, 0x83);
    uint64_t loop_end = restart;
    for (uint64_t k = 1; loop_end <= relatch; ++k)
      loop_end = restart + (k * 0x100 * r.den * 8000000 + r.num - 1) / r.num;
    const uint64_t switches[] = {samples_before(begin), samples_before(restart),
                                 samples_before(loop_end)};
    for (size_t k = 0; k < out.size(); ++k) {
      const int want = k < switches[0] ? 0 : k < switches[1] ? 10 : k < switches[2] ? 20 : 30;
      ASSERT_EQ(out[k], word(want * 128, want * 128)) << "sample " << k << ", " << chunks;
    }
  }
}

// The counter reads the address playing at the cycle of the read, across
// frames of uneven lengths (a 1 Hz frame of 8 million cycles among them),
// at both clocks: a control write that keeps play on does not restart the
// frame, nor does one that clears the loop bit; a new rate goes on from the
// address reached; play off and on again restarts from the frame start.
TEST_F(Ste, CounterReadsTheAddressAtTheCycle) {
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    SCOPED_TRACE(clocks->cpu_hz);
    start(*clocks, 44100);
    const uint64_t cpu = clocks->cpu_hz;
    // Segments of steady play: from absolute cycle `from`, at `at` plus the
    // bytes of mode `mode` since. Addresses in units of 1 / (8 x the DMA
    // clock's denominator x cpu_hz) bytes, exact for every mode.
    const uint64_t unit = 8 * clocks->dma.den * cpu;
    struct Segment {
      uint64_t from, at;
      uint32_t mode;
    };
    std::vector<Segment> plan = {{777, 0x10000 * unit, 0x81}};
    auto address = [&](uint64_t abs) {
      const Segment &s = *std::find_if(plan.rbegin(), plan.rend(),
                                       [&](const Segment &g) { return g.from <= abs; });
      const Rate r = rate_of(*clocks, s.mode);
      return s.at + (abs - s.from) * r.num * (8 * clocks->dma.den / r.den);
    };
    uint64_t base = 0;
    uint32_t seed = 1;
    int checked = 0;
    auto expect = [&](uint32_t c) {
      const uint64_t at = address(base + c);
      const double frac = double(at % unit) / double(unit);
      const uint32_t got = counter(c);
      if (frac > 1e-6 && frac < 1 - 1e-6) {
        ++checked;
        ASSERT_EQ(got, at / unit) << base + c;
      }
    };
    auto reads = [&](uint32_t cycles, uint32_t first) {
      std::vector<Action> a;
      for (uint32_t c = first; c < cycles; c += (seed = seed * 1103515245u + 12345u) >> 17 | 1)
        a.push_back({c, expect});
      return a;
    };
    const uint32_t frames[] = {k50Hz, 133337, 8000000, 160255};
    for (uint32_t f = 0; f < 4; ++f) {
      std::vector<Action> a = reads(frames[f], f == 0 ? 777 : 0);
      if (f == 0)
        a.insert(a.begin(), {777, [&](uint32_t c) { frame(0x10000, 0x70000, 0x81, 3, c); }});
      if (f == 1) {
        a.push_back({5000, [&](uint32_t c) { wb(kControl, 3, c); }});
        a.push_back({9000, [&](uint32_t c) { wb(kControl, 1, c); }});
        a.push_back({20000, [&](uint32_t c) {
                       const uint32_t at = counter(c);
                       wb(kMode, 0x83, c);
                       EXPECT_EQ(counter(c), at);
                       plan.push_back({base + c, address(base + c), 0x83});
                     }});
      }
      if (f == 3) {
        a.push_back({50001, [&](uint32_t c) {
                       wb(kControl, 0, c);
                       wb(kControl, 3, c);
                       plan.push_back({base + c, 0x10000 * unit, 0x83});
                     }});
      }
      std::stable_sort(a.begin(), a.end(),
                       [](const Action &x, const Action &y) { return x.first < y.first; });
      run_frame(frames[f], a, frames[f] / 200000 + 1);
      base += frames[f];
    }
    EXPECT_GT(checked, 100);
  }
}

// Mixer settings: a full-scale DMA pair (127, -128) at 128 a step in every
// setting; the YM at half its level in setting 1, 12 dB lower in setting 0,
// none in setting 2, setting 3 keeping the last. The loudest YM (three
// channels at 15: +-26624) beside a full-scale DMA stays inside 16 bits; a
// YM sample beyond 16 bits is limited to them, so no sum wraps. The
// volumes attenuate from their command's cycle on.
TEST_F(Ste, MixerLevels) {
  mem[0x6000] = 127;
  mem[0x6001] = 0x80;
  frame(0x6000, 0x6002, 0x03, 3);
  const struct {
    uint32_t setting;
    int32_t ym;
    int left, right;
  } cases[] = {
      {1, 1000, 500 + 16256, 500 - 16384},
      {0, 1000, 125 + 16256, 125 - 16384},
      {2, 1000, 16256, -16384},
      {3, 1000, 16256, -16384},
      {1, 26624, 13312 + 16256, 13312 - 16384},
      {1, -26624, -13312 + 16256, -13312 - 16384},
      {1, 60000, 16383 + 16256, 16383 - 16384},
      {1, -60000, -16384 + 16256, -32768},
  };
  for (const auto &c : cases) {
    command(kMixer | c.setting);
    out.clear();
    run_frame(1000, {}, 1, c.ym);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), word(c.left, c.right)) << c.setting << " " << c.ym;
  }
  // The master volume at -20 dB from cycle 500 on, then the left one 6 dB
  // lower too: each side of the sum attenuated.
  command(kMixer | 1);
  out.clear();
  const auto send = [&](uint32_t data) {
    return [&, data](uint32_t c) {
      ste.write_w(&ste, kMask, 0x7FF, c);
      ste.write_w(&ste, kData, data, c);
    };
  };
  run_frame(2000, {{500, send(kMaster | 30)}, {1500, send(kLeft | 17)}}, 3, 1000);
  const uint32_t at = timebase_frame_samples(&tb, 500);
  ASSERT_LT(at, timebase_frame_samples(&tb, 1500));
  const int left = 500 + 16256, right = 500 - 16384;
  EXPECT_EQ(out[at - 1], word(left, right));
  EXPECT_NEAR(int16_t(out[at]), left / 10.0, 1);
  EXPECT_NEAR(int16_t(out[at] >> 16), right / 10.0, 1);
  EXPECT_NEAR(int16_t(out.back()), left * std::pow(10, -26 / 20.0), 1);
  EXPECT_EQ(out.back() >> 16, out[at] >> 16);
}

// A looping frame shorter than a step wraps as often as it needs, never
// leaving the frame; a looping frame with its start at or after its end
// plays silence at its start until the registers give it room. Without
// loop the DMA stops at the frame end (control 0, the counter at the frame
// start, the YM alone after it); an empty frame stops at once.
TEST_F(Ste, LoopsAndEnds) {
  std::fill(mem.begin(), mem.end(), 99);
  mem[0x2000] = 7;
  mem[0x4000] = 5;
  mem[0x4001] = 6;
  std::fill_n(mem.begin() + 0x5000, 0x40, 10);
  command(kMixer | 2);
  const auto steady = [&](int l, int r) {
    return std::all_of(out.begin(), out.end(), [&](uint32_t w) { return w == word(l, r); });
  };
  // Register writes at the start of a frame, as a replay's play routine.
  const auto at_start = [](std::function<void()> f) {
    return std::vector<Action>{{0, [f](uint32_t) { f(); }}};
  };
  run_frame(k50Hz, at_start([&] { frame(0x2000, 0x2001, 0x83, 3); }));  // a byte, 50066 Hz
  EXPECT_TRUE(steady(7 * 128, 7 * 128));
  out.clear();
  // One pair, stereo: 2.27 pairs a sample; from the next loop on.
  run_frame(k50Hz, at_start([&] { frame(0x4000, 0x4002, 0x03); }));
  EXPECT_TRUE(steady(5 * 128, 6 * 128));
  for (uint32_t end : {0x3000u, 0x2FF0u}) {
    out.clear();
    run_frame(k50Hz, at_start([&] {
                wb(kControl, 0);
                frame(0x3000, end, 0x83, 3);
              }));
    EXPECT_TRUE(steady(0, 0)) << end;
    EXPECT_EQ(counter(k50Hz - 1) << 8 | rb(kControl, k50Hz - 1), 0x300003u);
  }
  out.clear();
  run_frame(k50Hz, {{1000, [&](uint32_t c) { frame(0x2000, 0x2001, 0x83, 0, c); }}});
  EXPECT_EQ(out[samples_before(1000) - 1], 0u);
  EXPECT_EQ(out[samples_before(1000)], word(7 * 128, 7 * 128));
  out.clear();
  run_frame(k50Hz, at_start([&] {
              command(kMixer | 1);
              wb(kControl, 0);
              frame(0x5000, 0x5040, 0x81, 1);  // 0x40 bytes at 50066 / 4 Hz
            }),
            1, 1000);
  // The samples before the frame's cycle 0x40 x 4 x 8 MHz / 50066.
  const unsigned __int128 f0 = tb.frame_start, end = f0 * 50066 + 0x40 * 4 * 8000000;
  const auto played =
      static_cast<size_t>((end * 44100 + 50066ull * 8000000 - 1) / (50066ull * 8000000) -
                          samples_before(tb.frame_start));
  for (size_t k = 0; k < out.size(); ++k) {
    const int want = 500 + (k < played ? 10 * 128 : 0);
    ASSERT_EQ(out[k], word(want, want)) << k;
  }
  EXPECT_EQ(counter(k50Hz - 1) << 8 | rb(kControl, k50Hz - 1), 0x500000u);
  run_frame(k50Hz, at_start([&] { frame(0x4000, 0x4000, 0x81, 1); }));  // an empty frame
  EXPECT_EQ(rb(kControl), 0u);                                          // stops at once
}

TEST_F(Ste, MicroWireCommands) {
  const struct {
    uint32_t data, mask;
    int MwLmc1992::*field;
    int want;
  } steps[] = {
      {kMaster | 3, 0x7FF, &MwLmc1992::master_db, -74},
      {0x04E8, 0x7FF, &MwLmc1992::master_db, 0},
      {kLeft | 5, 0x7FF, &MwLmc1992::left_db, -30},
      {kRight | 10, 0x7FF, &MwLmc1992::right_db, -20},
      {0, 0, &MwLmc1992::lr_db, -25},  // nothing sent; the average
      {kLeft | 31, 0x7FF, &MwLmc1992::left_db, 0},
      {kBass | 15, 0x7FF, &MwLmc1992::bass_db, 12},
      {kTreble | 6, 0x7FF, &MwLmc1992::treble_db, 0},
      {kMixer | 2, 0x7FF, &MwLmc1992::mixer, 2},
      // The mask may sit anywhere; unmasked bits inside it are skipped.
      {0x04D0u << 5, 0xFFE0, &MwLmc1992::master_db, -48},
      {0x8000 | (0x0E8 << 4), 0xDFF0, &MwLmc1992::master_db, 0},
      // Ignored: a wrong address, an empty mask, too few bits, functions 6-7.
      {0x06D0, 0x7FF, &MwLmc1992::master_db, 0},
      {0x04D0, 0, &MwLmc1992::master_db, 0},
      {0x04D0u >> 3, 0x00FF, &MwLmc1992::master_db, 0},
      {0x0580 | 16, 0x7FF, &MwLmc1992::master_db, 0},
      {0x05C0 | 1, 0x7FF, &MwLmc1992::mixer, 2},
  };
  for (const auto &s : steps) {
    command(s.data, s.mask);
    EXPECT_EQ(mw_lmc1992(&chip)->*s.field, s.want) << std::hex << s.data << "/" << s.mask;
  }
  command(kMaster | 20);
  ste.write_w(&ste, kMask, 0, 0);
  ste.write_l(&ste, kData, 0x04E807FFu, 0);  // sends with the mask in place before
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, -40);
  ste.write_w(&ste, kData, 0x04E8, 0);
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, 0);
  wb(kData, 0x05);  // the high byte alone sends nothing
  EXPECT_EQ(mw_lmc1992(&chip)->left_db, 0);
  // While the 16 bits go out, a bit a microsecond (8 cycles), data and mask
  // read rotated left by the bits sent; then as written again.
  ste.write_w(&ste, kMask, 0x07FF, 1000);
  ste.write_w(&ste, kData, 0x4C00, 1000);
  EXPECT_EQ(ste.read_l(&ste, kData, 1000), 0x4C000FFEu);  // the data's read is a bit
  EXPECT_EQ(ste.read_l(&ste, kData, 1000 + 3 * 8), 0x60023FF8u);
  EXPECT_EQ(ste.read_w(&ste, kMask, 1000 + 15 * 8), 0x83FFu);
  EXPECT_EQ(ste.read_l(&ste, kData, 1000 + 16 * 8), 0x4C0007FFu);
  // Polled within one cycle (a routine takes no time), each read is a bit on.
  ste.write_w(&ste, kData, 0x4C00, 2000);
  for (uint32_t k = 0; k <= 16; ++k)
    EXPECT_EQ(ste.read_w(&ste, kMask, 2000), (0x07FFu << k | 0x07FFu >> (16 - k)) & 0xFFFF) << k;
}

TEST_F(Ste, RegistersAndReset) {
  wb(kBase + 0x20, 0x12);  // even offsets below 0x22 hold no register
  wb(kBase + 0x15, 0x77);
  wb(kBase + 0x26, 0x5A);  // from 0x22 up every byte is kept
  wb(kCounter, 0x12);      // the counter cannot be written
  EXPECT_EQ(rb(kBase + 0x20) << 16 | rb(kBase + 0x15) << 8 | rb(kCounter), 0x7700u);
  EXPECT_EQ(rb(0x00FF8966u), 0x5Au);   // only the low 6 address bits count
  frame(0x012345, 0x06789A, 0, 0xFF);  // play starts: the frame is latched
  EXPECT_EQ(counter() << 8 | rb(kControl), 0x01234503u);
  EXPECT_EQ(ste.read_l(&ste, kBase + 0x02, 0), 0x00010023u);
  ste.write_l(&ste, kBase + 0x0E, 0x00AB00CDu, 0);
  EXPECT_EQ(rb(kBase + 0x0F) << 8 | rb(kBase + 0x11), 0xABCDu);
  command(kMaster | 3);
  ASSERT_EQ(ste.reset(&ste), 0);
  EXPECT_EQ(rb(kControl) | rb(kBase + 0x03) | counter() | ste.read_w(&ste, kMask, 0), 0u);
  EXPECT_EQ(rb(kBase + 0x26), 0x5Au);
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, 0);
}

}  // namespace
