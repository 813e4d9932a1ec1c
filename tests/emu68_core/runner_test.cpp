// The frame runner on the production memory map: subroutine return, the
// bound on routines that never return, interrupt delivery through a fake
// interrupt source, and the block check.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "emu68/emu68.h"

namespace {

constexpr uint32_t kCode = 0x1000;
constexpr uint32_t kStack = 0x7F000;

// A fake timer: interrupts at fixed cycles, recording every call.
struct FakeSource {
  std::vector<uint32_t> at;  // cycles of the pending interrupts
  std::vector<std::string> calls;
  Interrupt68 irq{0x134, 6};
};
FakeSource *fake;

Interrupt68 *fake_interrupt(uint32_t cycle) {
  fake->calls.push_back("irq@" + std::to_string(cycle));
  for (uint32_t c : fake->at)
    if (c == cycle) return &fake->irq;
  return nullptr;
}
int32_t fake_next(uint32_t cycle) {
  fake->calls.push_back("next@" + std::to_string(cycle));
  for (uint32_t c : fake->at)
    if (c > cycle) return static_cast<int32_t>(c - cycle);
  return IO68_NO_INTERRUPT;
}
uint32_t io_writes, last_io_cycle, last_io_address, last_io_value;
void record_write(uint32_t address, uint32_t value, uint32_t cycle) {
  ++io_writes;
  last_io_address = address;
  last_io_value = value;
  last_io_cycle = cycle;
}

class RunnerTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> memory = std::vector<uint8_t>(0x80000 + 3);
  FakeSource source;
  IoPlugin68 plugin{};

  void SetUp() override {
    ASSERT_EQ(EMU68_init(memory.data(), 0x80000), 0);
    fake = &source;
    std::snprintf(plugin.name, sizeof plugin.name, "fake");
    plugin.addr_lo = 0xFFFF8800;
    plugin.addr_hi = 0xFFFF88FF;
    plugin.write_b = record_write;
    plugin.interrupt = fake_interrupt;
    plugin.next_interrupt = fake_next;
    io_writes = 0;
    while (EMU68_pop_error() != nullptr) {
    }
  }
  void TearDown() override {
    EMU68_unplug_all_io();
    EMU68_select_interrupt_source(nullptr);
    EMU68_release();
  }

  void code(uint32_t address, std::initializer_list<uint16_t> words) {
    for (uint16_t w : words) {
      memory[address++] = static_cast<uint8_t>(w >> 8);
      memory[address++] = static_cast<uint8_t>(w);
    }
  }
  Reg68 regs() {
    Reg68 r{};
    EMU68_save_registers(&r);
    return r;
  }
  void start(uint32_t pc, uint32_t sr = 0x2300) {
    Reg68 r = regs();
    r.pc = pc;
    r.sr = sr;
    r.a[7] = kStack;
    EMU68_load_registers(&r);
  }
};

TEST_F(RunnerTest, SingleRtsReturnsWithPcAndStackRestored) {
  code(kCode, {0x4E75});  // RTS
  start(kCode);
  EXPECT_EQ(EMU68_run_frame(1000), 0);
  Reg68 r = regs();
  EXPECT_EQ(r.pc, kCode);
  EXPECT_EQ(r.a[7], kStack);
  EXPECT_EQ(EMU68_cycle_count(), 1000u);
}

// Exceptions, a subroutine call and the illegal message inside one frame:
// each handler saves the PC stacked in its frame, which must be the address
// after the opcode (and after the extension word of DIVU #0).
TEST_F(RunnerTest, ExceptionsInsideAFrameStackTheRunningPc) {
  code(kCode, {0x4AFC,                     // 1000 ILLEGAL
               0x4E41,                     // 1002 TRAP #1
               0x80FC, 0x0000,             // 1004 DIVU.W #0,D0
               0x6106,                     // 1008 BSR.S 1010
               0x4E75});                   // 100A RTS
  code(0x1010, {0x7805, 0x4E75});          // MOVEQ #5,D4; RTS
  code(0x2000, {0x222F, 0x0002, 0x4E73});  // MOVE.L 2(A7),D1; RTE
  code(0x2100, {0x242F, 0x0002, 0x4E73});  // MOVE.L 2(A7),D2; RTE
  code(0x2200, {0x262F, 0x0002, 0x4E73});  // MOVE.L 2(A7),D3; RTE
  code(4 * 4, {0x0000, 0x2000});
  code(33 * 4, {0x0000, 0x2100});
  code(5 * 4, {0x0000, 0x2200});
  start(kCode);
  EXPECT_EQ(EMU68_run_frame(0), 0);
  Reg68 r = regs();
  EXPECT_EQ(r.d[1], 0x1002u);
  EXPECT_EQ(r.d[2], 0x1004u);
  EXPECT_EQ(r.d[3], 0x1008u);
  EXPECT_EQ(r.d[4], 5u);
  EXPECT_EQ(r.pc, kCode);
  EXPECT_EQ(r.a[7], kStack);
  EXPECT_STREQ(EMU68_pop_error(), "Illegal pc:001002");
  EXPECT_EQ(EMU68_pop_error(), nullptr);
}

TEST_F(RunnerTest, RoutineThatNeverReturnsIsStopped) {
  code(kCode, {0x5281, 0x60FC});  // loop: ADDQ.L #1,D1; BRA.S loop
  start(kCode);
  int result = EMU68_run_frame(500);
  EXPECT_LT(result, 0);
  Reg68 r = regs();
  EXPECT_EQ(r.pc, kCode);
  EXPECT_EQ(r.a[7], kStack);
  // Exactly the bound's worth of instructions ran: half of them ADDQ.
  EXPECT_EQ(r.d[1], EMU68_MAX_STEPS_PER_FRAME / 2);
  EXPECT_EQ(EMU68_cycle_count(), 500u);
  const char *m = EMU68_pop_error();
  ASSERT_NE(m, nullptr);
  EXPECT_NE(std::string(m).find("did not return"), std::string::npos) << m;
  // The next frame runs normally.
  code(kCode, {0x4E75});
  EXPECT_EQ(EMU68_run_frame(500), 0);
}

TEST_F(RunnerTest, InterruptsRunAtTheirCyclesWithStackedFrame) {
  // Routine: RTS. Handler at 0x2000: MOVE.B D0,$FFFF8800.w; ADDQ.B #1,D0;
  // MOVE.W SR,D2; RTE.
  code(kCode, {0x4E75});
  code(0x2000, {0x11C0, 0x8800, 0x5200, 0x40C2, 0x4E73});
  code(0x134, {0x0000, 0x2000});
  EMU68_plug_io(&plugin);
  EMU68_select_interrupt_source(&plugin);
  source.at = {100, 250};
  start(kCode);
  EXPECT_EQ(EMU68_run_frame(1000), 0);
  EXPECT_EQ(io_writes, 2u);
  EXPECT_EQ(last_io_cycle, 250u);
  EXPECT_EQ(last_io_address, 0xFFFF8800u);
  EXPECT_EQ(last_io_value, 1u);
  Reg68 r = regs();
  EXPECT_EQ(r.d[2] & 0xFFFF, 0x2600u);  // S set, mask = level 6
  EXPECT_EQ(r.pc, kCode);
  EXPECT_EQ(r.a[7], kStack);
  EXPECT_EQ(r.sr, 0x2300u);
  std::vector<std::string> want = {"next@0", "irq@100", "next@100", "irq@250", "next@250"};
  EXPECT_EQ(source.calls, want);
}

TEST_F(RunnerTest, BudgetZeroAsksOnlyNextInterrupt) {
  code(kCode, {0x4E75});
  EMU68_plug_io(&plugin);
  EMU68_select_interrupt_source(&plugin);
  source.at = {0};
  start(kCode);
  EXPECT_EQ(EMU68_run_frame(0), 0);
  std::vector<std::string> want = {"next@0"};
  EXPECT_EQ(source.calls, want);
}

TEST_F(RunnerTest, InterruptAtOrAfterBudgetIsNotAsked) {
  code(kCode, {0x4E75});
  EMU68_plug_io(&plugin);
  EMU68_select_interrupt_source(&plugin);
  source.at = {1000};
  start(kCode);
  EXPECT_EQ(EMU68_run_frame(1000), 0);
  std::vector<std::string> want = {"next@0"};
  EXPECT_EQ(source.calls, want);
}

TEST_F(RunnerTest, MaskSixWhenTheRoutineReturnsBlocksDelivery) {
  code(kCode, {0x4E75});
  EMU68_plug_io(&plugin);
  EMU68_select_interrupt_source(&plugin);
  source.at = {10};
  start(kCode, 0x2600);
  EXPECT_EQ(EMU68_run_frame(1000), 0);
  EXPECT_TRUE(source.calls.empty());
}

TEST_F(RunnerTest, NothingRunsWithoutMemory) {
  EMU68_release();
  EXPECT_LT(EMU68_run_frame(100), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_run_frame : no memory");
  EMU68_step_one();
  EXPECT_EQ(regs().pc, 0u);
}

TEST_F(RunnerTest, InitRejectsEverySizeButHalfAMegabyte) {
  std::vector<uint8_t> big(16);
  EXPECT_LT(EMU68_init(nullptr, 0x80000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_init : NULL pointer");
  EXPECT_LT(EMU68_init(big.data(), 0x10000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_init : memory amount must be >= 128Kb");
  EXPECT_LT(EMU68_init(big.data(), 0x30000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_init : memory amount must be a power of 2");
  EXPECT_LT(EMU68_init(big.data(), 0x1000000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_init : memory amount incompatible with EMU68 version");
  EXPECT_LT(EMU68_init(big.data(), 0x2000000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "EMU68_init : memory amount must be < 16mb");
  ASSERT_EQ(EMU68_init(memory.data(), 0x80000), 0);
  Reg68 r = regs();
  EXPECT_EQ(r.pc, 0u);
  EXPECT_EQ(r.sr, 0x2700u);
  EXPECT_EQ(r.a[7], 0x7FFFCu);
}

TEST_F(RunnerTest, BlockCheckKeepsCopiesInsideMemory) {
  uint8_t buffer[16] = {};
  EXPECT_EQ(EMU68_check_block(0x8000, 0x1000), 0);
  EXPECT_EQ(EMU68_check_block(0, 0x80000), 0);
  EXPECT_LT(EMU68_check_block(0x7F000, 0x1000), 0);
  EXPECT_STREQ(EMU68_pop_error(), "68K memory overflow :($7F000-$0)");
  EXPECT_LT(EMU68_check_block(0, 0x80001), 0);
  EXPECT_STREQ(EMU68_pop_error(), "Not enought 68K memory ($80001>$80000)");
  // A full-size block not starting at 0 would run past the end.
  EXPECT_LT(EMU68_check_block(0x10, 0x80000), 0);
  EXPECT_LT(EMU68_copy_in(0x90000, buffer, sizeof buffer), 0);
  EXPECT_LT(EMU68_copy_in(0x7FFF0, buffer, sizeof buffer), 0);
  buffer[0] = 0xAB;
  EXPECT_EQ(EMU68_copy_in(0x7FFE0, buffer, sizeof buffer), 0);
  EXPECT_EQ(memory[0x7FFE0], 0xAB);
}

}  // namespace
