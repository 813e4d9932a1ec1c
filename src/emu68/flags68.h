// Operand sizes, condition codes and the flag rules of the 68000 data
// instructions, on the status register of an emulator instance. Independent
// of the bus.
//
// Arithmetic works on "aligned" 32-bit values: the operand's top bit is moved
// to bit 31 (byte << 24, word << 16, long as is), so carries and overflows
// out of bit 31 serve all three sizes with one rule. Every rule writes its
// flags straight into SR; nothing is computed lazily.
#ifndef VK68_EMU68_FLAGS68_H
#define VK68_EMU68_FLAGS68_H

#include <array>
#include <cstdint>

#include "emu68/cpu68.h"

namespace emu68 {

// Operand size S in bytes: 1, 2 or 4.
template <int S>
constexpr uint32_t kMask = S == 1   ? 0xFFu
                           : S == 2 ? 0xFFFFu
                                    : 0xFFFFFFFFu;
template <int S>
constexpr int kShift = 32 - 8 * S;
template <int S>
constexpr uint32_t kBits = 8 * S;

// Size of the size field values 0, 1, 2 (byte, word, long).
constexpr int size_of_field(int field) { return field == 0 ? 1 : field == 1 ? 2 : 4; }

template <int S>
inline uint32_t sign_extend(uint32_t v) {
  if constexpr (S == 1)
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v)));
  else if constexpr (S == 2)
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
  else
    return v;
}

template <int S>
inline uint32_t align(uint32_t v) {
  return v << kShift<S>;
}
template <int S>
inline uint32_t unalign(uint32_t v) {
  return v >> kShift<S>;
}

// Writes the low S bytes of v into data register r, keeping the rest.
template <int S>
inline void set_d(Emu68 &cpu, uint32_t r, uint32_t v) {
  if constexpr (S == 4)
    cpu.d[r] = v;
  else
    cpu.d[r] = (cpu.d[r] & ~kMask<S>) | (v & kMask<S>);
}

inline uint32_t n_of(uint32_t aligned) { return (aligned >> 28) & kSrN; }
inline uint32_t z_of(uint32_t aligned) { return aligned == 0 ? kSrZ : 0; }

// MOVE, TST, logic operations, MUL, EXT: N and Z from the value, V = C = 0,
// X kept, bits 7-5 cleared.
inline void flags_logic(Emu68 &cpu, uint32_t aligned) {
  cpu.sr = (cpu.sr & 0xFF10) | n_of(aligned) | z_of(aligned);
}

// d + s + x on aligned values; x is the extend bit already aligned to the
// operand's lowest bit (or 0). Returns the aligned result.
inline uint32_t add_carry(uint32_t s, uint32_t d, uint32_t r) {
  return ((s & d) | ((s | d) & ~r)) >> 31;
}
inline uint32_t add_overflow(uint32_t s, uint32_t d, uint32_t r) {
  return ((s ^ r) & (d ^ r)) >> 31;
}
inline uint32_t sub_borrow(uint32_t s, uint32_t d, uint32_t r) {
  return ((s & r) | (~d & (s | r))) >> 31;
}
inline uint32_t sub_overflow(uint32_t s, uint32_t d, uint32_t r) {
  return ((d ^ s) & (r ^ d)) >> 31;
}

// ADD: X = C = carry.
inline uint32_t flags_add(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t r = d + s, c = add_carry(s, d, r);
  cpu.sr = (cpu.sr & 0xFF00) | c * (kSrX | kSrC) | n_of(r) | z_of(r) | add_overflow(s, d, r) << 1;
  return r;
}
// SUB, NEG: X = C = borrow.
inline uint32_t flags_sub(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t r = d - s, c = sub_borrow(s, d, r);
  cpu.sr = (cpu.sr & 0xFF00) | c * (kSrX | kSrC) | n_of(r) | z_of(r) | sub_overflow(s, d, r) << 1;
  return r;
}
// CMP: as SUB with X kept.
inline void flags_cmp(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t r = d - s;
  cpu.sr = (cpu.sr & 0xFF10) | sub_borrow(s, d, r) | n_of(r) | z_of(r) | sub_overflow(s, d, r) << 1;
}
// ADDX, SUBX, NEGX: Z is only ever cleared.
template <int S>
inline uint32_t flags_addx(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t x = ((cpu.sr >> 4) & 1) << kShift<S>;
  uint32_t r = d + s + x, c = add_carry(s, d, r);
  cpu.sr = (cpu.sr & 0xFF00) | (r ? 0 : cpu.sr & kSrZ) | c * (kSrX | kSrC) | n_of(r) |
           add_overflow(s, d, r) << 1;
  return r;
}
template <int S>
inline uint32_t flags_subx(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t x = ((cpu.sr >> 4) & 1) << kShift<S>;
  uint32_t r = d - s - x, c = sub_borrow(s, d, r);
  cpu.sr = (cpu.sr & 0xFF00) | (r ? 0 : cpu.sr & kSrZ) | c * (kSrX | kSrC) | n_of(r) |
           sub_overflow(s, d, r) << 1;
  return r;
}

// The binary operations of the ALU families; each computes the result at
// size S (in the low bits) and sets the flags.
enum class Alu { Or, And, Eor, Add, Sub, Cmp };

template <Alu Op, int S>
inline uint32_t alu(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t as = align<S>(s), ad = align<S>(d);
  if constexpr (Op == Alu::Add)
    return unalign<S>(flags_add(cpu, as, ad));
  else if constexpr (Op == Alu::Sub)
    return unalign<S>(flags_sub(cpu, as, ad));
  else if constexpr (Op == Alu::Cmp) {
    flags_cmp(cpu, as, ad);
    return d;
  } else {
    uint32_t r = Op == Alu::Or ? ad | as : Op == Alu::And ? ad & as : ad ^ as;
    flags_logic(cpu, r);
    return unalign<S>(r);
  }
}

// Condition codes. The eight odd conditions (F, LS, CS, EQ, VS, MI, LT, LE)
// as functions of the flags; the even condition 2k is the negation of 2k+1.
constexpr bool odd_condition(int k, uint32_t f) {
  bool c = f & 1, v = f & 2, z = f & 4, n = f & 8;
  switch (k) {
    case 0: return false;
    case 1: return c || z;
    case 2: return c;
    case 3: return z;
    case 4: return v;
    case 5: return n;
    case 6: return n != v;
    default: return (n != v) || z;
  }
}

// kConditions[cc] has bit f set when condition cc holds with NZVC = f.
constexpr std::array<uint16_t, 16> kConditions = [] {
  std::array<uint16_t, 16> t{};
  for (int cc = 0; cc < 16; ++cc)
    for (uint32_t f = 0; f < 16; ++f)
      if (odd_condition(cc >> 1, f) == ((cc & 1) != 0)) t[cc] |= static_cast<uint16_t>(1u << f);
  return t;
}();

inline bool condition(const Emu68 &cpu, uint32_t cc) {
  return (kConditions[cc] >> (cpu.sr & 15)) & 1;
}

// Shifts and rotates at size S by cnt (0-63); d holds the operand in its
// low bits. Returns the result and sets the flags.
enum class Shift { As, Ls, Rox, Ro };

template <int S, Shift T, bool Left>
inline uint32_t shift(Emu68 &cpu, uint32_t d, uint32_t cnt) {
  constexpr uint32_t bits = kBits<S>, mask = kMask<S>;
  d &= mask;
  uint32_t x = (cpu.sr >> 4) & 1;
  if (cnt == 0) {
    uint32_t c = T == Shift::Rox ? x : 0;
    cpu.sr = (cpu.sr & 0xFF10) | n_of(align<S>(d)) | z_of(align<S>(d)) | c;
    return d;
  }
  uint32_t r, c, v = 0;
  const uint64_t w = d;
  if constexpr (T == Shift::As && Left) {
    if (cnt < bits) {
      r = static_cast<uint32_t>(w << cnt) & mask;
      c = static_cast<uint32_t>(w >> (bits - cnt)) & 1;
      // V: the top cnt+1 bits, which all pass through the sign bit, differ.
      uint32_t top = d >> (bits - 1 - cnt), ones = mask >> (bits - 1 - cnt);
      v = top != 0 && top != ones;
    } else {
      r = 0;
      c = cnt == bits ? d & 1 : 0;
      v = d != 0;
    }
  } else if constexpr (T == Shift::As) {
    int32_t sd = static_cast<int32_t>(sign_extend<S>(d));
    if (cnt < bits) {
      r = static_cast<uint32_t>(sd >> cnt) & mask;
      c = static_cast<uint32_t>(sd >> (cnt - 1)) & 1;
    } else {
      r = sd < 0 ? mask : 0;
      c = cnt == bits ? sd < 0 : 0;
    }
  } else if constexpr (T == Shift::Ls) {
    if (cnt <= bits) {
      r = Left ? static_cast<uint32_t>(w << cnt) & mask : static_cast<uint32_t>(w >> cnt);
      c = Left ? static_cast<uint32_t>(w >> (bits - cnt)) & 1
               : static_cast<uint32_t>(w >> (cnt - 1)) & 1;
    } else {
      r = c = 0;
    }
  } else if constexpr (T == Shift::Ro) {
    uint32_t n = cnt & (bits - 1);
    r = n == 0 ? d
        : Left ? ((d << n) | (d >> (bits - n))) & mask
               : ((d >> n) | (d << (bits - n))) & mask;
    c = Left ? r & 1 : r >> (bits - 1);
  } else {
    constexpr uint32_t width = bits + 1;
    uint32_t n = cnt % width;
    if (n == 0) {
      r = d;
      c = x;
    } else {
      if (!Left) n = width - n;
      uint64_t e = (uint64_t{x} << bits) | d;
      e = ((e << n) | (e >> (width - n))) & ((uint64_t{1} << width) - 1);
      r = static_cast<uint32_t>(e) & mask;
      c = static_cast<uint32_t>(e >> bits);
    }
  }
  uint32_t keep = T == Shift::Ro ? 0xFF10 : 0xFF00;
  uint32_t xbit = T == Shift::Ro ? 0 : c << 4;
  cpu.sr = (cpu.sr & keep) | xbit | n_of(align<S>(r)) | z_of(align<S>(r)) | v << 1 | c;
  return r;
}

// Decimal arithmetic on bytes, as the 68000 computes it (also for digits
// above 9). Z is only ever cleared; N follows bit 7 of the result and V is
// set when the decimal correction changed bit 7 from 0 to 1 (add) or from 1
// to 0 (subtract).
inline uint32_t bcd_add(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t x = (cpu.sr >> 4) & 1;
  uint32_t bin = (s & 0xFF) + (d & 0xFF) + x;
  uint32_t r = bin;
  if ((s & 0xF) + (d & 0xF) + x > 9) r += 6;
  uint32_t c = bin > 0x99;
  if (c) r += 0x60;
  uint32_t v = (~bin & r & 0x80) >> 7;
  r &= 0xFF;
  cpu.sr =
      (cpu.sr & 0xFF00) | (r ? 0 : cpu.sr & kSrZ) | c * (kSrX | kSrC) | (r >> 4 & kSrN) | v << 1;
  return r;
}
// The borrow also comes out of the low-digit correction alone.
inline uint32_t bcd_sub(Emu68 &cpu, uint32_t s, uint32_t d) {
  uint32_t x = (cpu.sr >> 4) & 1;
  int32_t bin =
      static_cast<int32_t>(d & 0xFF) - static_cast<int32_t>(s & 0xFF) - static_cast<int32_t>(x);
  int32_t r = bin;
  if ((d & 0xF) < (s & 0xF) + x) r -= 6;
  if (bin < 0) r -= 0x60;
  uint32_t c = bin < 0 || r < 0;
  uint32_t v = (static_cast<uint32_t>(bin) & ~static_cast<uint32_t>(r) & 0x80) >> 7;
  uint32_t res = static_cast<uint32_t>(r) & 0xFF;
  cpu.sr = (cpu.sr & 0xFF00) | (res ? 0 : cpu.sr & kSrZ) | c * (kSrX | kSrC) | (res >> 4 & kSrN) |
           v << 1;
  return res;
}

}  // namespace emu68

#endif
