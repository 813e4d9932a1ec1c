// What the parts of the emulator share besides the instance (emu68.h):
// status register bits, the bus reset and the fixed decoding of the
// production memory map.
// Internal header (C++ only); the public API is emu68.h.
#ifndef VK68_EMU68_CPU68_H
#define VK68_EMU68_CPU68_H

#include <cstdint>

#include "emu68/emu68.h"

namespace emu68 {

// Status register bits.
constexpr uint32_t kSrC = 0x01, kSrV = 0x02, kSrZ = 0x04, kSrN = 0x08, kSrX = 0x10;

// Asserts the reset line of the bus: every plugged chip resets (in list
// order, the most recently plugged first).
inline void reset_devices(Emu68 &cpu) {
  for (IoPlugin68 *p = cpu.io_list; p != nullptr; p = p->next)
    if (p->reset) p->reset(p);
}

// Fixed RAM decoding of the production memory map: 512 KiB plus 3 guard
// bytes behind the end.
constexpr uint32_t kRamMask = 0x7FFFF;
constexpr uint32_t kIoBit = 0x800000;

}  // namespace emu68

#endif
