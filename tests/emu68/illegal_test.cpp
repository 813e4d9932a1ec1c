// Every one of the 65536 opcodes, run once on the flat memory: exactly the
// encodings of the opcode map's holes take the illegal-instruction exception
// (vector 4, with its message), and no other opcode does.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emu68/emu68.h"
#include "emu68/flat68.h"

namespace {

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
