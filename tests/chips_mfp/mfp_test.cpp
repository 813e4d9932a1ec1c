// MFP 68901 timers through the plug-in record, with a stand-in for the
// CPU's frame runner (adjust, then next interrupt / interrupt).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "chips/mfp68901.h"

namespace {

constexpr uint32_t kBase = 0xFFFFFA00u, kIera = kBase + 0x07, kImra = kBase + 0x13,
                   kVr = kBase + 0x17, kTacr = kBase + 0x19, kTbcr = kBase + 0x1B,
                   kTcdcr = kBase + 0x1D, kTadr = kBase + 0x1F, kTbdr = kBase + 0x21,
                   kTcdr = kBase + 0x23, kTddr = kBase + 0x25;
// The prescaler dividers of selectors 1-7 in MFP ticks; a tick is
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
// replay routine at cycle 0, then every interrupt before the budget.
struct Runner {
  uint64_t base = 0;
  uint32_t previous = 0;
  Deliveries got;

  void frame(uint32_t budget, const std::function<void()> &routine = {}) {
    mfp.adjust_cycles(&mfp, previous);
    if (routine) routine();
    for (uint32_t t = 0;;) {
      const int32_t n = mfp.next_interrupt(&mfp, t);
      if (n == IO68_NO_INTERRUPT || uint64_t{t} + std::max(n, 0) >= budget) break;
      t += static_cast<uint32_t>(std::max(n, 0));
      if (const Interrupt68 *irq = mfp.interrupt(&mfp, t)) {
        EXPECT_EQ(irq->level, 6u);
        got.push_back({base + t, irq->vector});
      }
    }
    base += budget;
    previous = budget;
  }
};

class Mfp : public ::testing::Test {
 protected:
  void SetUp() override {
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
  mfp.write_w(&mfp, kBase + 0x0A, 0x1234, 0);
  EXPECT_EQ(mfp.read_w(&mfp, kBase + 0x0A, 0), 0x34u);  // the odd byte, in the low half
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

// Every timer, prescaler and kind of data value, started at two phases:
// interrupts fall on ceil((start x 192 + k x data x divider x 625) / 192)
// in absolute cycles, through frames of unequal lengths.
TEST_F(Mfp, TimersFireOnExactCyclesAcrossFrames) {
  const uint32_t timers[4][4] = {{kTacr, 0, kTadr, kVecA},
                                 {kTbcr, 0, kTbdr, kVecB},
                                 {kTcdcr, 4, kTcdr, kVecC},
                                 {kTcdcr, 0, kTddr, kVecD}};
  for (const auto &tm : timers) {
    const uint32_t control = tm[0], shift = tm[1], data_reg = tm[2], vector = tm[3];
    for (uint32_t sel = 1; sel <= 7; ++sel) {
      for (uint32_t data : {1u, 77u, 255u, 0u}) {
        for (uint64_t start : {0u, 777u}) {
          SCOPED_TRACE(::testing::Message()
                       << vector << " sel " << sel << " data " << data << " start " << start);
          SetUp();
          wb(data_reg, data);
          Runner r;
          for (uint32_t budget : {160256u, 100000u, 33333u, 160256u})
            r.frame(budget, [&] {
              if (r.base == 0) wb(control, sel << shift, static_cast<uint32_t>(start));
            });
          const uint64_t period = (data == 0 ? 256 : data) * kDivider[sel] * 625;
          Deliveries want;
          for (uint64_t k = 1; ceil_div(start * 192 + k * period, 192) < r.base; ++k)
            want.push_back({ceil_div(start * 192 + k * period, 192), vector});
          ASSERT_FALSE(want.empty());
          ASSERT_EQ(r.got, want);
        }
      }
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
  wb(kTacr, 9, 500);               // bit 3 is not emulated: still selector 1
  EXPECT_EQ(mfp.next_interrupt(&mfp, 500), 1303 - 500);
  wb(kTacr, 2, 500);  // another selector restarts the count phase
  EXPECT_EQ(mfp.next_interrupt(&mfp, 500),
            static_cast<int32_t>(ceil_div(96000 + 62 * 6250, 192) - 500));
  EXPECT_EQ(rb(kTadr, 532) << 8 | rb(kTadr, 533), 62u << 8 | 61u);  // 6250 units a count
  wb(kTacr, 8, 600);  // stops it: the count freezes; a restart goes on from there
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
// vector base; uncollected interrupts (the CPU's mask was up) are held at
// the frame start instead of drifting into the past.
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
  for (int f = 0; f < 1000; ++f) mfp.adjust_cycles(&mfp, 160256);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 0), 0);
  ASSERT_NE(mfp.interrupt(&mfp, 0), nullptr);
  EXPECT_EQ(mfp.next_interrupt(&mfp, 0), 1303);
}

}  // namespace
