// The instruction core bound to a flat 16 MiB memory (see flat68.h).
#include "emu68/flat68.h"

#include "emu68/decode68.h"

namespace emu68::flat {
namespace {

uint8_t *mem;
constexpr uint32_t kMask = kSize - 1;

// Byte by byte, so that a word or long at the top of memory wraps to 0.
struct FlatBus {
  static uint32_t read8(uint32_t a) { return mem[a & kMask]; }
  static uint32_t read16(uint32_t a) { return read8(a) << 8 | read8(a + 1); }
  static uint32_t read32(uint32_t a) { return read16(a) << 16 | read16(a + 2); }
  static void write8(uint32_t a, uint32_t v) { mem[a & kMask] = static_cast<uint8_t>(v); }
  static void write16(uint32_t a, uint32_t v) {
    write8(a, v >> 8);
    write8(a + 1, v);
  }
  static void write32(uint32_t a, uint32_t v) {
    write16(a, v >> 16);
    write16(a + 2, v);
  }
  static uint32_t fetch16(uint32_t pc) { return read16(pc); }
  static uint32_t fetch32(uint32_t pc) { return read32(pc); }
};

}  // namespace

void set_memory(uint8_t *memory) { mem = memory; }
void step_one() { cpu.pc = step<FlatBus>(cpu.pc); }

}  // namespace emu68::flat
