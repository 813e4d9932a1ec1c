// Test access to the instruction core on a flat 16 MiB memory: every
// address, instruction fetch included, is taken modulo 2^24 and there is no
// I/O area. Registers are exchanged through EMU68_load_registers and
// EMU68_save_registers as with the production memory map; only the memory
// differs. Internal C++ header for tests and benchmarks.
#ifndef VK68_EMU68_FLAT68_H
#define VK68_EMU68_FLAT68_H

#include <cstdint>

#include "emu68/emu68.h"

namespace emu68::flat {

constexpr uint32_t kSize = 1u << 24;

// Gives the instance the memory block (kSize bytes, owned by the caller) in
// place of the production memory; only step_one reaches it.
void set_memory(Emu68 *emu, uint8_t *memory);
// Executes exactly one instruction of the instance against that memory.
void step_one(Emu68 *emu);

}  // namespace emu68::flat

#endif
