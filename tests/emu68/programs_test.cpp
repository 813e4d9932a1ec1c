// Small 68000 programs, assembled at build time, run through the frame
// runner; their results are checked in emulated memory.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "emu68_fixture.h"

extern "C" {
extern const unsigned char prog_loops[], prog_subroutines[], prog_movem[], prog_traps[],
    prog_interrupt[];
extern const unsigned long prog_loops_size, prog_subroutines_size, prog_movem_size, prog_traps_size,
    prog_interrupt_size;
}

namespace {

constexpr uint32_t kOrigin = 0x1000;

class Programs : public Emu68Test {
 protected:
  void load(const unsigned char *bytes, unsigned long size) {
    ASSERT_EQ(EMU68_copy_in(kOrigin, bytes, static_cast<uint32_t>(size)), 0);
    set_pc_sr(kOrigin, 0x2300);
  }
  // Runs one frame and checks that PC and A7 come back as they were.
  void run(uint32_t budget) {
    Reg68 before = regs();
    ASSERT_EQ(EMU68_run_frame(budget), 0);
    Reg68 after = regs();
    EXPECT_EQ(after.pc, before.pc);
    EXPECT_EQ(after.a[7], before.a[7]);
    EXPECT_EQ(EMU68_cycle_count(), budget);
  }
};

TEST_F(Programs, LoopsAndArithmetic) {
  load(prog_loops, prog_loops_size);
  run(0);
  EXPECT_EQ(peek_l(0x2000), 5050u);
  EXPECT_EQ(peek_l(0x2004), 832040u);
  std::array<int16_t, 16> expected = {300, -5,   7,  0x7fff, -32768, 12, 12, 0,
                                      -1,  1000, 42, -42,    3,      2,  1,  9};
  std::sort(expected.begin(), expected.end());
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(static_cast<int16_t>(peek_w(0x2008 + 2 * i)), expected[i]) << "word " << i;
  }
  EXPECT_EQ(peek_w(0x2028), 24u);
}

TEST_F(Programs, SubroutinesAndStackFrames) {
  load(prog_subroutines, prog_subroutines_size);
  run(0);
  EXPECT_EQ(peek_l(0x2000), 3628800u);
  EXPECT_EQ(peek_l(0x2004), 0x11223300u);
  EXPECT_EQ(peek_w(0x2008), 8u);
}

TEST_F(Programs, MovemSavesAndRestores) {
  load(prog_movem, prog_movem_size);
  const uint32_t stack_top = regs().a[7];
  run(0);
  for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(peek_l(0x2000 + 4 * i), i + 1) << "d" << i;
  const uint32_t a[] = {0xa0a0a0a0, 0xa1a1a1a1, 0xa2a2a2a2, 0xa3a3a3a3, 0xa4a4a4a4};
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(peek_l(0x2020 + 4 * i), a[i]) << "a" << i;
  EXPECT_EQ(peek_l(0x2034), stack_top - 4);  // a5 held the stack pointer
  EXPECT_EQ(peek_l(0x2038), 0xa6a6a6a6u);
  EXPECT_EQ(peek_l(0x2040), static_cast<uint32_t>(-60));
  EXPECT_EQ(peek_l(0x2044), 0xFFFF8000u);
  EXPECT_EQ(peek_l(0x2048), 0x00007FFFu);
  EXPECT_EQ(peek_l(0x204C), 0xFFFFFFFFu);
  EXPECT_EQ(peek_l(0x2050), 6u);
}

TEST_F(Programs, TrapsThroughTheVectorTable) {
  load(prog_traps, prog_traps_size);
  run(0);
  EXPECT_EQ(peek_l(0x2000), 0x105u);
  EXPECT_EQ(peek_w(0x2004), 0x2700u);  // S set, mask 7 inside the handler
  EXPECT_EQ(peek_w(0x2006), 1u);       // division by zero
  EXPECT_EQ(peek_w(0x2008), 2u);       // CHK below 0 and above the bound
  EXPECT_EQ(peek_w(0x200a), 1u);       // illegal
  EXPECT_EQ(peek_w(0x200c), 1u);       // line A
  EXPECT_EQ(peek_w(0x200e), 0x2345u);  // dividend kept
  EXPECT_EQ(peek_w(0x2010) & 0xFF00, 0x2300u);
  const char *message = EMU68_pop_error();
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(std::string(message).rfind("Illegal pc:", 0), 0u) << message;
}

// A chip that raises level-5 interrupts through vector 0x134 at fixed cycles
// of every frame, and answers its register with the cycle it is read at.
struct TimerChip {
  static inline std::array<uint32_t, 3> when = {1000, 5000, 9000};
  static inline size_t next = 0;
  static inline uint32_t adjusted = 0;
  static inline Interrupt68 record = {0x134, 5};

  static uint32_t read_l(uint32_t, uint32_t cycle) { return cycle; }
  static int32_t next_interrupt(uint32_t cycle) {
    if (next >= when.size()) return IO68_NO_INTERRUPT;
    return static_cast<int32_t>(when[next] - cycle);
  }
  static Interrupt68 *interrupt(uint32_t cycle) {
    if (next < when.size() && when[next] == cycle) {
      ++next;
      return &record;
    }
    return nullptr;
  }
  static void adjust(uint32_t cycles) {
    adjusted = cycles;
    next = 0;
  }
};

TEST_F(Programs, InterruptHandlerEndingInRte) {
  IoPlugin68 chip{};
  std::strcpy(chip.name, "test timer");
  chip.addr_lo = 0xFFFFFA00;
  chip.addr_hi = 0xFFFFFA3F;
  chip.read_l = TimerChip::read_l;
  chip.interrupt = TimerChip::interrupt;
  chip.next_interrupt = TimerChip::next_interrupt;
  chip.adjust_cycles = TimerChip::adjust;
  TimerChip::next = 0;
  EMU68_plug_io(&chip);
  EMU68_select_interrupt_source(&chip);

  load(prog_interrupt, prog_interrupt_size);
  run(10000);
  EXPECT_EQ(peek_w(0x2000), 3u);
  EXPECT_EQ(peek_w(0x2002) & 0xFF00, 0x2500u);  // S set, mask = level
  EXPECT_EQ(peek_l(0x2004), 1000u);
  EXPECT_EQ(peek_l(0x2008), 5000u);
  EXPECT_EQ(peek_l(0x200c), 9000u);

  // The next frame tells the chip how long the last one was, and the same
  // three interrupts come again.
  run(10000);
  EXPECT_EQ(TimerChip::adjusted, 10000u);
  EXPECT_EQ(peek_w(0x2000), 6u);

  // With the mask at 6 when the routine returns, nothing is delivered.
  set_pc_sr(kOrigin, 0x2600);
  run(10000);
  EXPECT_EQ(peek_w(0x2000), 6u);
}

}  // namespace
