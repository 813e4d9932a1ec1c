// The instruction core bound to a flat 16 MiB memory (see flat68.h).
#include "emu68/flat68.h"

#include "emu68/decode68.h"

namespace emu68::flat {
namespace {

constexpr uint32_t kMask = kSize - 1;

// Byte by byte, so that a word or long at the top of memory wraps to 0.
struct FlatBus {
  static uint32_t read8(const Emu68 &cpu, uint32_t a) { return cpu.memory[a & kMask]; }
  static uint32_t read16(const Emu68 &cpu, uint32_t a) {
    return read8(cpu, a) << 8 | read8(cpu, a + 1);
  }
  static uint32_t read32(const Emu68 &cpu, uint32_t a) {
    return read16(cpu, a) << 16 | read16(cpu, a + 2);
  }
  static void write8(Emu68 &cpu, uint32_t a, uint32_t v) {
    cpu.memory[a & kMask] = static_cast<uint8_t>(v);
  }
  static void write16(Emu68 &cpu, uint32_t a, uint32_t v) {
    write8(cpu, a, v >> 8);
    write8(cpu, a + 1, v);
  }
  static void write32(Emu68 &cpu, uint32_t a, uint32_t v) {
    write16(cpu, a, v >> 16);
    write16(cpu, a + 2, v);
  }
  static uint32_t fetch16(const Emu68 &cpu, uint32_t pc) { return read16(cpu, pc); }
  static uint32_t fetch32(const Emu68 &cpu, uint32_t pc) { return read32(cpu, pc); }
};

}  // namespace

void set_memory(Emu68 *emu, uint8_t *memory) { emu->memory = memory; }
void step_one(Emu68 *emu) { emu->pc = step<FlatBus>(*emu, emu->pc); }

}  // namespace emu68::flat
