// The instruction handlers of the 68000, written once over the bus.
//
// Every handler is a template specialised by its operation, operand size
// and addressing mode, so it does no decoding of its own. Every handler and
// helper receives the emulator instance it works on (`cpu`) first. Main-table
// handlers then receive the two 3-bit register fields of the opcode, r9
// (bits 11-9) and r0 (bits 2-0); handlers of the second-level tables receive
// r0 only (or nothing). The Bus parameter supplies read8/16/32,
// write8/16/32 and fetch16/32 on an instance; both memories compile to
// direct calls.
//
// The program counter does not live in cpu.pc while instructions run: every
// handler takes the PC (already past the opcode word) after the instance
// and returns the PC of the next instruction, and the helpers advance a
// local copy. It stays in a machine register from one instruction to the
// next instead of making a round trip through memory; the runners write it
// back to cpu.pc when they stop.
#ifndef VK68_EMU68_CORE68_H
#define VK68_EMU68_CORE68_H

#include <cstdint>

#include "emu68/flags68.h"

namespace emu68 {

using Handler = uint32_t (*)(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0);
using Handler1 = uint32_t (*)(Emu68 &cpu, uint32_t pc, uint32_t r0);
using Handler0 = uint32_t (*)(Emu68 &cpu, uint32_t pc);

// ---------------------------------------------------------------- bus access

template <class Bus, int S>
[[gnu::always_inline]] inline uint32_t read(Emu68 &cpu, uint32_t a) {
  if constexpr (S == 1)
    return Bus::read8(cpu, a);
  else if constexpr (S == 2)
    return Bus::read16(cpu, a);
  else
    return Bus::read32(cpu, a);
}
template <class Bus, int S>
[[gnu::always_inline]] inline void write(Emu68 &cpu, uint32_t a, uint32_t v) {
  if constexpr (S == 1)
    Bus::write8(cpu, a, v);
  else if constexpr (S == 2)
    Bus::write16(cpu, a, v);
  else
    Bus::write32(cpu, a, v);
}

// Next instruction word, sign-extended.
template <class Bus>
[[gnu::always_inline]] inline uint32_t fetch_word(Emu68 &cpu, uint32_t &pc) {
  uint32_t w = Bus::fetch16(cpu, pc);
  pc += 2;
  return sign_extend<2>(w);
}
template <class Bus>
[[gnu::always_inline]] inline uint32_t fetch_long(Emu68 &cpu, uint32_t &pc) {
  uint32_t l = Bus::fetch32(cpu, pc);
  pc += 4;
  return l;
}

template <class Bus>
[[gnu::always_inline]] inline void push_word(Emu68 &cpu, uint32_t v) {
  cpu.a[7] -= 2;
  Bus::write16(cpu, cpu.a[7], v);
}
template <class Bus>
[[gnu::always_inline]] inline void push_long(Emu68 &cpu, uint32_t v) {
  cpu.a[7] -= 4;
  Bus::write32(cpu, cpu.a[7], v);
}
template <class Bus>
[[gnu::always_inline]] inline uint32_t pop_word(Emu68 &cpu) {
  uint32_t v = Bus::read16(cpu, cpu.a[7]);
  cpu.a[7] += 2;
  return v;
}
template <class Bus>
[[gnu::always_inline]] inline uint32_t pop_long(Emu68 &cpu) {
  uint32_t v = Bus::read32(cpu, cpu.a[7]);
  cpu.a[7] += 4;
  return v;
}

// ---------------------------------------------------------------- exceptions

// Short frame (PC, then SR), supervisor state, mask 7; returns the new PC,
// read from the vector.
template <class Bus>
uint32_t exception(Emu68 &cpu, uint32_t pc, uint32_t vector) {
  push_long<Bus>(cpu, pc);
  push_word<Bus>(cpu, cpu.sr);
  cpu.sr = (cpu.sr & 0x50FF) | 0x2700;
  return Bus::read32(cpu, vector * 4);
}

constexpr uint32_t kVecIllegal = 4, kVecZeroDivide = 5, kVecChk = 6, kVecTrapv = 7, kVecLineA = 10,
                   kVecLineF = 11, kVecTrap0 = 32;

// The instruction's address is kept for the error stack, which words it
// only when it is read: a tune may run millions of them.
template <class Bus>
uint32_t illegal_instruction(Emu68 &cpu, uint32_t pc) {
  cpu.illegal_pc = pc;
  cpu.illegal_pending = 1;
  return exception<Bus>(cpu, pc, kVecIllegal);
}
template <class Bus>
uint32_t illegal(Emu68 &cpu, uint32_t pc, uint32_t, uint32_t) {
  return illegal_instruction<Bus>(cpu, pc);
}
template <class Bus>
uint32_t illegal1(Emu68 &cpu, uint32_t pc, uint32_t) {
  return illegal_instruction<Bus>(cpu, pc);
}
template <class Bus>
uint32_t illegal0(Emu68 &cpu, uint32_t pc) {
  return illegal_instruction<Bus>(cpu, pc);
}

template <class Bus>
uint32_t line_a(Emu68 &cpu, uint32_t pc, uint32_t, uint32_t) {
  return exception<Bus>(cpu, pc, kVecLineA);
}
template <class Bus>
uint32_t line_f(Emu68 &cpu, uint32_t pc, uint32_t, uint32_t) {
  return exception<Bus>(cpu, pc, kVecLineF);
}

// ---------------------------------------------------------------- addressing

// Index register 0-15: D0-D7 then A0-A7.
inline uint32_t index_register(Emu68 &cpu, uint32_t n) {
  return n & 8 ? cpu.a[n & 7] : cpu.d[n & 7];
}

// Brief extension word: index register, index size (bit 11), 8-bit
// displacement. Bits 10-8 are ignored.
template <class Bus>
[[gnu::always_inline]] inline uint32_t indexed(Emu68 &cpu, uint32_t &pc, uint32_t base) {
  uint32_t ext = Bus::fetch16(cpu, pc);
  pc += 2;
  uint32_t x = index_register(cpu, ext >> 12);
  if (!(ext & 0x800)) x = sign_extend<2>(x);
  return base + sign_extend<1>(ext) + x;
}

inline uint32_t no_address(Emu68 &cpu, uint32_t r) {
  EMU68_push_error(&cpu, "get_ea(%d)", static_cast<int>(r));
  return 0xFFFFFFFF;
}

// Address of the operand of mode M with register r at size S, with the
// mode's side effects on An and PC.
template <class Bus, int S, int M>
[[gnu::always_inline]] inline uint32_t ea(Emu68 &cpu, uint32_t &pc, uint32_t r) {
  constexpr uint32_t step = S;
  if constexpr (M == 0 || M == 1) {
    return no_address(cpu, r);
  } else if constexpr (M == 2) {
    return cpu.a[r];
  } else if constexpr (M == 3) {
    uint32_t a = cpu.a[r];
    cpu.a[r] = a + (S == 1 && r == 7 ? 2 : step);
    return a;
  } else if constexpr (M == 4) {
    return cpu.a[r] -= (S == 1 && r == 7 ? 2 : step);
  } else if constexpr (M == 5) {
    uint32_t base = cpu.a[r];
    return base + fetch_word<Bus>(cpu, pc);
  } else if constexpr (M == 6) {
    return indexed<Bus>(cpu, pc, cpu.a[r]);
  } else {
    switch (r) {
      case 0: return fetch_word<Bus>(cpu, pc);
      case 1: return fetch_long<Bus>(cpu, pc);
      case 2: {
        uint32_t base = pc;
        return base + fetch_word<Bus>(cpu, pc);
      }
      case 3: return indexed<Bus>(cpu, pc, pc);
      case 4: {
        uint32_t a = pc + (S == 1 ? 1 : 0);
        pc += S == 4 ? 4 : 2;
        return a;
      }
      default: return no_address(cpu, r);
    }
  }
}

// Source operand of mode M at size S, in the low bits.
template <class Bus, int S, int M>
[[gnu::always_inline]] inline uint32_t read_src(Emu68 &cpu, uint32_t &pc, uint32_t r) {
  if constexpr (M == 0)
    return cpu.d[r] & kMask<S>;
  else if constexpr (M == 1)
    return cpu.a[r] & kMask<S>;
  else
    return read<Bus, S>(cpu, ea<Bus, S, M>(cpu, pc, r));
}

// The immediate operand that follows the opcode.
template <class Bus, int S>
[[gnu::always_inline]] inline uint32_t immediate(Emu68 &cpu, uint32_t &pc) {
  return read_src<Bus, S, 7>(cpu, pc, 4);
}

// Read-modify-write of a destination operand of mode M (0 or >= 2):
// f(old) gives the new value, which is stored at size S.
template <class Bus, int S, int M, class F>
[[gnu::always_inline]] inline void modify(Emu68 &cpu, uint32_t &pc, uint32_t r, F f) {
  if constexpr (M == 0) {
    set_d<S>(cpu, r, f(cpu.d[r] & kMask<S>));
  } else {
    uint32_t a = ea<Bus, S, M>(cpu, pc, r);
    write<Bus, S>(cpu, a, f(read<Bus, S>(cpu, a)));
  }
}

// Store without reading first (CLR, Scc, MOVE from SR).
template <class Bus, int S, int M>
[[gnu::always_inline]] inline void store(Emu68 &cpu, uint32_t &pc, uint32_t r, uint32_t v) {
  if constexpr (M == 0)
    set_d<S>(cpu, r, v);
  else
    write<Bus, S>(cpu, ea<Bus, S, M>(cpu, pc, r), v);
}

// ---------------------------------------------------------------- data moves

// MOVE: SM/SR source mode and register, DM/r9 destination.
template <class Bus, int S, int SM, int DM>
uint32_t move(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t v = read_src<Bus, S, SM>(cpu, pc, r0);
  if constexpr (DM == 1) {
    cpu.a[r9] = sign_extend<S>(v);
  } else {
    store<Bus, S, DM>(cpu, pc, r9, v);
    flags_logic(cpu, align<S>(v));
  }
  return pc;
}

// MOVEQ: the data byte is bits 7-0; bits 7-3 come from the table position.
template <class Bus, int High>
uint32_t moveq(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t v = sign_extend<1>(High << 3 | r0);
  cpu.d[r9] = v;
  flags_logic(cpu, v);
  return pc;
}

template <class Bus, int M>
uint32_t lea(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  cpu.a[r9] = ea<Bus, 4, M>(cpu, pc, r0);
  return pc;
}

template <class Bus, int M>
uint32_t pea(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t a = ea<Bus, 4, M>(cpu, pc, r0);
  push_long<Bus>(cpu, a);
  return pc;
}

// EXG: swaps register r9 (an address register when A9) with register r0
// (an address register when A0).
template <class Bus, bool A9, bool A0>
uint32_t exg(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t &x = A9 ? cpu.a[r9] : cpu.d[r9];
  uint32_t &y = A0 ? cpu.a[r0] : cpu.d[r0];
  const uint32_t t = x;
  x = y;
  y = t;
  return pc;
}

template <class Bus>
uint32_t swap(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t v = cpu.d[r0] << 16 | cpu.d[r0] >> 16;
  cpu.d[r0] = v;
  cpu.sr = (cpu.sr & ~0xFu) | n_of(v) | z_of(v);
  return pc;
}

template <class Bus, int S>
uint32_t ext(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t v = sign_extend<S / 2>(cpu.d[r0]);
  set_d<S>(cpu, r0, v);
  flags_logic(cpu, align<S>(v));
  return pc;
}

// MOVEP: every other byte from d16(An) upward, high byte first. Row 4/5:
// word/long memory to Dn; row 6/7: word/long Dn to memory.
template <class Bus, int Row>
uint32_t movep(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t a = cpu.a[r0] + fetch_word<Bus>(cpu, pc);
  constexpr int bytes = Row & 1 ? 4 : 2;
  if constexpr (Row < 6) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | Bus::read8(cpu, a + 2 * i);
    set_d<bytes>(cpu, r9, v);
  } else {
    uint32_t v = cpu.d[r9];
    for (int i = 0; i < bytes; ++i) Bus::write8(cpu, a + 2 * i, v >> (8 * (bytes - 1 - i)));
  }
  return pc;
}

// MOVEM registers to memory. -(An): mask bit 0 is A7 ... bit 15 is D0,
// stored downwards; An ends at the last address written. Other modes store
// D0 first upwards.
template <class Bus, int S, int M>
uint32_t movem_to_memory(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t mask = Bus::fetch16(cpu, pc);
  pc += 2;
  uint32_t regs[16];
  for (int i = 0; i < 8; ++i) regs[i] = cpu.d[i], regs[8 + i] = cpu.a[i];
  if constexpr (M == 4) {
    uint32_t a = cpu.a[r0];
    for (int i = 0; i < 16; ++i)
      if (mask >> i & 1) {
        a -= S;
        write<Bus, S>(cpu, a, regs[15 - i]);
      }
    cpu.a[r0] = a;
  } else {
    uint32_t a = ea<Bus, S, M>(cpu, pc, r0);
    for (int i = 0; i < 16; ++i)
      if (mask >> i & 1) {
        write<Bus, S>(cpu, a, regs[i]);
        a += S;
      }
  }
  return pc;
}

// MOVEM memory to registers: D0 first from ascending addresses, words
// sign-extended; with (An)+ the final address is written to An last.
template <class Bus, int S, int M>
uint32_t movem_to_registers(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t mask = Bus::fetch16(cpu, pc);
  pc += 2;
  uint32_t a = M == 3 ? cpu.a[r0] : ea<Bus, S, M>(cpu, pc, r0);
  for (int i = 0; i < 16; ++i)
    if (mask >> i & 1) {
      uint32_t v = sign_extend<S>(read<Bus, S>(cpu, a));
      if (i < 8)
        cpu.d[i] = v;
      else
        cpu.a[i - 8] = v;
      a += S;
    }
  if constexpr (M == 3) cpu.a[r0] = a;
  return pc;
}

// ---------------------------------------------------------------- arithmetic

// <ea> op Dn -> Dn (CMP leaves Dn).
template <class Bus, Alu Op, int S, int M>
uint32_t alu_to_d(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, S, M>(cpu, pc, r0);
  uint32_t r = alu<Op, S>(cpu, s, cpu.d[r9]);
  if constexpr (Op != Alu::Cmp) set_d<S>(cpu, r9, r);
  return pc;
}

// Dn op <ea> -> <ea>; mode 0 means data register r0.
template <class Bus, Alu Op, int S, int M>
uint32_t alu_to_ea(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = cpu.d[r9];
  modify<Bus, S, M>(cpu, pc, r0, [&cpu, s](uint32_t d) { return alu<Op, S>(cpu, s, d); });
  return pc;
}

// Immediate group: #imm op <ea>. ORI, ANDI, EORI with #imm as destination
// act on CCR (byte) or SR (word).
template <class Bus, Alu Op, int S, int M>
uint32_t alu_immediate(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t s = immediate<Bus, S>(cpu, pc);
  if constexpr (M == 7 && S < 4 && (Op == Alu::Or || Op == Alu::And || Op == Alu::Eor)) {
    if (r0 == 4) {
      if constexpr (S == 1 && Op == Alu::And)
        cpu.sr &= s | 0xFF00;
      else if constexpr (Op == Alu::And)
        cpu.sr &= s;
      else if constexpr (Op == Alu::Or)
        cpu.sr |= s;
      else
        cpu.sr ^= s;
      return pc;
    }
  }
  if constexpr (Op == Alu::Cmp)
    alu<Op, S>(cpu, s, read_src<Bus, S, M>(cpu, pc, r0));
  else
    modify<Bus, S, M>(cpu, pc, r0, [&cpu, s](uint32_t d) { return alu<Op, S>(cpu, s, d); });
  return pc;
}

// ADDQ, SUBQ: data 1-8 from r9; to An on the whole register without flags.
template <class Bus, Alu Op, int S, int M>
uint32_t alu_quick(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t q = ((r9 - 1) & 7) + 1;
  if constexpr (M == 1)
    cpu.a[r0] = Op == Alu::Add ? cpu.a[r0] + q : cpu.a[r0] - q;
  else
    modify<Bus, S, M>(cpu, pc, r0, [&cpu, q](uint32_t d) { return alu<Op, S>(cpu, q, d); });
  return pc;
}

// ADDA, SUBA, CMPA: word sources sign-extended, whole An, no flags (CMPA:
// flags of a long compare, X kept).
template <class Bus, Alu Op, int S, int M>
uint32_t alu_address(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = sign_extend<S>(read_src<Bus, S, M>(cpu, pc, r0));
  if constexpr (Op == Alu::Add)
    cpu.a[r9] += s;
  else if constexpr (Op == Alu::Sub)
    cpu.a[r9] -= s;
  else
    flags_cmp(cpu, s, cpu.a[r9]);
  return pc;
}

// ADDX, SUBX: Dr0 to Dr9, or -(Ar0) to -(Ar9) with the source first.
template <class Bus, bool Sub, int S, bool Memory>
uint32_t alu_extend(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  auto op = [&cpu](uint32_t s, uint32_t d) {
    return unalign<S>(Sub ? flags_subx<S>(cpu, align<S>(s), align<S>(d))
                          : flags_addx<S>(cpu, align<S>(s), align<S>(d)));
  };
  if constexpr (Memory) {
    uint32_t s = read<Bus, S>(cpu, ea<Bus, S, 4>(cpu, pc, r0));
    uint32_t a = ea<Bus, S, 4>(cpu, pc, r9);
    write<Bus, S>(cpu, a, op(s, read<Bus, S>(cpu, a)));
  } else {
    set_d<S>(cpu, r9, op(cpu.d[r0], cpu.d[r9]));
  }
  return pc;
}

// CMPM (Ar0)+,(Ar9)+.
template <class Bus, int S>
uint32_t cmpm(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = read<Bus, S>(cpu, ea<Bus, S, 3>(cpu, pc, r0));
  uint32_t d = read<Bus, S>(cpu, ea<Bus, S, 3>(cpu, pc, r9));
  alu<Alu::Cmp, S>(cpu, s, d);
  return pc;
}

// ABCD, SBCD: Dr0 to Dr9, or -(Ar0) to -(Ar9).
template <class Bus, bool Sub, bool Memory>
uint32_t bcd(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  if constexpr (Memory) {
    uint32_t s = Bus::read8(cpu, ea<Bus, 1, 4>(cpu, pc, r0));
    uint32_t a = ea<Bus, 1, 4>(cpu, pc, r9);
    uint32_t d = Bus::read8(cpu, a);
    Bus::write8(cpu, a, Sub ? bcd_sub(cpu, s, d) : bcd_add(cpu, s, d));
  } else {
    set_d<1>(cpu, r9,
             Sub ? bcd_sub(cpu, cpu.d[r0], cpu.d[r9]) : bcd_add(cpu, cpu.d[r0], cpu.d[r9]));
  }
  return pc;
}

template <class Bus, int M>
uint32_t nbcd(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  modify<Bus, 1, M>(cpu, pc, r0, [&cpu](uint32_t d) { return bcd_sub(cpu, d, 0); });
  return pc;
}

// Single-operand operations of the line-4 group; mode 1 acts on the data
// register of that number (the builder maps it to mode 0).
enum class Unary { Negx, Clr, Neg, Not, Tst };

template <class Bus, Unary Op, int S, int M>
uint32_t unary(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  if constexpr (Op == Unary::Clr) {
    store<Bus, S, M>(cpu, pc, r0, 0);
    cpu.sr = (cpu.sr & ~0xFu) | kSrZ;
  } else if constexpr (Op == Unary::Tst) {
    flags_logic(cpu, align<S>(read_src<Bus, S, M>(cpu, pc, r0)));
  } else {
    modify<Bus, S, M>(cpu, pc, r0, [&cpu](uint32_t d) {
      uint32_t ad = align<S>(d);
      if constexpr (Op == Unary::Negx)
        return unalign<S>(flags_subx<S>(cpu, ad, 0));
      else if constexpr (Op == Unary::Neg)
        return unalign<S>(flags_sub(cpu, ad, 0));
      else {
        flags_logic(cpu, ~ad & align<S>(kMask<S>));
        return ~d;
      }
    });
  }
  return pc;
}

template <class Bus, int M>
uint32_t tas(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  if constexpr (M == 7) {
    if (r0 > 1) return illegal_instruction<Bus>(cpu, pc);
  }
  modify<Bus, 1, M>(cpu, pc, r0, [&cpu](uint32_t d) {
    flags_logic(cpu, align<1>(d));
    return d | 0x80;
  });
  return pc;
}

template <class Bus, bool Signed, int M>
uint32_t mul(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, 2, M>(cpu, pc, r0);
  uint32_t r =
      Signed ? static_cast<uint32_t>(static_cast<int16_t>(s) * static_cast<int16_t>(cpu.d[r9]))
             : s * (cpu.d[r9] & 0xFFFF);
  cpu.d[r9] = r;
  flags_logic(cpu, r);
  return pc;
}

// DIVU, DIVS <ea>,Dn: 32 / 16 -> remainder:quotient. On overflow Dn stays.
// A zero divisor clears N, Z, V and C (X stays) before the trap.
template <class Bus, bool Signed, int M>
uint32_t div(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, 2, M>(cpu, pc, r0);
  if (s == 0) {
    cpu.sr &= ~(kSrN | kSrZ | kSrV | kSrC);
    return exception<Bus>(cpu, pc, kVecZeroDivide);
  }
  uint32_t n = cpu.d[r9];
  uint32_t q, m;
  bool overflow;
  if constexpr (Signed) {
    int64_t dividend = static_cast<int32_t>(n), divisor = static_cast<int16_t>(s);
    int64_t sq = dividend / divisor;
    q = static_cast<uint32_t>(sq);
    m = static_cast<uint32_t>(dividend % divisor);
    overflow = sq < -32768 || sq > 32767;
    if (overflow) {
      cpu.sr = (cpu.sr & 0xFF10) | n_of(q) | kSrZ | kSrV;
      return pc;
    }
  } else {
    q = n / s;
    m = n % s;
    overflow = q > 0xFFFF;
    if (overflow) {
      cpu.sr = (cpu.sr & 0xFF10) | n_of(q) | z_of(q) | kSrV;
      return pc;
    }
  }
  cpu.d[r9] = m << 16 | (q & 0xFFFF);
  flags_logic(cpu, align<2>(q));
  return pc;
}

// ---------------------------------------------------------------- shifts

// Register shifts: count in Dr9 (modulo 64) or immediate 1-8.
template <class Bus, int S, Shift T, bool Left, bool CountInRegister>
uint32_t shift_register(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t cnt = CountInRegister ? cpu.d[r9] & 63 : ((r9 - 1) & 7) + 1;
  set_d<S>(cpu, r0, shift<S, T, Left>(cpu, cpu.d[r0], cnt));
  return pc;
}

// Memory shifts: a word by one.
template <class Bus, Shift T, bool Left, int M>
uint32_t shift_memory(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t a = ea<Bus, 2, M>(cpu, pc, r0);
  Bus::write16(cpu, a, shift<2, T, Left>(cpu, Bus::read16(cpu, a), 1));
  return pc;
}

// ---------------------------------------------------------------- bits

enum class Bit { Tst, Chg, Clr, Set };

// On a data register the bit number is modulo 32 on the long, on memory
// modulo 8 on the byte. Z = the tested bit was 0.
template <class Bus, Bit Op, int M>
[[gnu::always_inline]] inline void bit_operation(Emu68 &cpu, uint32_t &pc, uint32_t n,
                                                 uint32_t r0) {
  auto apply = [&cpu](uint32_t v, uint32_t bit) {
    cpu.sr = (cpu.sr & ~kSrZ) | (v & bit ? 0 : kSrZ);
    if constexpr (Op == Bit::Chg)
      return v ^ bit;
    else if constexpr (Op == Bit::Clr)
      return v & ~bit;
    else
      return v | bit;
  };
  if constexpr (M == 0) {
    uint32_t bit = 1u << (n & 31);
    if constexpr (Op == Bit::Tst)
      apply(cpu.d[r0], bit);
    else
      cpu.d[r0] = apply(cpu.d[r0], bit);
  } else {
    uint32_t bit = 1u << (n & 7);
    uint32_t a = ea<Bus, 1, M>(cpu, pc, r0);
    uint32_t v = apply(Bus::read8(cpu, a), bit);
    if constexpr (Op != Bit::Tst) Bus::write8(cpu, a, v);
  }
}

template <class Bus, Bit Op, int M>
uint32_t bit_dynamic(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  bit_operation<Bus, Op, M>(cpu, pc, cpu.d[r9], r0);
  return pc;
}
template <class Bus, Bit Op, int M>
uint32_t bit_static(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t n = Bus::fetch16(cpu, pc);
  pc += 2;
  bit_operation<Bus, Op, M>(cpu, pc, n, r0);
  return pc;
}

// ---------------------------------------------------------------- status register

template <class Bus, int M>
uint32_t move_from_sr(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  store<Bus, 2, M>(cpu, pc, r0, cpu.sr);
  return pc;
}
template <class Bus, int M>
uint32_t move_to_ccr(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.sr = (cpu.sr & 0xFF00) | (read_src<Bus, 2, M>(cpu, pc, r0) & 0xFF);
  return pc;
}
template <class Bus, int M>
uint32_t move_to_sr(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.sr = read_src<Bus, 2, M>(cpu, pc, r0);
  return pc;
}

// ---------------------------------------------------------------- program flow

// Bcc, BRA, BSR: condition r9 * 2 + B8; displacement bits 7-3 from the table
// position, bits 2-0 from r0; 0 means a 16-bit displacement word follows.
template <class Bus, int B8, int High>
uint32_t branch(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  uint32_t base = pc;
  uint32_t disp = sign_extend<1>(High << 3 | r0);
  if (High == 0 && r0 == 0) disp = fetch_word<Bus>(cpu, pc);
  if (B8 && r9 == 0) {
    push_long<Bus>(cpu, pc);
    return base + disp;
  }
  // Taken or not must be a host branch, not a conditional move: a predicted
  // branch lets the next opcode fetch start before the flags of the previous
  // instruction have come back through cpu.sr. The empty asm statement keeps
  // the compiler from turning the two returns into a conditional move.
  if (condition(cpu, r9 * 2 + B8)) {
    asm volatile("");
    return base + disp;
  }
  return pc;
}

template <class Bus, int B8>
uint32_t dbcc(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  if (condition(cpu, r9 * 2 + B8)) return pc + 2;
  uint32_t count = (cpu.d[r0] - 1) & 0xFFFF;
  cpu.d[r0] = (cpu.d[r0] & 0xFFFF0000) | count;
  if (count == 0xFFFF) return pc + 2;
  uint32_t base = pc;
  return base + fetch_word<Bus>(cpu, pc);
}

template <class Bus, int B8, int M>
uint32_t scc(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  store<Bus, 1, M>(cpu, pc, r0, condition(cpu, r9 * 2 + B8) ? 0xFF : 0x00);
  return pc;
}

template <class Bus, int M>
uint32_t jmp(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  return ea<Bus, 4, M>(cpu, pc, r0);
}
template <class Bus, int M>
uint32_t jsr(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  uint32_t a = ea<Bus, 4, M>(cpu, pc, r0);
  push_long<Bus>(cpu, pc);
  return a;
}

// CHK.W <ea>,Dn: signed low word of Dn against 0 and the bound.
template <class Bus, int M>
uint32_t chk(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  int32_t bound = static_cast<int16_t>(read_src<Bus, 2, M>(cpu, pc, r0));
  int32_t v = static_cast<int16_t>(cpu.d[r9]);
  // Z, V and C as the 68000 leaves them: Z from the register, V = C = 0.
  cpu.sr = (cpu.sr & ~(kSrZ | kSrV | kSrC)) | (v == 0 ? kSrZ : 0);
  if (v < 0) {
    cpu.sr |= kSrN;
    return exception<Bus>(cpu, pc, kVecChk);
  }
  if (v > bound) {
    cpu.sr &= ~kSrN;
    return exception<Bus>(cpu, pc, kVecChk);
  }
  return pc;
}

// The 0x4E40-0x4E7F group, by mode.
template <class Bus, int High>
uint32_t trap(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  return exception<Bus>(cpu, pc, kVecTrap0 + High * 8 + r0);
}
// LINK A7 stores the already decremented stack pointer.
template <class Bus>
uint32_t link(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.a[7] -= 4;
  Bus::write32(cpu, cpu.a[7], cpu.a[r0]);
  cpu.a[r0] = cpu.a[7];
  cpu.a[7] += fetch_word<Bus>(cpu, pc);
  return pc;
}
template <class Bus>
uint32_t unlk(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.a[7] = cpu.a[r0];
  cpu.a[r0] = pop_long<Bus>(cpu);
  return pc;
}
template <class Bus>
uint32_t move_to_usp(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.usp = cpu.a[r0];
  return pc;
}
template <class Bus>
uint32_t move_from_usp(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  cpu.a[r0] = cpu.usp;
  return pc;
}

// The 0x4E70-0x4E77 group, by r0. RESET drives the reset line (for 124
// clocks, which take no emulated time here): the chips on the bus reset,
// while the CPU keeps its registers and goes on with the next instruction.
template <class Bus>
uint32_t reset(Emu68 &cpu, uint32_t pc) {
  reset_devices(cpu);
  return pc;
}
template <class Bus>
uint32_t nop(Emu68 &, uint32_t pc) {
  return pc;
}
template <class Bus>
uint32_t stop(Emu68 &cpu, uint32_t pc) {
  cpu.sr = Bus::fetch16(cpu, pc);
  cpu.stopped = 1;
  return pc + 2;
}
template <class Bus>
uint32_t rte(Emu68 &cpu, uint32_t) {
  cpu.sr = pop_word<Bus>(cpu);
  return pop_long<Bus>(cpu);
}
template <class Bus>
uint32_t rts(Emu68 &cpu, uint32_t) {
  return pop_long<Bus>(cpu);
}
template <class Bus>
uint32_t trapv(Emu68 &cpu, uint32_t pc) {
  if (cpu.sr & kSrV) return exception<Bus>(cpu, pc, kVecTrapv);
  return pc;
}
template <class Bus>
uint32_t rtr(Emu68 &cpu, uint32_t) {
  uint32_t ccr = pop_word<Bus>(cpu);
  cpu.sr = (cpu.sr & 0xFF00) | (ccr & 0xFF);
  return pop_long<Bus>(cpu);
}

}  // namespace emu68

#endif
