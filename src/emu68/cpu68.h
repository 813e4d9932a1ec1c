// The single 68000 state shared by every part of the emulator: registers,
// memory settings, the plugged I/O list and the six I/O page tables.
// Internal header (C++ only); the public API is emu68.h.
#ifndef VK68_EMU68_CPU68_H
#define VK68_EMU68_CPU68_H

#include <cstdint>

#include "emu68/emu68.h"

namespace emu68 {

// Field order matters: the first nineteen words are laid out like Reg68.
struct Cpu68 {
  uint32_t d[8];
  uint32_t a[8];  // a[7] is the only stack pointer
  uint32_t usp;   // touched only by MOVE An,USP and MOVE USP,An
  uint32_t pc;
  uint32_t sr;     // low 16 bits used
  uint32_t cycle;  // position within the current frame, 8 MHz cycles
  uint32_t stopped;
  uint8_t *memory;
  uint32_t mask;
  uint32_t size;
  uint32_t io_count;
  IoPlugin68 *io_list;
};

extern Cpu68 cpu;

// Status register bits.
constexpr uint32_t kSrC = 0x01, kSrV = 0x02, kSrZ = 0x04, kSrN = 0x08, kSrX = 0x10;

// The six I/O page tables: [byte, word, long][page].
extern io68_read_t io_read[3][256];
extern io68_write_t io_write[3][256];

// Fixed RAM decoding of the production memory map: 512 KiB plus 3 guard
// bytes behind the end.
constexpr uint32_t kRamMask = 0x7FFFF;
constexpr uint32_t kIoBit = 0x800000;

}  // namespace emu68

#endif
