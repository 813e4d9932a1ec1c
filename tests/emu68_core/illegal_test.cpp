// Every one of the 65536 opcodes, run once on the flat memory: exactly the
// encodings listed below take the illegal-instruction exception (vector 4,
// with its message), and no other opcode does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "emu68/emu68.h"
#include "emu68/flat68.h"

namespace {

// The illegal encodings, written from the opcode map independently of the
// decoder's tables.
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
    case 0x5:  // ADDQ.B / SUBQ.B to An
      return (row == 0 || row == 4) && mode == 1;
    case 0x8:  // OR from An; rows 5 and 6 column 1
      return mode == 1 && (row <= 2 || row == 5 || row == 6);
    case 0xC:  // AND.B from An
      return row == 0 && mode == 1;
    default: return false;
  }
}

constexpr uint32_t kCode = 0x10000;
constexpr uint32_t kIllegalHandler = 0x40000;

class IllegalTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> memory = std::vector<uint8_t>(emu68::flat::kSize);

  void SetUp() override { emu68::flat::set_memory(memory.data()); }

  void put_long(uint32_t a, uint32_t v) {
    for (int i = 0; i < 4; ++i) memory[a + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }

  // Runs opcode w once from a fresh state; true when it took vector 4.
  bool run(uint32_t w, std::string *message) {
    std::fill(memory.begin(), memory.begin() + 0x400, 0);
    // Every vector points somewhere distinct; vector 4 to its own handler.
    for (uint32_t v = 0; v < 256; ++v) put_long(v * 4, 0x50000 + v * 0x10);
    put_long(4 * 4, kIllegalHandler);
    memory[kCode] = static_cast<uint8_t>(w >> 8);
    memory[kCode + 1] = static_cast<uint8_t>(w);
    for (uint32_t i = 2; i < 16; ++i) memory[kCode + i] = 0;
    Reg68 r{};
    for (int i = 0; i < 8; ++i) r.a[i] = 0x20000 + 0x100 * static_cast<uint32_t>(i);
    r.a[7] = 0x30000;
    r.pc = kCode;
    r.sr = 0x2700;
    EMU68_load_registers(&r);
    while (EMU68_pop_error() != nullptr) {
    }
    emu68::flat::step_one();
    EMU68_save_registers(&r);
    const char *m = EMU68_pop_error();
    *message = m ? m : "";
    while (EMU68_pop_error() != nullptr) {
    }
    return r.pc == kIllegalHandler;
  }
};

TEST_F(IllegalTest, ExactlyTheListedEncodingsAreIllegal) {
  int illegal = 0, mismatches = 0;
  for (uint32_t w = 0; w < 0x10000; ++w) {
    std::string message;
    bool took = run(w, &message);
    bool want = expected_illegal(w);
    if (took != want && mismatches++ < 20)
      ADD_FAILURE() << std::hex << "opcode 0x" << w << " illegal=" << took;
    if (took) {
      ++illegal;
      EXPECT_EQ(message, "Illegal pc:010002") << std::hex << "opcode 0x" << w;
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Line 0 alone contributes 4 rows x 8 r9 values x 64 minus the legal
  // ones; the bound guards against a test that never sees vector 4.
  EXPECT_GT(illegal, 1000);
}

TEST_F(IllegalTest, FrameHoldsPcAfterOpcodeAndOldSr) {
  std::string message;
  ASSERT_TRUE(run(0x4AFC, &message));
  Reg68 r{};
  EMU68_save_registers(&r);
  EXPECT_EQ(r.a[7], 0x30000u - 6);
  const uint8_t *sp = memory.data() + r.a[7];
  EXPECT_EQ(sp[0] << 8 | sp[1], 0x2700);
  EXPECT_EQ(static_cast<uint32_t>(sp[2] << 24 | sp[3] << 16 | sp[4] << 8 | sp[5]), kCode + 2);
  EXPECT_EQ(r.sr, 0x2700u);
}

TEST_F(IllegalTest, ListedEdgeOpcodes) {
  std::string message;
  for (uint32_t w : {0x4AFCu, 0x4E74u, 0x4E7Au, 0x00C0u, 0x0E00u, 0x4100u})
    EXPECT_TRUE(run(w, &message)) << std::hex << w;
  // Real 68000 refuses these, this CPU performs them.
  for (uint32_t w : {0x1048u /* MOVE.B A0,D0 */, 0x3248u /* MOVEA.W A0,A1 */,
                     0xC248u /* AND.W A0,D1 */, 0x4A48u /* TST.W A0 */, 0x60FFu /* BRA -1 */})
    EXPECT_FALSE(run(w, &message)) << std::hex << w;
}

}  // namespace
