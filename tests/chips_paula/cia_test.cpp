// CIA-B through its bus handlers and the interrupt-source answers the frame
// runner asks for: timer A's interrupts on the exact cycles of its E clock
// over a minute of frames, and the registers a replay programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "chips/cia8520.h"

namespace {

class CiaChip : public ::testing::Test {
 protected:
  void SetUp() override { cia_init(&cia_, &timebase_); }
  void write(uint32_t r, uint32_t v, uint32_t cycle = 0) {
    cia_.io.write_b(&cia_.io, 0xFFBFD000 + 0x100 * r, v, cycle);
  }
  uint32_t read(uint32_t r, uint32_t cycle = 0) {
    return cia_.io.read_b(&cia_.io, 0xFFBFD000 + 0x100 * r, cycle);
  }
  // The frame runner over a frame of `length` cycles: the cycles of the
  // interrupts the chip hands the 68000.
  std::vector<uint32_t> frame(uint32_t length) {
    std::vector<uint32_t> cycles;
    IoPlugin68 *io = &cia_.io;
    for (uint32_t t = 0; io->next_interrupt(io, t) != IO68_NO_INTERRUPT;) {
      t += uint32_t(std::max(io->next_interrupt(io, t), 0));
      if (t >= length) break;
      if (io->interrupt(io, t)) cycles.push_back(t);
    }
    io->adjust_cycles(io, length);
    return cycles;
  }

  Timebase timebase_{kClocksNominal, 44100, 0};
  Cia8520 cia_{};
};

// Timer A started at cycle 1000 with a latch of 14187 (a tempo of 125):
// its k-th interrupt comes at the first cycle at or after 1000 + k x 14187
// x cpu_hz / 709379, for a minute, at either clock, in frames of a 500 Hz
// and a 50 Hz replay.
TEST_F(CiaChip, TimerInterruptsOnItsExactCycles) {
  constexpr uint64_t kLatch = 14187, kStart = 1000;
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    for (const uint32_t length : {16000u, 160256u}) {
      SCOPED_TRACE(testing::Message() << clocks->cpu_hz << " Hz, frames of " << length);
      timebase_.clocks = *clocks;
      cia_reset(&cia_);
      write(4, kLatch & 0xFF);
      write(5, kLatch >> 8);
      write(13, 0x81);          // timer A interrupts
      write(14, 0x11, kStart);  // loaded and started
      const uint64_t cpu = clocks->cpu_hz, e = clocks->cia_hz;
      uint64_t k = 1, at = 0, wrong = 0;
      for (; at < 60 * cpu; at += length)
        for (const uint32_t cycle : frame(length))
          wrong += at + cycle != (kStart * e + k++ * kLatch * cpu + e - 1) / e;
      EXPECT_EQ(wrong, 0u);
      EXPECT_EQ(k - 1, (at - kStart) * e / (kLatch * cpu));  // none missing
    }
  }
}

// A latch written while the timer runs takes effect at its next underflow;
// a masked underflow raises no interrupt but shows in the data, which a
// read of the interrupt control register returns and clears; the counter
// of a stopped timer takes its latch when the high byte is written, and
// reads back.
TEST_F(CiaChip, RegistersAsAReplayUsesThem) {
  const uint32_t tick = 8000000 / 709379 + 1;  // cycles of an E clock tick, rounded up
  write(4, 100);
  write(5, 0);  // a stopped timer's counter takes the latch
  write(13, 0x81);
  write(14, 0x01);
  write(4, 200);                 // from the second underflow on
  EXPECT_EQ(read(4, 800), 30u);  // 70.9 of its 100 ticks gone
  const std::vector<uint32_t> cycles = frame(500 * tick);
  ASSERT_EQ(cycles.size(), 3u);
  EXPECT_NEAR(cycles[1] - cycles[0], 200 * 8000000.0 / 709379, 1);
  EXPECT_EQ(read(13), 0x81u);  // timer A's underflow, and an interrupt
  EXPECT_EQ(read(13), 0u);     // acknowledged
  write(13, 0x01);             // masked
  EXPECT_TRUE(frame(1000 * tick).empty());
  EXPECT_EQ(read(13), 0x01u);
}

}  // namespace
