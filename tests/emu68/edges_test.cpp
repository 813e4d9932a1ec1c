// Edge cases of the emulator's state, memory map, I/O bus, decoding,
// exceptions and frame runner, driven through the C interface.
#include <cstring>
#include <string>
#include <vector>

#include "emu68_fixture.h"

namespace {

std::string pop() {
  const char *m = EMU68_pop_error();
  return m ? m : "<none>";
}

using Emu68 = Emu68Test;

TEST_F(Emu68, StateAfterInit) {
  Reg68 r = regs();
  EXPECT_EQ(r.pc, 0u);
  EXPECT_EQ(r.sr, 0x2700u);
  EXPECT_EQ(r.a[7], 0x7FFFCu);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r.d[i], 0u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(r.a[i], 0u);
  for (size_t i = 0; i < memory_.size(); ++i) ASSERT_EQ(memory_[i], 0) << "byte " << i;
  EXPECT_EQ(EMU68_cycle_count(), 0u);
}

TEST_F(Emu68, ErrorStackKeepsFourNewest) {
  for (int i = 1; i <= 5; ++i) EXPECT_LT(EMU68_push_error("error %d", i), 0);
  EXPECT_EQ(pop(), "error 5");
  EXPECT_EQ(pop(), "error 4");
  EXPECT_EQ(pop(), "error 3");
  EXPECT_EQ(pop(), "error 2");
  EXPECT_EQ(EMU68_pop_error(), nullptr);
  EMU68_push_error("%s", std::string(300, 'y').c_str());
  EXPECT_EQ(pop(), std::string(127, 'y'));
}

// ---- Memory map -------------------------------------------------------------

TEST_F(Emu68, WordAtTheLastAddressReachesTheGuardByte) {
  memory_[0x7FFFF] = 0x5A;
  memory_[0] = 0x77;
  code(0x1000, {0x3039, 0x0007, 0xFFFF,            // MOVE.W $7FFFF,D0
                0x2239, 0x0007, 0xFFFD,            // MOVE.L $7FFFD,D1
                0x33FC, 0x1234, 0x0000, 0x1001});  // MOVE.W #$1234,$1001 (odd)
  set_pc_sr(0x1000, 0x2300);
  for (int i = 0; i < 3; ++i) EMU68_step_one();
  Reg68 r = regs();
  EXPECT_EQ(r.d[0] & 0xFFFF, 0x5A00u);
  EXPECT_EQ(r.d[1], 0x00005A00u);
  EXPECT_EQ(memory_[0x1001], 0x12);
  EXPECT_EQ(memory_[0x1002], 0x34);
}

struct BusLog {
  static inline std::vector<std::string> events;
  static uint32_t read_b(uint32_t a, uint32_t c) {
    events.push_back("rb " + std::to_string(a) + " @" + std::to_string(c));
    return 0x42;
  }
  static void write_b(uint32_t a, uint32_t v, uint32_t c) {
    events.push_back("wb " + std::to_string(a) + "=" + std::to_string(v) + " @" +
                     std::to_string(c));
  }
  static void write_w(uint32_t a, uint32_t v, uint32_t) {
    events.push_back("ww " + std::to_string(a) + "=" + std::to_string(v));
  }
  static inline int resets = 0;
  static int reset() { return ++resets, 0; }
};

IoPlugin68 make_chip(uint32_t lo) {
  IoPlugin68 p{};
  std::strcpy(p.name, "logger");
  p.addr_lo = lo;
  p.addr_hi = lo + 0xFF;
  p.read_b = BusLog::read_b;
  p.write_b = BusLog::write_b;
  p.write_w = BusLog::write_w;
  p.reset = BusLog::reset;
  return p;
}

TEST_F(Emu68, IoDecodingUsesBit23AndPageBits) {
  IoPlugin68 chip = make_chip(0xFFFF8800);
  EMU68_plug_io(&chip);
  BusLog::events.clear();
  // MOVE.B #7,$00FF8800 ; MOVE.B $00808801,D0 ; MOVE.B $FF8A00,D1 ; MOVE.B $880000,D2
  code(0x1000, {0x13FC, 0x0007, 0x00FF, 0x8800, 0x1039, 0x0080, 0x8801, 0x1239, 0x00FF, 0x8A00,
                0x1439, 0x0088, 0x0000});
  set_pc_sr(0x1000, 0x2300);
  EMU68_set_cycle_count(1234);
  for (int i = 0; i < 4; ++i) EMU68_step_one();
  ASSERT_EQ(BusLog::events.size(), 2u);
  EXPECT_EQ(BusLog::events[0], "wb " + std::to_string(0x00FF8800) + "=7 @1234");
  EXPECT_EQ(BusLog::events[1], "rb " + std::to_string(0x00808801) + " @1234");
  Reg68 r = regs();
  EXPECT_EQ(r.d[0] & 0xFF, 0x42u);
  EXPECT_EQ(r.d[1] & 0xFF, 0u);   // page 0x8A: nobody
  EXPECT_EQ(r.d[2] & 0xFF, 0u);   // page 0x00 of the I/O area: nobody
  EXPECT_EQ(memory_[0x8800], 0);  // I/O never reaches RAM
}

TEST_F(Emu68, PluggingTwiceAndUnpluggingStrangers) {
  IoPlugin68 chip = make_chip(0xFFFF8800);
  IoPlugin68 other = make_chip(0xFFFF8900);
  EMU68_plug_io(&chip);
  EMU68_plug_io(&chip);
  EXPECT_EQ(EMU68_unplug_io(&other), -1);
  EXPECT_EQ(EMU68_unplug_io(nullptr), 0);
  BusLog::resets = 0;
  EMU68_reset_cpu();
  EXPECT_EQ(BusLog::resets, 1);  // listed once
  EXPECT_EQ(EMU68_unplug_io(&chip), 0);
  EXPECT_EQ(EMU68_unplug_io(&chip), -1);
  // Unplugged: the page answers with the defaults again.
  BusLog::events.clear();
  code(0x1000, {0x1039, 0x00FF, 0x8800});
  set_pc_sr(0x1000, 0x2300);
  EMU68_step_one();
  EXPECT_TRUE(BusLog::events.empty());
}

TEST_F(Emu68, InstructionFetchNeverGoesToIo) {
  IoPlugin68 chip = make_chip(0xFFFF8800);
  EMU68_plug_io(&chip);
  BusLog::events.clear();
  code(0x78800, {0x7005});  // MOVEQ #5,D0 at the RAM image of $FFFF8800
  set_pc_sr(0xFFFF8800, 0x2300);
  EMU68_step_one();
  EXPECT_TRUE(BusLog::events.empty());
  EXPECT_EQ(regs().d[0], 5u);
}

// ---- Decoding and exceptions --------------------------------------------------

TEST_F(Emu68, TrapAndLineVectors) {
  const struct {
    uint16_t op;
    uint32_t vector;
  } cases[] = {{0x4E4F, 0xBC}, {0x4E40, 0x80}, {0xA000, 0x28}, {0xFFFF, 0x2C}};
  for (auto c : cases) {
    poke_l(c.vector, 0x4000 + c.vector);
    code(0x1000, {c.op});
    set_pc_sr(0x1000, 0x2300);
    EMU68_step_one();
    EXPECT_EQ(regs().pc, 0x4000 + c.vector) << std::hex << c.op;
    EXPECT_EQ(peek_l(regs().a[7] + 2), 0x1002u) << std::hex << c.op;
  }
  EXPECT_EQ(EMU68_pop_error(), nullptr);  // only illegal opcodes report
}

TEST_F(Emu68, DivisionByZeroKeepsTheDividend) {
  poke_l(0x14, 0x3000);
  code(0x1000, {0x80FC, 0x0000});  // DIVU #0,D0
  Reg68 r = regs();
  r.pc = 0x1000;
  r.sr = 0x2300;
  r.d[0] = 0x12345678;
  EMU68_load_registers(&r);
  EMU68_step_one();
  Reg68 after = regs();
  EXPECT_EQ(after.d[0], 0x12345678u);
  EXPECT_EQ(after.pc, 0x3000u);
  EXPECT_EQ(peek_l(after.a[7] + 2), 0x1004u);  // after the extension word
}

TEST_F(Emu68, DecodingSamples) {
  code(0x1000, {0x7180,            // MOVEQ with bit 8 set
                0x123C, 0xAB5A,    // MOVE.B #$5A,D1
                0x4E71,            // NOP
                0x6000, 0x0010});  // BRA.W +$10
  set_pc_sr(0x1000, 0x2300);
  EMU68_step_one();
  EXPECT_EQ(regs().d[0], 0xFFFFFF80u);
  EMU68_step_one();
  EXPECT_EQ(regs().d[1] & 0xFF, 0x5Au);
  Reg68 before = regs();
  EMU68_step_one();
  Reg68 after = regs();
  EXPECT_EQ(after.pc, before.pc + 2);
  EXPECT_EQ(after.sr, before.sr);
  EMU68_step_one();
  EXPECT_EQ(regs().pc, 0x100Au + 0x10);
}

TEST_F(Emu68, MissingEffectiveAddressReports) {
  code(0x1000, {0x4EC0});  // JMP D0
  set_pc_sr(0x1000, 0x2300);
  EMU68_step_one();
  EXPECT_EQ(regs().pc, 0xFFFFFFFFu);
  EXPECT_EQ(pop(), "get_ea(0)");
}

TEST_F(Emu68, ResetInstructionResetsPlugins) {
  IoPlugin68 chip = make_chip(0xFFFF8800);
  EMU68_plug_io(&chip);
  BusLog::resets = 0;
  code(0x1000, {0x4E70});
  Reg68 r = regs();
  r.pc = 0x1000;
  r.d[3] = 99;
  EMU68_load_registers(&r);
  EMU68_step_one();
  Reg68 after = regs();
  EXPECT_EQ(BusLog::resets, 1);
  EXPECT_EQ(after.pc, 0u);
  EXPECT_EQ(after.d[3], 0u);
  EXPECT_EQ(after.sr, 0x2700u);
  EXPECT_EQ(after.a[7], 0x7FFFCu);
}

// ---- Interrupt delivery -------------------------------------------------------

// A scripted interrupt source: next_interrupt answers come from a list, and
// every call is logged with its cycle.
struct Script {
  static inline std::vector<int32_t> next_answers;
  static inline std::vector<std::string> log;
  static inline Interrupt68 record = {0x100, 4};
  static int32_t next_interrupt(uint32_t cycle) {
    log.push_back("next@" + std::to_string(cycle));
    if (next_answers.empty()) return IO68_NO_INTERRUPT;
    int32_t v = next_answers.front();
    next_answers.erase(next_answers.begin());
    return v;
  }
  static Interrupt68 *interrupt(uint32_t cycle) {
    log.push_back("irq@" + std::to_string(cycle));
    return &record;
  }
};

class Interrupts : public Emu68Test {
 protected:
  void SetUp() override {
    Emu68Test::SetUp();
    source_.next_interrupt = Script::next_interrupt;
    source_.interrupt = Script::interrupt;
    source_.addr_lo = 0xFFFFFA00;
    EMU68_plug_io(&source_);
    EMU68_select_interrupt_source(&source_);
    Script::log.clear();
    code(0x1000, {0x4E75});  // the frame routine: RTS
    poke_l(0x100, 0x1100);
    code(0x1100, {0x5240, 0x4E73});  // handler: ADDQ.W #1,D0; RTE
    set_pc_sr(0x1000, 0x2300);
  }
  IoPlugin68 source_{};
};

TEST_F(Interrupts, ZeroDelayRepeatsTheCycleAndBudgetEndsTheFrame) {
  Script::next_answers = {100, 0, -5, 900};
  ASSERT_EQ(EMU68_run_frame(1000), 0);
  EXPECT_EQ(Script::log, (std::vector<std::string>{"next@0", "irq@100", "next@100", "irq@100",
                                                   "next@100", "irq@100", "next@100"}));
  EXPECT_EQ(regs().d[0], 3u);
  EXPECT_EQ(regs().pc, 0x1000u);
  EXPECT_EQ(regs().a[7], 0x7FFFCu);
}

TEST_F(Interrupts, HandlerSeesLevelAndSupervisorBit) {
  code(0x1100, {0x40C1, 0x4E73});  // MOVE SR,D1 ; RTE
  Script::next_answers = {50};
  set_pc_sr(0x1000, 0x0304);  // user mode, mask 3, Z set
  ASSERT_EQ(EMU68_run_frame(1000), 0);
  EXPECT_EQ(regs().d[1] & 0xFFFF, (0x0304u & 0x70FF) | ((4u + 0x20) << 8));
  EXPECT_EQ(regs().sr, 0x0304u);  // RTE brought the old SR back
  EXPECT_EQ(EMU68_cycle_count(), 1000u);
}

}  // namespace
