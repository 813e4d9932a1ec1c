// MFP 68901 timers through the plug-in record, with a stand-in for the
// CPU's frame runner (adjust, then next interrupt / interrupt), at both
// clocks; and the STE's DMA sound wired to timer A's input and GPIP 7.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <tuple>
#include <vector>

#include "chips/mfp68901.h"
#include "chips/microwire.h"

namespace {

constexpr uint32_t kBase = 0xFFFFFA00u, kIera = kBase + 0x07, kImra = kBase + 0x13,
                   kVr = kBase + 0x17, kTacr = kBase + 0x19, kTbcr = kBase + 0x1B,
                   kTcdcr = kBase + 0x1D, kTadr = kBase + 0x1F, kTbdr = kBase + 0x21,
                   kTcdr = kBase + 0x23, kTddr = kBase + 0x25;
// The prescaler dividers of selectors 1-7 in MFP ticks; at 8 MHz a tick is
// 8 MHz / 2.4576 MHz = 625/192 68000 cycles.
constexpr uint32_t kDivider[8] = {0, 4, 10, 16, 50, 64, 100, 200};
// Vector addresses of timers A-D with the vector base 0x40.
constexpr uint32_t kVecA = 0x4D * 4, kVecB = 0x48 * 4, kVecC = 0x45 * 4, kVecD = 0x44 * 4;

Mfp68901 chip;
IoPlugin68 &mfp = chip.io;
void wb(uint32_t a, uint32_t v, uint32_t c = 0) { mfp.write_b(&mfp, a, v, c); }
uint32_t rb(uint32_t a, uint32_t c = 0) { return mfp.read_b(&mfp, a, c); }
uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// (cycle since the first frame's start, vector) of each interrupt taken.
using Deliveries = std::vector<std::pair<uint64_t, uint32_t>>;

// Runs frames as the CPU does: adjust with the previous frame's length, the
// replay routine at cycle 0, then every interrupt before the budget, each
// followed by its handler. With the STE attached, it is mixed at the
// frame's end as the player does.
struct Runner {
  uint64_t base = 0;
  uint32_t previous = 0;
  Deliveries got;
  std::function<void(uint32_t vector, uint32_t cycle)> handler;
  SteMicroWire *ste = nullptr;
  Timebase *tb = nullptr;

  void frame(uint32_t budget, const std::function<void()> &routine = {}) {
    if (tb) tb->frame_start = base;
    mfp.adjust_cycles(&mfp, previous);
    if (ste) ste->io.adjust_cycles(&ste->io, previous);
    if (routine) routine();
    for (uint32_t t = 0;;) {
      const int32_t n = mfp.next_interrupt(&mfp, t);
      if (n == IO68_NO_INTERRUPT || uint64_t{t} + std::max(n, 0) >= budget) break;
      t += static_cast<uint32_t>(std::max(n, 0));
      if (const Interrupt68 *irq = mfp.interrupt(&mfp, t)) {
        EXPECT_EQ(irq->level, 6u);
        got.push_back({base + t, irq->vector});
        if (handler) handler(irq->vector, t);
      }
    }
    if (ste) {
      std::vector<uint32_t> buf(timebase_frame_samples(tb, budget));
      mw_mix(ste, buf.data(), ste->memory, budget, static_cast<int>(buf.size()));
    }
    base += budget;
    previous = budget;
  }
};

class Mfp : public ::testing::Test {
 protected:
  void SetUp() override {
    chip = Mfp68901{};
    ASSERT_EQ(mfp_init(&chip), 0);
    for (uint32_t a : {kIera, kIera + 2, kImra, kImra + 2}) wb(a, 0xFF);
  }
};

TEST_F(Mfp, RegistersAndAccessWidths) {
  wb(kBase + 0x27, 0xA5);   // a plain byte
  wb(kBase + 0x26, 0x11);   // even addresses hold no register
  wb(kBase + 0x3F, 0x15A);  // register 31; values are bytes
  EXPECT_EQ(rb(kBase + 0x26) << 16 | rb(kBase + 0x27) << 8 | rb(kBase + 0x3F), 0xA55Au);
  EXPECT_EQ(rb(kBase + 0x57), 0x40u);  // only bits 5-1 pick the register: VR
  mfp.write_w(&mfp, kBase + 0x0E, 0x1234, 0);
  EXPECT_EQ(mfp.read_w(&mfp, kBase + 0x0E, 0), 0x34u);  // the odd byte, in the low half
  wb(kTadr, 0);  // a stopped timer's data write sets its count; 0 means 256
  EXPECT_EQ(rb(kTadr), 0u);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 0), IO68_NO_INTERRUPT);
  // A long covers two registers, the second 4 cycles later: A starts at
  // cycle 0, B at cycle 4.
  wb(kTadr, 100);
  wb(kTbdr, 100);
  EXPECT_EQ(mfp.read_l(&mfp, kBase + 0x1E, 0), 0x00640064u);
  mfp.write_l(&mfp, kBase + 0x18, 0x00010001u, 0);
  Runner r;
  r.frame(1400);
  EXPECT_EQ(r.got, (Deliveries{{1303, kVecA}, {ceil_div(4 * 192 + 250000, 192), kVecB}}));
}

// ceil(a / b)
uint64_t ceil_div128(unsigned __int128 a, uint64_t b) {
  return static_cast<uint64_t>((a + b - 1) / b);
}

// Every timer, prescaler and kind of data value, started at two phases, at
// both clocks: interrupt k falls on the first cycle at or after start + k x
// data x divider MFP ticks, through frames of unequal lengths.
TEST_F(Mfp, TimersFireOnExactCyclesAcrossFrames) {
  const uint32_t timers[4][4] = {{kTacr, 0, kTadr, kVecA},
                                 {kTbcr, 0, kTbdr, kVecB},
                                 {kTcdcr, 4, kTcdr, kVecC},
                                 {kTcdcr, 0, kTddr, kVecD}};
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    const Timebase tb = {*clocks, 44100, 0};
    for (const auto &tm : timers) {
      const uint32_t control = tm[0], shift = tm[1], data_reg = tm[2], vector = tm[3];
      for (uint32_t sel = 1; sel <= 7; ++sel) {
        for (uint32_t data : {1u, 77u, 255u, 0u}) {
          for (uint64_t start : {0u, 777u}) {
            SCOPED_TRACE(::testing::Message() << clocks->cpu_hz << " " << vector << " sel " << sel
                                              << " data " << data << " start " << start);
            SetUp();
            mfp_set_timebase(&chip, &tb);
            wb(data_reg, data);
            Runner r;
            for (uint32_t budget : {160256u, 100000u, 33333u, 160256u})
              r.frame(budget, [&] {
                if (r.base == 0) wb(control, sel << shift, static_cast<uint32_t>(start));
              });
            const uint64_t ticks = (data == 0 ? 256 : data) * kDivider[sel];
            Deliveries want;
            for (uint64_t k = 1;; ++k) {
              const uint64_t at =
                  ceil_div128(static_cast<unsigned __int128>(start) * clocks->mfp_hz +
                                  k * ticks * clocks->cpu_hz,
                              clocks->mfp_hz);
              if (at >= r.base) break;
              want.push_back({at, vector});
            }
            ASSERT_FALSE(want.empty());
            ASSERT_EQ(r.got.size(), want.size());
            for (size_t k = 0; k < want.size(); ++k) ASSERT_EQ(r.got[k], want[k]) << k;
          }
        }
      }
    }
  }
}

// Over 60 s of frames that start at floor(k x cpu_hz / rate) (1 Hz frames
// of 8 million cycles among them), at both clocks, four timers at once
// keep their exact rates: every interrupt on its exact cycle.
TEST_F(Mfp, TimerRatesHoldOverAMinute) {
  const uint32_t setup[4][4] = {{kTadr, 246, kTacr, 5},  // 156.1 Hz
                                {kTbdr, 100, kTbcr, 4},  // 491.5 Hz
                                {kTcdr, 96, kTcdcr, 0x50},
                                {kTddr, 30, kTcdcr, 0x57}};  // C 400 Hz, D 409.6 Hz
  const uint64_t ticks[4] = {246 * 64, 100 * 50, 96 * 64, 30 * 200};
  const uint32_t vectors[4] = {kVecA, kVecB, kVecC, kVecD};
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    const Timebase tb = {*clocks, 44100, 0};
    for (uint32_t rate : {1u, 50u, 60u, 200u}) {
      SCOPED_TRACE(::testing::Message() << clocks->cpu_hz << " " << rate << " Hz frames");
      SetUp();
      mfp_set_timebase(&chip, &tb);
      Runner r;
      for (uint64_t k = 0; r.base < 60ull * clocks->cpu_hz; ++k) {
        const uint64_t next = (k + 1) * clocks->cpu_hz / rate;
        r.frame(static_cast<uint32_t>(next - r.base), [&] {
          if (k == 0)
            for (const auto &t : setup) wb(t[0], t[1]), wb(t[2], t[3]);
        });
      }
      // In time order (in MFP ticks); on a tie the later timer first.
      std::vector<std::tuple<uint64_t, uint32_t, uint64_t>> due;
      for (int t = 0; t < 4; ++t) {
        for (uint64_t j = 1;; ++j) {
          const uint64_t at = ceil_div128(
              static_cast<unsigned __int128>(j) * ticks[t] * clocks->cpu_hz, clocks->mfp_hz);
          if (at >= r.base) break;
          due.emplace_back(j * ticks[t], vectors[t], at);
        }
      }
      std::sort(due.begin(), due.end());
      Deliveries want;
      for (const auto &[tick, vector, at] : due) want.push_back({at, vector});
      ASSERT_EQ(r.got.size(), want.size());
      for (size_t k = 0; k < want.size(); ++k) ASSERT_EQ(r.got[k], want[k]) << k;
    }
  }
}

// All four due at once through different prescalers (10 x 10 ticks against
// 25 x 4): the later timer goes first.
TEST_F(Mfp, LaterTimerWinsATie) {
  for (uint32_t a : {kTadr, kTbdr, kTcdr}) wb(a, 10);
  wb(kTddr, 25);
  wb(kTacr, 2);
  wb(kTbcr, 2);
  wb(kTcdcr, 0x21);
  Runner r;
  r.frame(400);
  EXPECT_EQ(r.got, (Deliveries{{326, kVecD}, {326, kVecC}, {326, kVecB}, {326, kVecA}}));
}

// The count read at any moment is reload - (ticks mod reload), ticks =
// floor(elapsed x 192 / width), across frames.
TEST_F(Mfp, CounterReadBack) {
  for (const auto &c : {std::pair{1u, 100u}, {3u, 7u}, {7u, 0u}, {5u, 1u}}) {
    const uint32_t sel = c.first, data = c.second;
    SetUp();
    wb(kTadr, data);
    const uint64_t reload = data == 0 ? 256 : data, width = kDivider[sel] * 625;
    Runner r;
    for (uint32_t f = 0, seed = 1; f < 5; ++f) {
      r.frame(50000 + 7919 * f, [&, f] {
        if (f == 0) wb(kTacr, sel, 5);
        for (uint32_t cyc = 5; cyc < 50000; cyc += (seed = seed * 1103515245u + 12345u) >> 20) {
          const uint64_t ticks = (r.base + cyc - 5) * 192 / width;
          ASSERT_EQ(rb(kTadr, cyc), (reload - ticks % reload) & 0xFF)
              << sel << ":" << f << ":" << cyc;
        }
      });
    }
  }
}

TEST_F(Mfp, ReprogrammingControlAndData) {
  wb(kTadr, 100);
  wb(kTacr, 1, 0);
  EXPECT_EQ(rb(kTadr, 500), 62u);  // 500 cycles = 96000 units = 38 counts + 1000
  wb(kTacr, 1, 500);               // the same selector changes nothing
  wb(kTacr, 9, 500);               // pulse width mode counts time as selector 1
  EXPECT_EQ(mfp.next_interrupt(&mfp, 500), 1303 - 500);
  wb(kTacr, 2, 500);  // another selector restarts the count phase
  EXPECT_EQ(mfp.next_interrupt(&mfp, 500),
            static_cast<int32_t>(ceil_div(96000 + 62 * 6250, 192) - 500));
  EXPECT_EQ(rb(kTadr, 532) << 8 | rb(kTadr, 533), 62u << 8 | 61u);  // 6250 units a count
  wb(kTacr, 8, 600);  // event count, with no input: the count freezes; time again
                      // goes on from there
  EXPECT_EQ(mfp.next_interrupt(&mfp, 600), IO68_NO_INTERRUPT);
  const uint32_t frozen = rb(kTadr, 600);
  EXPECT_EQ(rb(kTadr, 90000), frozen);
  wb(kTacr, 1, 1000);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 1000),
            static_cast<int32_t>(ceil_div(1000 * 192 + frozen * 2500, 192) - 1000));
  SetUp();  // a data write while running takes effect at the next wrap
  wb(kTadr, 100);
  Runner r;
  r.frame(3000, [] {
    wb(kTacr, 1, 0);
    wb(kTadr, 50, 10);
    EXPECT_EQ(rb(kTadr, 300), 77u);
  });
  EXPECT_EQ(r.got, (Deliveries{{1303, kVecA}, {1954, kVecA}, {2605, kVecA}}));
}

// A timer blocked in IMR or IER still moves on; VR's high nibble is the
// vector base; of the interrupts not collected in time (a handler before
// them ran long, or the CPU's mask was up for many frames) one is held,
// and the timer keeps its phase.
TEST_F(Mfp, MaskEnableVectorBaseAndUncollected) {
  wb(kImra, 0x00);
  wb(kTadr, 100);
  wb(kTacr, 1);
  EXPECT_EQ(mfp.interrupt(&mfp, 1302), nullptr);  // too early: nothing moves
  EXPECT_EQ(mfp.interrupt(&mfp, 1303), nullptr);  // masked
  EXPECT_EQ(mfp.next_interrupt(&mfp, 1303), static_cast<int32_t>(ceil_div(500000, 192) - 1303));
  wb(kImra, 0x20);
  wb(kIera, 0x00);
  EXPECT_EQ(mfp.interrupt(&mfp, 2605), nullptr);  // disabled
  wb(kIera, 0x20);
  wb(kVr, 0x5F);
  ASSERT_NE(mfp.interrupt(&mfp, 3907), nullptr);
  EXPECT_EQ(mfp.interrupt(&mfp, 5209)->vector, (0x50u + 13) * 4);
  // Underflows while one is pending make no more: three due by 9500, one taken.
  ASSERT_NE(mfp.interrupt(&mfp, 9500), nullptr);
  EXPECT_EQ(mfp.interrupt(&mfp, 9500), nullptr);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 9500), static_cast<int32_t>(ceil_div(2000000, 192) - 9500));
  for (int f = 0; f < 1000; ++f) mfp.adjust_cycles(&mfp, 160256);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 0), 0);
  ASSERT_NE(mfp.interrupt(&mfp, 0), nullptr);
  // 250000 units a period since cycle 0; the first after 1000 frames.
  const uint64_t base = 1000ull * 160256 * 192, next = (base / 250000 + 1) * 250000;
  EXPECT_EQ(mfp.next_interrupt(&mfp, 0), static_cast<int32_t>(ceil_div(next - base, 192)));
  // Masked in IMR but enabled, underflows leave one interrupt pending (IPRA
  // bit 5), taken once as soon as it is unmasked; writing 0 to the bit
  // clears it.
  wb(kImra, 0x00);
  const uint32_t n = static_cast<uint32_t>(mfp.next_interrupt(&mfp, 0));
  EXPECT_EQ(mfp.interrupt(&mfp, n), nullptr);
  EXPECT_EQ(mfp.interrupt(&mfp, n + 3000), nullptr);
  EXPECT_EQ(rb(kBase + 0x0B), 0x20u);
  wb(kImra, 0x20);
  EXPECT_EQ(mfp.next_interrupt(&mfp, n + 3000), 0);
  ASSERT_NE(mfp.interrupt(&mfp, n + 3000), nullptr);
  EXPECT_EQ(mfp.interrupt(&mfp, n + 3000), nullptr);
  EXPECT_EQ(rb(kBase + 0x0B), 0u);
  wb(kImra, 0x00);
  EXPECT_EQ(mfp.interrupt(&mfp, n + 4000), nullptr);
  wb(kBase + 0x0B, 0xDF);
  EXPECT_EQ(rb(kBase + 0x0B), 0u);
  wb(kImra, 0x20);
  EXPECT_GT(mfp.next_interrupt(&mfp, n + 4000), 0);
}

// The STE's DMA sound wired to the MFP, both on one time base, as the
// player sets them up for a track with YM and STE hardware.
class SoundActive : public Mfp {
 protected:
  void SetUp() override {
    Mfp::SetUp();
    dma = SteMicroWire{};
    ASSERT_EQ(mw_init(&dma), 0);
    mw_attach(&dma, &tb, mem.data());
    mfp_set_timebase(&chip, &tb);
    mfp_wire_sound_active(&chip, mw_sound_active_wire(&dma));
    r = Runner{};
    r.ste = &dma;
    r.tb = &tb;
  }
  void db(uint32_t offset, uint32_t v, uint32_t c) { dma.io.write_b(&dma.io, kDma + offset, v, c); }
  // A mono frame at 12516.5 Hz of `bytes` bytes from 0x10000; control
  // written unless 0.
  void play(uint32_t bytes, uint32_t control, uint32_t c) {
    const uint32_t end = 0x10000 + bytes;
    for (uint32_t i = 0; i < 3; ++i) {
      db(0x03 + 2 * i, 0x10000 >> (16 - 8 * i), c);
      db(0x0F + 2 * i, end >> (16 - 8 * i), c);
    }
    db(0x21, 0x81, c);
    if (control) db(0x01, control, c);
  }
  // The first cycle at or after `from` + the time `bytes` take at 12516.5
  // bytes a second (50066 / 4 Hz, cycles = bytes x 4 x 8 MHz / 50066).
  static uint64_t after(uint64_t from, uint64_t bytes) {
    return (from * 50066 + bytes * 4 * 8000000 + 50065) / 50066;
  }

  static constexpr uint32_t kDma = 0xFFFF8900u, kAer = kBase + 0x03, kGpip = kBase + 0x01;
  static constexpr uint32_t kVec7 = 0x4F * 4;  // GPIP 7: channel 15
  Timebase tb = {kClocksNominal, 44100, 0};
  std::vector<uint8_t> mem = std::vector<uint8_t>(MW_MEMORY_SIZE);
  SteMicroWire dma{};
  Runner r;
};

// In loop mode the line drops and rises again at each frame end: GPIP 7
// interrupts there on either edge; timer A in event count mode counts the
// ends (3 to an interrupt, after GPIP 7's at the same cycle). With the
// rising edges selected, play starting counts too. Frame registers the
// handler writes at the sixth end take effect at the seventh.
TEST_F(SoundActive, FrameEndsInLoopMode) {
  for (uint32_t aer : {0x80u, 0x10u}) {
    SCOPED_TRACE(aer);
    SetUp();
    wb(kAer, aer);
    wb(kTadr, 3);
    wb(kTacr, 8);
    const uint64_t start = 160256;
    std::vector<uint64_t> ends;
    for (uint64_t k = 1, bytes = 0; k <= 12; ++k)
      ends.push_back(after(start, bytes += k <= 7 ? 1000 : 1500));
    r.handler = [&](uint32_t vector, uint32_t t) {
      if (vector == kVec7 && r.base + t == ends[5]) play(1500, 0, t);
    };
    r.frame(160256);
    r.frame(160256, [&] { play(1000, 3, 0); });
    while (r.base < ends.back() + 1000) r.frame(160256);
    Deliveries want;
    const bool rising = aer == 0x10;
    if (rising) want.push_back({start, kVec7});
    for (size_t k = 1; k <= ends.size(); ++k) {
      want.push_back({ends[k - 1], kVec7});
      if ((k + rising) % 3 == 0) want.push_back({ends[k - 1], kVecA});
    }
    EXPECT_EQ(std::vector(r.got.begin(), r.got.begin() + std::min(r.got.size(), want.size())),
              want);
  }
}

// Without loop the line stays low after a frame end (GPIP 7 reads 1) until
// the program starts the next frame: a GPIP 7 handler (rising edges) that
// starts the next sample at each end plays a sequence back to back; timer A
// counts the ends, two to an interrupt. Timer B's input stays idle.
TEST_F(SoundActive, SamplesSequencedFromFrameEnds) {
  const uint32_t lengths[] = {300, 700, 500, 900, 100, 400};
  wb(kAer, 0x80);
  wb(kTadr, 2);
  wb(kTacr, 8);
  wb(kTbdr, 1);
  wb(kTbcr, 8);
  size_t next = 1;
  r.handler = [&](uint32_t vector, uint32_t t) {
    if (vector != kVec7 || next == std::size(lengths)) return;
    EXPECT_EQ(rb(kGpip, t) & 0x80, 0x80u);
    play(lengths[next++], 1, t);
    EXPECT_EQ(rb(kGpip, t) & 0x80, 0u);
  };
  EXPECT_EQ(rb(kGpip) & 0x80, 0x80u);
  r.frame(160256, [&] { play(lengths[0], 1, 0); });
  for (int f = 0; f < 20; ++f) r.frame(160256);
  Deliveries want;
  uint64_t at = 0;
  for (size_t k = 0; k < std::size(lengths); ++k) {
    at = after(at, lengths[k]);
    want.push_back({at, kVec7});
    if (k % 2 == 1) want.push_back({at, kVecA});
  }
  EXPECT_EQ(r.got, want);
  EXPECT_EQ(dma.io.read_b(&dma.io, kDma + 1, 0), 0u);
}

}  // namespace
