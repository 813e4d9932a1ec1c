// The production memory map: addresses with bit 23 set go to the I/O page
// of their bits 15-8 in the instance's page table (its plug-in's handlers), all others to its RAM
// at (address & 0x7FFFF). RAM accesses need no bounds check: the mask keeps the offset inside the
// 512 KiB block and the 3 zeroed guard bytes behind it catch the tail of a word or long access that
// starts at one of the last addresses.
#ifndef VK68_EMU68_BUS68_H
#define VK68_EMU68_BUS68_H

#include <cstdint>
#include <cstring>

#include "emu68/cpu68.h"

namespace emu68 {

inline uint32_t load_be16(const uint8_t *p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return __builtin_bswap16(v);
}
inline uint32_t load_be32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}
inline void store_be16(uint8_t *p, uint32_t v) {
  uint16_t w = __builtin_bswap16(static_cast<uint16_t>(v));
  std::memcpy(p, &w, 2);
}
inline void store_be32(uint8_t *p, uint32_t v) {
  uint32_t w = __builtin_bswap32(v);
  std::memcpy(p, &w, 4);
}

// The I/O page of an address.
[[gnu::always_inline]] inline const IoPage68 &io_page(const Emu68 &cpu, uint32_t a) {
  return cpu.io[(a >> 8) & 0xFF];
}

struct MapBus {
  [[gnu::always_inline]] static uint32_t read8(Emu68 &cpu, uint32_t a) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.read[0](io.plugin, a, cpu.cycle);
    }
    return cpu.memory[a & kRamMask];
  }
  [[gnu::always_inline]] static uint32_t read16(Emu68 &cpu, uint32_t a) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.read[1](io.plugin, a, cpu.cycle);
    }
    return load_be16(cpu.memory + (a & kRamMask));
  }
  [[gnu::always_inline]] static uint32_t read32(Emu68 &cpu, uint32_t a) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.read[2](io.plugin, a, cpu.cycle);
    }
    return load_be32(cpu.memory + (a & kRamMask));
  }
  [[gnu::always_inline]] static void write8(Emu68 &cpu, uint32_t a, uint32_t v) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.write[0](io.plugin, a, v & 0xFF, cpu.cycle);
    }
    cpu.memory[a & kRamMask] = static_cast<uint8_t>(v);
  }
  [[gnu::always_inline]] static void write16(Emu68 &cpu, uint32_t a, uint32_t v) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.write[1](io.plugin, a, v & 0xFFFF, cpu.cycle);
    }
    store_be16(cpu.memory + (a & kRamMask), v);
  }
  [[gnu::always_inline]] static void write32(Emu68 &cpu, uint32_t a, uint32_t v) {
    if (__builtin_expect((a & kIoBit) != 0, 0)) {
      const IoPage68 &io = io_page(cpu, a);
      return io.write[2](io.plugin, a, v, cpu.cycle);
    }
    store_be32(cpu.memory + (a & kRamMask), v);
  }
  // Instruction stream: always RAM, never the I/O bus.
  // A long load (the guard bytes make it safe at the end of RAM) keeps the
  // byte swap on whole registers.
  [[gnu::always_inline]] static uint32_t fetch16(const Emu68 &cpu, uint32_t pc) {
    return load_be32(cpu.memory + (pc & kRamMask)) >> 16;
  }
  [[gnu::always_inline]] static uint32_t fetch32(const Emu68 &cpu, uint32_t pc) {
    return load_be32(cpu.memory + (pc & kRamMask));
  }
};

}  // namespace emu68

#endif
