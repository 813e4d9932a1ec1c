// CIA-B through its bus handlers and the interrupt-source answers the frame
// runner asks for: timer A's interrupts on the exact cycles of its E clock
// ticks over a minute of frames, and the registers a replay programs.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "chips/cia8520.h"

namespace {

constexpr uint32_t kBase = 0xFFBFD000;  // register r at + 0x100 r

class CiaChip : public ::testing::Test {
 protected:
  void SetUp() override { cia_init(&cia_, &timebase_); }
  void write(uint32_t r, uint32_t v, uint32_t cycle = 0) {
    cia_.io.write_b(&cia_.io, kBase + 0x100 * r, v, cycle);
  }
  uint32_t read(uint32_t r, uint32_t cycle = 0) {
    return cia_.io.read_b(&cia_.io, kBase + 0x100 * r, cycle);
  }
  // The frame runner's loop over one frame of `length` cycles: the cycles
  // of the interrupts the chip hands the 68000.
  std::vector<uint32_t> frame(uint32_t length) {
    std::vector<uint32_t> cycles;
    IoPlugin68 *io = &cia_.io;
    uint32_t t = 0;
    for (int32_t next = io->next_interrupt(io, t); next != IO68_NO_INTERRUPT;
         next = io->next_interrupt(io, t)) {
      t += next < 0 ? 0 : uint32_t(next);
      if (t >= length) break;
      if (io->interrupt(io, t)) cycles.push_back(t);
    }
    io->adjust_cycles(io, length);
    return cycles;
  }

  Timebase timebase_{kClocksNominal, 44100, 0};
  Cia8520 cia_{};
};

// Timer A started at cycle 1000 with a latch of 14187 ticks (a tempo of
// 125): its k-th interrupt comes at the first cycle at or after
// 1000 + k x 14187 x cpu_hz / 709379, for a minute of frames, on either
// clock setting and for frames of a 500 Hz and a 50 Hz replay.
TEST_F(CiaChip, TimerInterruptsOnItsExactCycles) {
  constexpr uint64_t kLatch = 14187, kStart = 1000;
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    for (const uint32_t frame_length : {16000u, 160256u}) {
      SCOPED_TRACE(testing::Message() << clocks->cpu_hz << " Hz, frames of " << frame_length);
      timebase_.clocks = *clocks;
      cia_reset(&cia_);
      write(4, kLatch & 0xFF);
      write(5, kLatch >> 8);
      write(13, 0x81);          // timer A interrupts
      write(14, 0x11, kStart);  // started and loaded at cycle 1000
      const uint64_t cpu = clocks->cpu_hz, e = clocks->cia_hz;
      uint64_t k = 1, frame_start = 0, wrong = 0;
      for (; frame_start < 60 * cpu; frame_start += frame_length) {
        for (const uint32_t cycle : frame(frame_length)) {
          const uint64_t exact = (kStart * e + k * kLatch * cpu + e - 1) / e;  // ceil
          wrong += frame_start + cycle != exact;
          ++k;
        }
      }
      EXPECT_EQ(wrong, 0u);
      EXPECT_EQ(k - 1, (frame_start - kStart) * e / (kLatch * cpu));  // none missing
    }
  }
}

// A latch written while the timer runs takes effect at its next underflow;
// a masked underflow raises no interrupt but is seen in the data, which a
// read of the interrupt control register returns and clears; a one-shot
// timer B started by its high byte runs once; the counters read back.
TEST_F(CiaChip, RegistersAsAReplayUsesThem) {
  const uint32_t tick = 8000000 / 709379 + 1;  // cycles an E clock tick takes, rounded up
  write(4, 100);
  write(5, 0);
  write(13, 0x81);
  write(14, 0x11);
  write(4, 200);                 // from the second underflow on
  EXPECT_EQ(read(4, 800), 30u);  // 70.9 of its 100 ticks gone
  std::vector<uint32_t> cycles = frame(500 * tick);
  ASSERT_EQ(cycles.size(), 3u);
  EXPECT_NEAR(cycles[1] - cycles[0], 200 * 8000000.0 / 709379, 1);
  EXPECT_EQ(read(13), 0x81u);  // timer A's underflow, and an interrupt
  EXPECT_EQ(read(13), 0u);     // acknowledged
  write(13, 0x01);             // masked
  EXPECT_TRUE(frame(1000 * tick).empty());
  EXPECT_EQ(read(13), 0x01u);  // underflowed, without an interrupt

  write(15, 0x08);  // timer B one-shot, stopped
  write(6, 10);
  write(7, 0);  // loads and starts it
  write(13, 0x82);
  EXPECT_EQ(read(15) & 1, 1u);
  EXPECT_EQ(frame(500 * tick).size(), 1u);  // once (timer A is masked)
  EXPECT_EQ(read(15) & 1, 0u);
  EXPECT_EQ(read(6), 10u);  // back to its latch
  EXPECT_EQ(read(13), 0x83u);
}

}  // namespace
