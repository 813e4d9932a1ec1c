// MFP 68901 timers driven through the plug-in record alone, with a small
// stand-in for the CPU's frame runner (next interrupt / interrupt / adjust).

#include "chips/mfp68901.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFFFFFA00u;
constexpr uint32_t kIera = kBase + 0x07, kIerb = kBase + 0x09;
constexpr uint32_t kImra = kBase + 0x13, kImrb = kBase + 0x15, kVr = kBase + 0x17;
constexpr uint32_t kTacr = kBase + 0x19, kTbcr = kBase + 0x1B, kTcdcr = kBase + 0x1D;
constexpr uint32_t kTadr = kBase + 0x1F, kTbdr = kBase + 0x21, kTcdr = kBase + 0x23,
                   kTddr = kBase + 0x25;

// The chip's prescaler dividers for selectors 1-7, in MFP ticks. A tick is
// 8 MHz / 2.4576 MHz = 625/192 68000 cycles.
constexpr uint32_t kDivider[8] = {0, 4, 10, 16, 50, 64, 100, 200};

// Vector addresses with the reset vector base 0x40: timer A is vector 0x4D,
// B 0x48, C 0x45, D 0x44.
constexpr uint32_t kVecA = 0x4D * 4, kVecB = 0x48 * 4, kVecC = 0x45 * 4, kVecD = 0x44 * 4;

IoPlugin68 &mfp = mfp_io_plugin;

void wb(uint32_t a, uint32_t v, uint32_t c = 0) { mfp.write_b(a, v, c); }
uint32_t rb(uint32_t a, uint32_t c = 0) { return mfp.read_b(a, c); }
uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

void reset_all_enabled() {
  mfp_reset();
  for (uint32_t a : {kIera, kIerb, kImra, kImrb}) wb(a, 0xFF);
}

struct Delivery {
  uint64_t cycle;  // cycles since the start of the first frame
  uint32_t vector;
  bool operator==(const Delivery &) const = default;
};

// Runs frames as the CPU does: adjust with the previous frame's length,
// `at_start` (the replay routine, at cycle 0), then every interrupt before
// the frame's budget. `on_irq` runs as the handler would, at its cycle.
struct Runner {
  uint64_t base = 0;
  uint32_t previous = 0;
  std::vector<Delivery> got;

  void frame(uint32_t budget, const std::function<void()> &at_start = {},
             const std::function<void(uint32_t)> &on_irq = {}) {
    mfp.adjust_cycles(previous);
    if (at_start) at_start();
    uint32_t t = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
      int32_t n = mfp.next_interrupt(t);
      if (n == IO68_NO_INTERRUPT) break;
      n = std::max(n, 0);
      if (uint64_t{t} + static_cast<uint32_t>(n) >= budget) break;
      t += static_cast<uint32_t>(n);
      if (const Interrupt68 *irq = mfp.interrupt(t)) {
        EXPECT_EQ(irq->level, 6u);
        got.push_back({base + t, irq->vector});
        if (on_irq) on_irq(t);
      }
    }
    base += budget;
    previous = budget;
  }
};

class Mfp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mfp_init(), 0);
    reset_all_enabled();
  }
};

TEST_F(Mfp, RecordAndResetState) {
  EXPECT_STREQ(mfp.name, "MFP-68901");
  EXPECT_EQ(mfp.addr_lo, 0xFFFFFA00u);
  EXPECT_EQ(mfp.addr_hi, 0xFFFFFA2Fu);
  wb(kVr, 0x55);
  wb(kTadr, 7);
  wb(kTacr, 1);
  ASSERT_EQ(mfp.reset(), 0);
  EXPECT_EQ(rb(kVr), 0x40u);
  EXPECT_EQ(rb(kBase + 0x01), 0x80u);  // GPIP
  EXPECT_EQ(rb(kIera), 0u);
  EXPECT_EQ(rb(kTacr), 0u);
  for (uint32_t a : {kTadr, kTbdr, kTcdr, kTddr}) EXPECT_EQ(rb(a), 0u) << a;  // count 256
  EXPECT_EQ(mfp.next_interrupt(0), IO68_NO_INTERRUPT);
  EXPECT_EQ(mfp.interrupt(1000000), nullptr);
  // A data write to a stopped timer sets its count and starts nothing.
  wb(kTadr, 0);
  EXPECT_EQ(mfp_timer(MFP_TIMER_A)->count, 256);
  wb(kTddr, 200);
  EXPECT_EQ(rb(kTddr), 200u);
  EXPECT_EQ(mfp.next_interrupt(0), IO68_NO_INTERRUPT);
}

TEST_F(Mfp, RegisterFileAndAccessWidths) {
  wb(kBase + 0x27, 0xA5);  // SCR, a plain byte
  wb(kBase + 0x26, 0x11);  // even: ignored
  EXPECT_EQ(rb(kBase + 0x26), 0u);
  EXPECT_EQ(rb(kBase + 0x27), 0xA5u);
  wb(kBase + 0x3F, 0x5A);  // register 31: a plain byte too
  EXPECT_EQ(rb(kBase + 0x3F), 0x5Au);
  // Only bits 5-1 of the address choose the register.
  EXPECT_EQ(rb(0x00FFFA17u), 0x40u);
  EXPECT_EQ(rb(kBase + 0x57), 0x40u);
  // Word access: the odd byte in the low half; values truncated to a byte.
  mfp.write_w(kBase + 0x0A, 0x1234, 0);  // IPRA
  EXPECT_EQ(rb(kBase + 0x0B), 0x34u);
  EXPECT_EQ(mfp.read_w(kBase + 0x0A, 0), 0x34u);
  wb(kBase + 0x2F, 0x1FF);
  EXPECT_EQ(rb(kBase + 0x2F), 0xFFu);
  // Long accesses cover two registers: a long write to 0x18 starts A at
  // cycle 0 and B four cycles later.
  wb(kTadr, 100);
  wb(kTbdr, 100);
  EXPECT_EQ(mfp.read_l(kBase + 0x1E, 0), 0x00640064u);
  mfp.write_l(kBase + 0x18, 0x00010001u, 0);
  EXPECT_EQ(rb(kTacr), 1u);
  EXPECT_EQ(rb(kTbcr), 1u);
  Runner r;
  r.frame(1400);
  // 100 counts of 4 ticks = 250000 units, rounded up to a cycle.
  const std::vector<Delivery> want = {{1303, kVecA}, {ceil_div(4 * 192 + 250000, 192), kVecB}};
  EXPECT_EQ(r.got, want);
}

// Every timer, prescaler and data value class, started at two phases:
// interrupts must fall on ceil((start x 192 + k x data x divider x 625) / 192)
// in absolute cycles, through frames of unequal lengths and their adjusts.
TEST_F(Mfp, TimersFireOnExactCyclesAcrossFrames) {
  struct Timer {
    uint32_t control, shift, data, vector;
  };
  const Timer timers[] = {{kTacr, 0, kTadr, kVecA},
                          {kTbcr, 0, kTbdr, kVecB},
                          {kTcdcr, 4, kTcdr, kVecC},
                          {kTcdcr, 0, kTddr, kVecD}};
  const uint32_t budgets[] = {160256, 100000, 33333, 160256};
  for (const Timer &tm : timers) {
    for (uint32_t sel = 1; sel <= 7; ++sel) {
      for (uint32_t data : {1u, 77u, 255u, 0u}) {
        for (uint32_t start : {0u, 777u}) {
          SCOPED_TRACE(::testing::Message() << "vector " << tm.vector / 4 << " sel " << sel
                                            << " data " << data << " start " << start);
          reset_all_enabled();
          wb(tm.data, data);
          Runner r;
          uint64_t total = 0;
          for (size_t f = 0; f < std::size(budgets); ++f) {
            r.frame(budgets[f], [&] {
              if (f == 0) wb(tm.control, sel << tm.shift, start);
            });
            total += budgets[f];
          }
          const uint64_t period = uint64_t{data == 0 ? 256 : data} * kDivider[sel] * 625;
          std::vector<Delivery> want;
          for (uint64_t k = 1;; ++k) {
            const uint64_t c = ceil_div(uint64_t{start} * 192 + k * period, 192);
            if (c >= total) break;
            want.push_back({c, tm.vector});
          }
          ASSERT_FALSE(want.empty());
          ASSERT_EQ(r.got.size(), want.size());
          ASSERT_EQ(r.got, want);
        }
      }
    }
  }
}

// Two timers with different periods interleave on their own exact cycles;
// on equal times the later timer (D before A) goes first.
TEST_F(Mfp, TwoTimersInterleave) {
  wb(kTadr, 100);  // A: 100 x 4 ticks = 250000 units
  wb(kTddr, 7);    // D: 7 x 200 ticks = 875000 units
  Runner r;
  r.frame(160256, [] {
    wb(kTacr, 1);
    wb(kTcdcr, 0x07);
  });
  r.frame(160256);
  struct Due {
    uint64_t time;
    uint32_t vector;
  };
  std::vector<Due> due;
  for (uint64_t k = 1; k * 250000 < 2 * 160256 * 192; ++k) due.push_back({k * 250000, kVecA});
  for (uint64_t k = 1; k * 875000 < 2 * 160256 * 192; ++k) due.push_back({k * 875000, kVecD});
  std::stable_sort(due.begin(), due.end(), [](const Due &a, const Due &b) {
    return a.time < b.time || (a.time == b.time && a.vector == kVecD && b.vector == kVecA);
  });
  std::vector<Delivery> want;
  for (const Due &d : due) want.push_back({ceil_div(d.time, 192), d.vector});
  EXPECT_EQ(r.got, want);
}

// All four due at the same time through different prescalers (10 x 10
// ticks against 25 x 4): delivered D, C, B, A.
TEST_F(Mfp, LaterTimerWinsATie) {
  wb(kTadr, 10);
  wb(kTbdr, 10);
  wb(kTcdr, 10);
  wb(kTddr, 25);
  wb(kTacr, 2);
  wb(kTbcr, 2);
  wb(kTcdcr, 0x21);
  EXPECT_EQ(mfp.next_interrupt(0), 326);  // 62500 / 192 = 325.5
  EXPECT_EQ(mfp.interrupt(326)->vector, kVecD);
  EXPECT_EQ(mfp.next_interrupt(326), 0);
  Runner r;
  r.frame(400);
  const std::vector<Delivery> want = {{326, kVecC}, {326, kVecB}, {326, kVecA}};
  EXPECT_EQ(r.got, want);
}

// The count read back at any moment: reload - (ticks since start mod
// reload), ticks = floor(elapsed x 192 / width), across adjusts.
TEST_F(Mfp, CounterReadBackMidCount) {
  struct Case {
    uint32_t sel, data;
  };
  for (const Case c : {Case{1, 100}, Case{3, 7}, Case{7, 0}, Case{5, 1}}) {
    SCOPED_TRACE(::testing::Message() << "sel " << c.sel << " data " << c.data);
    mfp_reset();
    wb(kTadr, c.data);
    const uint64_t reload = c.data == 0 ? 256 : c.data;
    const uint64_t width = kDivider[c.sel] * 625;
    const uint32_t start = 5;
    Runner r;
    uint32_t seed = 12345;
    for (int f = 0; f < 5; ++f) {
      const uint32_t budget = 50000 + 7919 * static_cast<uint32_t>(f);
      r.frame(budget, [&] {
        if (f == 0) wb(kTacr, c.sel, start);
        // Reads at increasing cycles, as an interrupt routine makes them.
        for (uint32_t cyc = f == 0 ? start : 0;;) {
          seed = seed * 1103515245u + 12345u;
          cyc += (seed >> 16) % 3000;
          if (cyc >= budget) break;
          const uint64_t ticks = (r.base + cyc - start) * 192 / width;
          ASSERT_EQ(rb(kTadr, cyc), (reload - ticks % reload) & 0xFF) << f << ":" << cyc;
        }
      });
    }
  }
}

TEST_F(Mfp, CountAtEachInterruptIsTheReload) {
  wb(kTbdr, 37);
  Runner r;
  int checked = 0;
  r.frame(
      160256, [] { wb(kTbcr, 3); },
      [&](uint32_t t) {
        EXPECT_EQ(rb(kTbdr, t - 1), 1u);  // the cycle before: the last count
        EXPECT_EQ(rb(kTbdr, t), 37u);
        ++checked;
      });
  EXPECT_EQ(checked, 83);  // 37 x 16 ticks = 370000 units
}

TEST_F(Mfp, ReprogrammingControl) {
  wb(kTadr, 100);
  wb(kTacr, 1, 0);
  // 500 cycles = 96000 units = 38 counts + 1000 units.
  EXPECT_EQ(rb(kTadr, 500), 62u);
  wb(kTacr, 1, 500);  // same selector: nothing changes
  EXPECT_EQ(mfp.next_interrupt(500), 1303 - 500);
  wb(kTacr, 9, 500);  // bit 3 ignored: still selector 1
  EXPECT_EQ(mfp.next_interrupt(500), 1303 - 500);
  // Selector 2: restarts the count phase at the current count 62.
  wb(kTacr, 2, 500);
  EXPECT_EQ(mfp.next_interrupt(500), static_cast<int32_t>(ceil_div(96000 + 62 * 6250, 192) - 500));
  EXPECT_EQ(rb(kTadr, 500 + 32), 62u);  // 6144 units < 6250
  EXPECT_EQ(rb(kTadr, 500 + 33), 61u);  // 6336 units
  // Control 8 stops it: the count freezes and no interrupt is pending.
  wb(kTacr, 8, 600);
  EXPECT_EQ(mfp.next_interrupt(600), IO68_NO_INTERRUPT);
  const uint32_t frozen = rb(kTadr, 600);
  EXPECT_EQ(rb(kTadr, 90000), frozen);
  EXPECT_EQ(rb(kTacr), 8u);
  // Restart: the count goes on from where it stopped, phase cleared.
  wb(kTacr, 1, 1000);
  EXPECT_EQ(mfp.next_interrupt(1000),
            static_cast<int32_t>(ceil_div(1000 * 192 + frozen * 2500, 192) - 1000));
  // A prescaler change while running: the following periods use it whole.
  wb(kTacr, 7, 1100);
  const uint32_t due = 1100 + static_cast<uint32_t>(mfp.next_interrupt(1100));
  ASSERT_NE(mfp.interrupt(due), nullptr);
  EXPECT_NEAR(mfp.next_interrupt(due), 100 * 200 * 625 / 192.0, 1.0);
}

TEST_F(Mfp, DataWriteWhileRunningTakesEffectAtTheNextWrap) {
  wb(kTadr, 100);
  Runner r;
  r.frame(3000, [] {
    wb(kTacr, 1, 0);
    wb(kTadr, 50, 10);
    EXPECT_EQ(rb(kTadr, 300), 77u);  // untouched: 300 cycles = 23 counts
  });
  // The first interval keeps 100 counts, the next ones have 50.
  const std::vector<Delivery> want = {
      {1303, kVecA}, {ceil_div(375000, 192), kVecA}, {ceil_div(500000, 192), kVecA}};
  EXPECT_EQ(r.got, want);
}

TEST_F(Mfp, MaskedTimerStillMovesOn) {
  wb(kImra, 0x00);
  wb(kTadr, 100);
  wb(kTacr, 1);
  EXPECT_EQ(mfp.next_interrupt(0), 1303);
  EXPECT_EQ(mfp.interrupt(1302), nullptr);  // too early: nothing moves
  EXPECT_EQ(mfp.next_interrupt(1302), 1);
  EXPECT_EQ(mfp.interrupt(1303), nullptr);  // masked
  EXPECT_EQ(mfp.next_interrupt(1303), static_cast<int32_t>(ceil_div(500000, 192) - 1303));
  // Unmasked but disabled in IERA: also blocked.
  wb(kImra, 0x20);
  wb(kIera, 0x00);
  EXPECT_EQ(mfp.interrupt(2605), nullptr);
  wb(kIera, 0x20);
  const Interrupt68 *irq = mfp.interrupt(3907);
  ASSERT_NE(irq, nullptr);
  EXPECT_EQ(irq->vector, kVecA);
}

TEST_F(Mfp, VectorBaseFromVr) {
  wb(kVr, 0x5F);  // low nibble plays no part
  wb(kTcdr, 1);
  wb(kTcdcr, 0x10);
  EXPECT_EQ(mfp.interrupt(13), nullptr);  // 2500 units: cycle 14
  const Interrupt68 *irq = mfp.interrupt(14);
  ASSERT_NE(irq, nullptr);
  EXPECT_EQ(irq->vector, (0x50u + 5) * 4);
}

// Frames in which the CPU collects nothing (its mask was up): the next
// time is held at the frame start instead of drifting into the past.
TEST_F(Mfp, UnfetchedInterruptsDoNotRunAway) {
  wb(kTadr, 10);
  wb(kTacr, 1);
  for (int f = 0; f < 1000; ++f) mfp.adjust_cycles(160256);
  EXPECT_EQ(mfp.next_interrupt(0), 0);
  ASSERT_NE(mfp.interrupt(0), nullptr);
  EXPECT_EQ(mfp.next_interrupt(0), static_cast<int32_t>(ceil_div(25000, 192)));
}

}  // namespace
