// Word and long accesses of a chip built from its narrower port.
//
// A chip implements the access its registers really have (bytes, or words
// for Paula); the bus also hands it accesses twice as wide. Those become two
// accesses of the narrow width, the high half at the address and the low
// half at address + width, each chip choosing by its own rule:
//   Use    which halves reach the chip: both, or only the high (YM: the byte
//          at the port) or only the low one (MFP: the odd byte); the half
//          that is left out reads as 0 and drops its part of a write;
//   Delay  cycles added to the stamp of the second half (a 68000 long
//          access takes a second bus cycle, four clocks later).
// A long access is then a word access made twice: wide<wide<byte>>.
#ifndef VK68_CHIPS_WIDE_ACCESS_H
#define VK68_CHIPS_WIDE_ACCESS_H

#include <cstdint>

#include "emu68/ioplug68.h"

namespace chips {

enum class Use { kBoth, kHigh, kLow };

// Width: bytes of the narrow access (1 or 2).
template <io68_read_t Narrow, int Width, Use U = Use::kBoth, uint32_t Delay = 0>
uint32_t read_wide(IoPlugin68 *self, uint32_t address, uint32_t cycle) {
  const uint32_t high = U != Use::kLow ? Narrow(self, address, cycle) << (8 * Width) : 0;
  const uint32_t low = U != Use::kHigh ? Narrow(self, address + Width, cycle + Delay) : 0;
  return high | low;
}

template <io68_write_t Narrow, int Width, Use U = Use::kBoth, uint32_t Delay = 0>
void write_wide(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  constexpr uint32_t kMask = (1u << (8 * Width)) - 1;
  if (U != Use::kLow) Narrow(self, address, (value >> (8 * Width)) & kMask, cycle);
  if (U != Use::kHigh) Narrow(self, address + Width, value & kMask, cycle + Delay);
}

}  // namespace chips

#endif
