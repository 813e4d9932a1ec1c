// Runs random memory images and register files for a bounded number of
// instructions: whatever the program does, the host must not crash or
// touch memory outside the emulated block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "emu68/emu68.h"

namespace {

constexpr int32_t kSize = 0x80000;
constexpr int kSteps = 4096;

uint32_t take32(const uint8_t *&data, size_t &size) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && size > 0; ++i, ++data, --size) v = (v << 8) | *data;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The block is exactly the memory plus its three guard bytes, so ASan
  // catches any access beyond them.
  static std::vector<uint8_t> memory(kSize + 3);
  static Emu68 emu;
  if (EMU68_init(&emu, memory.data(), kSize) != 0) return 0;

  Reg68 regs;
  for (uint32_t &d : regs.d) d = take32(data, size);
  for (uint32_t &a : regs.a) a = take32(data, size);
  regs.usp = take32(data, size);
  regs.pc = take32(data, size);
  regs.sr = take32(data, size) & 0xFFFF;

  // The rest of the input is the program, placed at PC and repeated from
  // address 0 so vectors and data reads find varied bytes too.
  if (size > 0) {
    const uint32_t at = regs.pc & 0x7FFFF;
    const uint32_t room = static_cast<uint32_t>(kSize) - at;
    std::memcpy(memory.data() + at, data, size < room ? size : room);
    for (uint32_t off = 0; off < 0x1000; off += static_cast<uint32_t>(size)) {
      std::memcpy(memory.data() + off, data, size < 0x1000 - off ? size : 0x1000 - off);
    }
  }
  EMU68_load_registers(&emu, &regs);
  for (int i = 0; i < kSteps; ++i) EMU68_step_one(&emu);
  while (EMU68_pop_error(&emu)) {
  }
  EMU68_release(&emu);
  return 0;
}
