// The 68000 emulator through its C interface: initialisation and messages,
// the I/O bus, exception entry, RESET, memory accesses, and the frame
// runner delivering the interrupts of one scripted chip; and every one of
// the 65536 opcodes run once on the flat memory: exactly the encodings of
// the opcode map's holes take the illegal-instruction exception (vector 4,
// with its message).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "emu68/emu68.h"
#include "emu68/flat68.h"

namespace {

constexpr int32_t kSize = 0x80000;
constexpr uint32_t kCode = 0x1000, kStack = 0x7F000;

// A chip at $FFFFFA00 that logs its accesses and answers 0x42, and an
// interrupt source whose next-interrupt answers come from a script and
// whose interrupts (level 4, vector $100) are refused at listed cycles.
// Every handler notes the record it was handed.
struct Probe {
  static inline std::vector<std::string> log;
  static inline std::set<const IoPlugin68 *> selves;
  static inline std::vector<int32_t> answers;
  static inline std::vector<uint32_t> refused;
  static inline uint32_t adjusted = 0, resets = 0;
  static inline Interrupt68 record = {0x100, 4};
  static void event(IoPlugin68 *self, const char *format, uint32_t a, uint32_t b = 0) {
    selves.insert(self);
    char text[40];
    std::snprintf(text, sizeof text, format, a, b);
    log.push_back(text);
  }
  static IoPlugin68 plugin() {
    IoPlugin68 p{};
    p.addr_lo = 0xFFFFFA00;
    p.read_b = [](IoPlugin68 *self, uint32_t a, uint32_t c) {
      return event(self, "rb %X@%u", a, c), 0x42u;
    };
    p.write_b = [](IoPlugin68 *self, uint32_t, uint32_t v, uint32_t c) {
      event(self, "w%u@%u", v, c);
    };
    p.write_w = [](IoPlugin68 *self, uint32_t a, uint32_t v, uint32_t) {
      event(self, "ww %X=%X", a, v);
    };
    p.write_l = [](IoPlugin68 *self, uint32_t a, uint32_t v, uint32_t) {
      event(self, "wl %X=%X", a, v);
    };
    p.next_interrupt = [](IoPlugin68 *self, uint32_t c) {
      event(self, "next@%u", c);
      const int32_t v = answers.empty() ? IO68_NO_INTERRUPT : answers.front();
      if (!answers.empty()) answers.erase(answers.begin());
      return v;
    };
    p.interrupt = [](IoPlugin68 *self, uint32_t c) {
      event(self, "irq@%u", c);
      return std::count(refused.begin(), refused.end(), c) ? nullptr : &record;
    };
    p.adjust_cycles = [](IoPlugin68 *self, uint32_t cycles) {
      selves.insert(self), adjusted = cycles;
    };
    p.reset = [](IoPlugin68 *self) { return selves.insert(self), ++resets, 0; };
    return p;
  }
};

class Emu68Test : public ::testing::Test {
 protected:
  void SetUp() override {
    mem.assign(kSize + 3, 0xAA);  // init must clear the guard bytes too
    ASSERT_EQ(EMU68_init(&emu, mem.data(), kSize), 0);
    while (EMU68_pop_error(&emu)) {
    }
    Probe::log.clear();
    Probe::selves.clear();
  }
  void TearDown() override {
    EMU68_unplug_all_io(&emu);
    EMU68_select_interrupt_source(&emu, nullptr);
    EMU68_release(&emu);
  }
  uint32_t peek(uint32_t address, int bytes) const {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | mem[address + i];
    return v;
  }
  void code(uint32_t address, std::initializer_list<uint32_t> words) {
    for (uint32_t w : words)
      mem[address++] = static_cast<uint8_t>(w >> 8), mem[address++] = w & 0xFF;
  }
  std::string pop() {
    const char *m = EMU68_pop_error(&emu);
    return m ? m : "<none>";
  }
  Reg68 regs() const {
    Reg68 r{};
    EMU68_save_registers(&emu, &r);
    return r;
  }
  void start(uint32_t pc, uint32_t sr = 0x2300, uint32_t d0 = 0) {
    Reg68 r = regs();
    r.pc = pc;
    r.sr = sr;
    r.a[7] = kStack;
    r.d[0] = d0;
    EMU68_load_registers(&emu, &r);
  }
  Emu68 emu{};
  std::vector<uint8_t> mem;
  IoPlugin68 probe = Probe::plugin();
};

TEST_F(Emu68Test, InitChecksTheSizeAndResetsAndBlocksStayInside) {
  const std::pair<int32_t, const char *> refused[] = {
      {0x10000, "EMU68_init : memory amount must be >= 128Kb"},
      {0x30000, "EMU68_init : memory amount must be a power of 2"},
      {0x1000000, "EMU68_init : memory amount incompatible with EMU68 version"},
      {0x2000000, "EMU68_init : memory amount must be < 16mb"}};
  for (auto [size, message] : refused) {
    EXPECT_LT(EMU68_init(&emu, mem.data(), size), 0);
    EXPECT_EQ(pop(), message);
  }
  EXPECT_LT(EMU68_init(&emu, nullptr, kSize), 0);
  EXPECT_EQ(pop(), "EMU68_init : NULL pointer");
  std::fill(mem.begin(), mem.end(), 0xAA);
  ASSERT_EQ(EMU68_init(&emu, mem.data(), kSize), 0);
  const Reg68 r = regs();
  std::vector<uint32_t> got(r.d, r.d + 8);
  got.insert(got.end(), r.a, r.a + 8);
  EXPECT_EQ(got, (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7FFFC}));
  EXPECT_EQ(std::pair(r.pc, r.sr), std::pair(0u, 0x2700u));
  EXPECT_EQ(std::count(mem.begin(), mem.end(), 0), kSize + 3);
  for (int i = 1; i <= 5; ++i) EXPECT_LT(EMU68_push_error(&emu, "error %d", i), 0);
  for (int i = 5; i >= 2; --i) EXPECT_EQ(pop(), "error " + std::to_string(i));
  EXPECT_EQ(EMU68_pop_error(&emu), nullptr);  // the oldest went
  EMU68_push_error(&emu, "%s", std::string(300, 'y').c_str());
  EXPECT_EQ(pop(), std::string(127, 'y'));
  // Blocks and copies stay inside the memory.
  uint8_t buffer[16] = {0xAB};
  EXPECT_EQ(EMU68_check_block(&emu, 0, 0x80000), 0);
  EXPECT_LT(EMU68_check_block(&emu, 0x7F000, 0x1000), 0);  // ends at the top, not from 0
  EXPECT_EQ(pop(), "68K memory overflow :($7F000-$0)");
  EXPECT_LT(EMU68_check_block(&emu, 0, 0x80001), 0);
  EXPECT_EQ(pop(), "Not enought 68K memory ($80001>$80000)");
  EXPECT_LT(EMU68_copy_in(&emu, 0x7FFF1, buffer, sizeof buffer), 0);
  EXPECT_EQ(EMU68_copy_in(&emu, 0x7FFE0, buffer, sizeof buffer), 0);
  EXPECT_EQ(mem[0x7FFE0], 0xAB);
  EXPECT_LT(EMU68_copy_out(&emu, buffer, 0x7FFF1, sizeof buffer), 0);
}

// Bit 23 makes an address I/O, bits 15-8 pick the page; the chip sees its
// own record, the full address and the cycle. Unclaimed pages read 0; code
// is never fetched from I/O; a chip plugged twice is listed once. RESET
// resets the chips and goes on with the registers kept; a CPU reset resets
// the chips and the registers.
TEST_F(Emu68Test, IoBusAndReset) {
  IoPlugin68 stranger = Probe::plugin();
  EMU68_plug_io(&emu, &probe);
  EMU68_plug_io(&emu, &probe);
  code(kCode, {0x1039, 0x0080, 0xFA01,          // MOVE.B $80FA01,D0
               0x33FC, 0x1234, 0x00FF, 0xFA00,  // MOVE.W #$1234,$FFFA00
               0x23C0, 0x00FF, 0xFAFE,          // MOVE.L D0,$FFFAFE
               0x1239, 0x00FF, 0xFB00,          // MOVE.B $FFFB00,D1 (no chip)
               0x1439, 0x0088, 0x0000,          // MOVE.B $880000,D2 (page 0)
               0x7663, 0x4E70});                // MOVEQ #99,D3; RESET
  start(kCode);
  EMU68_set_cycle_count(&emu, 1234);
  for (int i = 0; i < 5; ++i) EMU68_step_one(&emu);
  EXPECT_EQ(Probe::log,
            (std::vector<std::string>{"rb 80FA01@1234", "ww FFFA00=1234", "wl FFFAFE=42"}));
  EXPECT_EQ(regs().d[0] << 16 | regs().d[1] << 8 | regs().d[2], 0x420000u);
  EXPECT_EQ(peek(0x7FA00, 2), 0u);  // I/O never reaches RAM
  Probe::resets = 0;
  EMU68_step_one(&emu);
  EMU68_step_one(&emu);
  EXPECT_EQ(Probe::resets, 1u);
  Reg68 r = regs();
  EXPECT_EQ(std::vector<uint32_t>({r.d[0], r.d[3], r.pc, r.sr, r.a[7]}),
            std::vector<uint32_t>({0x42, 99, kCode + 36, 0x2300, kStack}));
  EMU68_reset_cpu(&emu);
  EXPECT_EQ(Probe::resets, 2u);
  r = regs();
  EXPECT_EQ(std::vector<uint32_t>({r.d[0], r.d[3], r.pc, r.sr, r.a[7]}),
            std::vector<uint32_t>({0, 0, 0, 0x2700, 0x7FFFC}));
  code(0x7FA00, {0x7005});  // MOVEQ #5,D0 in the RAM image of $FFFFFA00
  start(0xFFFFFA00);
  EMU68_step_one(&emu);
  EXPECT_EQ(regs().d[0], 5u);
  EXPECT_EQ(Probe::log.size(), 3u);
  EXPECT_EQ(EMU68_unplug_io(&emu, &stranger), -1);
  EXPECT_EQ(EMU68_unplug_io(&emu, &probe), 0);
  start(kCode, 0x2300, 0xFFFFFFFF);
  EMU68_step_one(&emu);
  EXPECT_EQ(regs().d[0], 0xFFFFFF00u);  // unplugged: the page reads 0 again
  EXPECT_EQ(Probe::selves, std::set<const IoPlugin68 *>{&probe});
}

// Exception entry: a short frame (SR, then the PC after the opcode and its
// extension words), SR with S set, mask 7, T and bit 11 cleared: TRAP #15,
// TRAP #0, line A, line F, ILLEGAL, TRAPV (V set), CHK D0,D0 (D0.W < 0),
// DIVU and DIVS #0,D0. Division by zero clears N, Z, V and C before the
// trap, keeps X, and leaves the dividend.
TEST_F(Emu68Test, ExceptionsStackAFrameAndTakeTheirVector) {
  const std::pair<std::vector<uint32_t>, uint32_t> cases[] = {
      {{0x4E4F}, 0xBC}, {{0x4E40}, 0x80},         {{0xA123}, 0x28},
      {{0xFFFF}, 0x2C}, {{0x4AFC}, 0x10},         {{0x4E76}, 0x1C},
      {{0x4180}, 0x18}, {{0x80FC, 0x0000}, 0x14}, {{0x81FC, 0x0000}, 0x14}};
  for (const auto &[op, vector] : cases) {
    code(kCode, {op[0], op.size() > 1 ? op[1] : 0});
    code(vector, {0, 0x4000 + vector});
    start(kCode, 0xDF1F, 0x8000FFFF);
    EMU68_step_one(&emu);
    const Reg68 r = regs();
    EXPECT_EQ(r.pc, 0x4000 + vector);
    EXPECT_EQ(r.a[7], kStack - 6);
    EXPECT_EQ(r.d[0], 0x8000FFFFu);
    EXPECT_EQ(peek(r.a[7] + 2, 4), kCode + 2 * op.size());
    const uint32_t stacked = peek(r.a[7], 2);
    EXPECT_EQ(stacked & 0xFFE0, 0xDF00u);
    if (vector == 0x14) {
      EXPECT_EQ(stacked & 0x1F, 0x10u) << std::hex << op[0];
    }
    EXPECT_EQ(r.sr, (stacked & 0x50FF) | 0x2700);
    EXPECT_EQ(pop(), vector == 0x10 ? "Illegal pc:001002" : "<none>");
  }
}

// RAM accesses of every size at odd addresses up to the last byte (a word
// there reads the zero guard byte behind it), and DBRA down to -1.
TEST_F(Emu68Test, OddAccessesAndLoops) {
  code(kCode, {0x207C, 0x0007, 0xFFF9,            // MOVEA.L #$7FFF9,A0
               0x20FC, 0x1122, 0x3344,            // MOVE.L #$11223344,(A0)+
               0x30FC, 0x5566, 0x10BC, 0x0077,    // MOVE.W #$5566,(A0)+; MOVE.B #$77,(A0)
               0x2228, 0xFFFB, 0x3410,            // MOVE.L -5(A0),D1; MOVE.W (A0),D2
               0x7603, 0x5283, 0x51C8, 0xFFFC});  // MOVEQ #3,D3; ADDQ.L #1,D3; DBRA D0,*-2
  start(kCode, 0x2300, 0xABCD0009);
  for (int i = 0; i < 7 + 2 * 10; ++i) EMU68_step_one(&emu);
  const Reg68 r = regs();
  EXPECT_EQ(std::vector<uint32_t>(r.d, r.d + 4),
            (std::vector<uint32_t>{0xABCDFFFF, 0x22334455, 0x7700, 13}));
  EXPECT_EQ(std::vector<uint8_t>(mem.begin() + 0x7FFF9, mem.begin() + kSize),
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
  EXPECT_EQ(r.pc, kCode + 34);
}

// The routine runs as a subroutine; then every interrupt the source reports
// before the budget is delivered at its cycle (answers of 0 or less repeat
// the cycle; a refused one is skipped), unless the mask is 6 or more when
// the routine returns. The handler (MOVE.W SR,D1; MOVE.B D0,$FFFFFA00.W;
// ADDQ.B #1,D0; RTE) sees S set, T clear and the mask at the level.
TEST_F(Emu68Test, FrameRunnerDeliversInterrupts) {
  EMU68_plug_io(&emu, &probe);
  EMU68_select_interrupt_source(&emu, &probe);
  code(kCode, {0x4E75});
  code(0x100, {0, 0x1100});
  code(0x1100, {0x40C1, 0x11C0, 0xFA00, 0x5200, 0x4E73});
  struct Case {
    std::vector<int32_t> answers;
    std::vector<uint32_t> refused;
    uint32_t budget, sr;
    std::vector<std::string> log;
  } cases[] = {
      {{100, 0, -5, 900},
       {},
       1000,
       0x8304,
       // Interrupts due at once wait for the 4 instructions (16 cycles) of
       // the handler before them.
       {"next@0", "irq@100", "w0@100", "next@100", "irq@116", "w1@116", "next@116", "irq@132",
        "w2@132", "next@132"}},
      {{10, 20, 30},
       {30},
       100,
       0x2000,
       {"next@0", "irq@10", "w0@10", "next@10", "irq@30", "next@30", "irq@60", "w1@60", "next@60"}},
      {{0}, {}, 0, 0x2300, {"next@0"}},
      {{999, 1}, {}, 1000, 0x2300, {"next@0", "irq@999", "w0@999", "next@999"}},
      {{5}, {}, 1000, 0x2600, {}},
  };
  for (const Case &c : cases) {
    Probe::answers = c.answers;
    Probe::refused = c.refused;
    Probe::log.clear();
    start(kCode, c.sr);
    ASSERT_EQ(EMU68_run_frame(&emu, c.budget), 0);
    EXPECT_EQ(Probe::log, c.log);
    const Reg68 r = regs();
    EXPECT_EQ(std::vector<uint32_t>({r.pc, r.a[7], r.sr, EMU68_cycle_count(&emu)}),
              std::vector<uint32_t>({kCode, kStack, c.sr, c.budget}));
    if (r.d[0] != 0) {
      EXPECT_EQ(r.d[1] & 0xFFFF, (c.sr & 0x70FF) | 0x2400);
    }
  }
  start(kCode);  // the next frame tells each chip how long the last one was
  ASSERT_EQ(EMU68_run_frame(&emu, 5), 0);
  EXPECT_EQ(Probe::adjusted, 1000u);
  EXPECT_EQ(Probe::selves, std::set<const IoPlugin68 *>{&probe});
  // A routine that leaves the mask raised (MOVE #$2700,SR; RTS) returns
  // with the status it was called with: the frame's interrupts come.
  code(kCode, {0x46FC, 0x2700, 0x4E75});
  Probe::answers = {10};
  Probe::log.clear();
  start(kCode, 0x2300);
  ASSERT_EQ(EMU68_run_frame(&emu, 100), 0);
  EXPECT_EQ(Probe::log, (std::vector<std::string>{"next@0", "irq@10", "w0@10", "next@10"}));
  EXPECT_EQ(regs().sr, 0x2300u);
}

// Exceptions inside a frame stack the PC of the running instruction (the
// core keeps it in a register between instructions); a routine that never
// returns is stopped at the step limit; without memory nothing runs.
TEST_F(Emu68Test, FrameRunnerEdges) {
  // ILLEGAL; TRAP #1; DIVU #0,D0; BSR.S $1010; RTS, and at $1010 MOVEQ #5,D4; RTS.
  code(kCode, {0x4AFC, 0x4E41, 0x80FC, 0x0000, 0x6106, 0x4E75, 0, 0, 0x7805, 0x4E75});
  for (uint32_t n : {1u, 2u, 3u}) {  // handlers: MOVE.L 2(A7),Dn; RTE
    const uint32_t vector = n == 1 ? 4 : n == 2 ? 33 : 5;
    code(0x2000 + 0x10 * n, {0x202F | n << 9, 2, 0x4E73});
    code(4 * vector, {0, 0x2000 + 0x10 * n});
  }
  start(kCode);
  ASSERT_EQ(EMU68_run_frame(&emu, 0), 0);
  const Reg68 r = regs();
  EXPECT_EQ(std::vector<uint32_t>(r.d + 1, r.d + 5),
            (std::vector<uint32_t>{0x1002, 0x1004, 0x1008, 5}));
  EXPECT_EQ(pop(), "Illegal pc:001002");
  code(kCode, {0x5281, 0x60FC});  // loop: ADDQ.L #1,D1; BRA.S loop
  start(kCode);
  EXPECT_LT(EMU68_run_frame(&emu, 500), 0);
  EXPECT_EQ(std::vector<uint32_t>({regs().pc, regs().a[7], regs().d[1]}),
            std::vector<uint32_t>({kCode, kStack, EMU68_MAX_STEPS_PER_FRAME / 2 + 0x1002}));
  EXPECT_NE(pop().find("did not return"), std::string::npos);
  // The instance's step limit bounds the frame; 0 restores the maximum.
  EXPECT_EQ(EMU68_set_step_limit(&emu, 1000), EMU68_MAX_STEPS_PER_FRAME);
  EXPECT_LT(EMU68_run_frame(&emu, 500), 0);
  EXPECT_EQ(regs().d[1], EMU68_MAX_STEPS_PER_FRAME / 2 + 0x1002 + 500);
  EXPECT_EQ(pop(), "the routine at $1000 did not return within 1000 instructions");
  EXPECT_EQ(EMU68_set_step_limit(&emu, 0), 1000u);
  code(kCode, {0x4E75});
  EXPECT_EQ(EMU68_run_frame(&emu, 500), 0);
  EMU68_release(&emu);
  EXPECT_LT(EMU68_run_frame(&emu, 100), 0);
  EXPECT_EQ(pop(), "no memory");
}

// The holes, written from the opcode map independently of the decoder.
bool expected_illegal(uint32_t w) {
  const uint32_t line = w >> 12, r9 = (w >> 9) & 7, row = (w >> 6) & 7, mode = (w >> 3) & 7,
                 reg = w & 7;
  switch (line) {
    case 0x0:  // immediate group (r9 = 4 holds the static bit operations)
      return row < 4 && r9 != 4 && (row == 3 || mode == 1 || r9 == 7);
    case 0x4:
      if (row == 4 || row == 5) return true;
      if (row == 6) return mode == 1;
      if (row == 7) return mode == 0 || mode == 1 || mode == 3 || mode == 4;
      if (r9 == 1 && row == 3) return true;                  // CLR with size 3
      if (r9 == 5 && row == 3) return mode == 7 && reg > 1;  // TAS #imm, d16(PC), d8(PC,Xi) ...
      if (r9 == 6) return row < 2;
      if (r9 == 7 && row == 0) return true;
      if (r9 == 7 && row == 1) return mode == 7 || (mode == 6 && reg == 4);  // 0x4E78-7F, 0x4E74
      return false;
    case 0x5: return (row == 0 || row == 4) && mode == 1;              // ADDQ.B / SUBQ.B to An
    case 0x8: return mode == 1 && (row <= 2 || row == 5 || row == 6);  // OR from An ...
    case 0xC: return row == 0 && mode == 1;                            // AND.B from An
    default: return false;
  }
}

TEST(Emu68Opcodes, ExactlyTheHolesAreIllegal) {
  constexpr uint32_t kCode = 0x10000, kHandler = 0x40000;
  std::vector<uint8_t> memory(emu68::flat::kSize);
  Emu68 emu{};
  emu68::flat::set_memory(&emu, memory.data());
  auto put = [&](uint32_t a, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      memory[a + i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
  };
  int illegal = 0, mismatches = 0;
  for (uint32_t w = 0; w < 0x10000; ++w) {
    // Every vector points somewhere distinct; vector 4 to its own handler.
    for (uint32_t v = 0; v < 256; ++v) put(v * 4, v == 4 ? kHandler : 0x50000 + v * 0x10, 4);
    put(kCode, w, 2);
    put(kCode + 2, 0, 4);
    Reg68 r{};
    for (int i = 0; i < 7; ++i) r.a[i] = 0x20000 + 0x100 * static_cast<uint32_t>(i);
    r.a[7] = 0x30000;
    r.pc = kCode;
    r.sr = 0x2700;
    EMU68_load_registers(&emu, &r);
    emu68::flat::step_one(&emu);
    EMU68_save_registers(&emu, &r);
    const char *m = EMU68_pop_error(&emu);
    const std::string message = m ? m : "";
    while (EMU68_pop_error(&emu)) {
    }
    const bool took = r.pc == kHandler;
    if (took != expected_illegal(w) && mismatches++ < 20)
      ADD_FAILURE() << std::hex << "opcode 0x" << w << " illegal=" << took;
    if (took) {
      ++illegal;
      EXPECT_EQ(message, "Illegal pc:010002") << std::hex << "opcode 0x" << w;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(illegal, 1000);  // the sweep did meet vector 4
}

}  // namespace
