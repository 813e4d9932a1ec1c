// The instruction handlers of the 68000, written once over the bus.
//
// Every handler is a template specialised by its operation, operand size
// and addressing mode, so it does no decoding of its own. Main-table
// handlers receive the two 3-bit register fields of the opcode, r9 (bits
// 11-9) and r0 (bits 2-0); handlers of the second-level tables receive r0
// only (or nothing). The Bus parameter supplies read8/16/32, write8/16/32
// and fetch16/32; both memories compile to direct calls.
#ifndef VK68_EMU68_CORE68_H
#define VK68_EMU68_CORE68_H

#include <cstdint>

#include "emu68/flags68.h"

namespace emu68 {

using Handler = void (*)(uint32_t r9, uint32_t r0);
using Handler1 = void (*)(uint32_t r0);
using Handler0 = void (*)();

// ---------------------------------------------------------------- bus access

template <class Bus, int S> [[gnu::always_inline]] inline uint32_t read(uint32_t a) {
  if constexpr (S == 1) return Bus::read8(a);
  else if constexpr (S == 2) return Bus::read16(a);
  else return Bus::read32(a);
}
template <class Bus, int S> [[gnu::always_inline]] inline void write(uint32_t a, uint32_t v) {
  if constexpr (S == 1) Bus::write8(a, v);
  else if constexpr (S == 2) Bus::write16(a, v);
  else Bus::write32(a, v);
}

// Next instruction word, sign-extended.
template <class Bus> [[gnu::always_inline]] inline uint32_t fetch_word() {
  uint32_t w = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  return sign_extend<2>(w);
}
template <class Bus> [[gnu::always_inline]] inline uint32_t fetch_long() {
  uint32_t l = Bus::fetch32(cpu.pc);
  cpu.pc += 4;
  return l;
}

template <class Bus> [[gnu::always_inline]] inline void push_word(uint32_t v) {
  cpu.a[7] -= 2;
  Bus::write16(cpu.a[7], v);
}
template <class Bus> [[gnu::always_inline]] inline void push_long(uint32_t v) {
  cpu.a[7] -= 4;
  Bus::write32(cpu.a[7], v);
}
template <class Bus> [[gnu::always_inline]] inline uint32_t pop_word() {
  uint32_t v = Bus::read16(cpu.a[7]);
  cpu.a[7] += 2;
  return v;
}
template <class Bus> [[gnu::always_inline]] inline uint32_t pop_long() {
  uint32_t v = Bus::read32(cpu.a[7]);
  cpu.a[7] += 4;
  return v;
}

// ---------------------------------------------------------------- exceptions

// Short frame (PC, then SR), supervisor state, mask 7, PC from the vector.
template <class Bus> void exception(uint32_t vector) {
  push_long<Bus>(cpu.pc);
  push_word<Bus>(cpu.sr);
  cpu.sr = (cpu.sr & 0x50FF) | 0x2700;
  cpu.pc = Bus::read32(vector * 4);
}

constexpr uint32_t kVecIllegal = 4, kVecZeroDivide = 5, kVecChk = 6, kVecTrapv = 7, kVecLineA = 10,
                   kVecLineF = 11, kVecTrap0 = 32;

template <class Bus> void illegal_instruction() {
  EMU68_push_error("Illegal pc:%06x", cpu.pc);
  exception<Bus>(kVecIllegal);
}
template <class Bus> void illegal(uint32_t, uint32_t) { illegal_instruction<Bus>(); }
template <class Bus> void illegal1(uint32_t) { illegal_instruction<Bus>(); }
template <class Bus> void illegal0() { illegal_instruction<Bus>(); }

template <class Bus> void line_a(uint32_t, uint32_t) { exception<Bus>(kVecLineA); }
template <class Bus> void line_f(uint32_t, uint32_t) { exception<Bus>(kVecLineF); }

// ---------------------------------------------------------------- addressing

// Index register 0-15: D0-D7 then A0-A7.
inline uint32_t index_register(uint32_t n) { return n & 8 ? cpu.a[n & 7] : cpu.d[n & 7]; }

// Brief extension word: index register, index size (bit 11), 8-bit
// displacement. Bits 10-8 are ignored.
template <class Bus> [[gnu::always_inline]] inline uint32_t indexed(uint32_t base) {
  uint32_t ext = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  uint32_t x = index_register(ext >> 12);
  if (!(ext & 0x800)) x = sign_extend<2>(x);
  return base + sign_extend<1>(ext) + x;
}

inline uint32_t no_address(uint32_t r) {
  EMU68_push_error("get_ea(%d)", static_cast<int>(r));
  return 0xFFFFFFFF;
}

// Address of the operand of mode M with register r at size S, with the
// mode's side effects on An and PC.
template <class Bus, int S, int M> [[gnu::always_inline]] inline uint32_t ea(uint32_t r) {
  constexpr uint32_t step = S;
  if constexpr (M == 0 || M == 1) {
    return no_address(r);
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
    return base + fetch_word<Bus>();
  } else if constexpr (M == 6) {
    return indexed<Bus>(cpu.a[r]);
  } else {
    switch (r) {
      case 0: return fetch_word<Bus>();
      case 1: return fetch_long<Bus>();
      case 2: {
        uint32_t base = cpu.pc;
        return base + fetch_word<Bus>();
      }
      case 3: return indexed<Bus>(cpu.pc);
      case 4: {
        uint32_t a = cpu.pc + (S == 1 ? 1 : 0);
        cpu.pc += S == 4 ? 4 : 2;
        return a;
      }
      default: return no_address(r);
    }
  }
}

// Source operand of mode M at size S, in the low bits.
template <class Bus, int S, int M> [[gnu::always_inline]] inline uint32_t read_src(uint32_t r) {
  if constexpr (M == 0) return cpu.d[r] & kMask<S>;
  else if constexpr (M == 1) return cpu.a[r] & kMask<S>;
  else return read<Bus, S>(ea<Bus, S, M>(r));
}

// The immediate operand that follows the opcode.
template <class Bus, int S> [[gnu::always_inline]] inline uint32_t immediate() { return read_src<Bus, S, 7>(4); }

// Read-modify-write of a destination operand of mode M (0 or >= 2):
// f(old) gives the new value, which is stored at size S.
template <class Bus, int S, int M, class F> [[gnu::always_inline]] inline void modify(uint32_t r, F f) {
  if constexpr (M == 0) {
    set_d<S>(r, f(cpu.d[r] & kMask<S>));
  } else {
    uint32_t a = ea<Bus, S, M>(r);
    write<Bus, S>(a, f(read<Bus, S>(a)));
  }
}

// Store without reading first (CLR, Scc, MOVE from SR).
template <class Bus, int S, int M> [[gnu::always_inline]] inline void store(uint32_t r, uint32_t v) {
  if constexpr (M == 0) set_d<S>(r, v);
  else write<Bus, S>(ea<Bus, S, M>(r), v);
}

// ---------------------------------------------------------------- data moves

// MOVE: SM/SR source mode and register, DM/r9 destination.
template <class Bus, int S, int SM, int DM> void move(uint32_t r9, uint32_t r0) {
  uint32_t v = read_src<Bus, S, SM>(r0);
  if constexpr (DM == 1) {
    cpu.a[r9] = sign_extend<S>(v);
  } else {
    store<Bus, S, DM>(r9, v);
    flags_logic(align<S>(v));
  }
}

// MOVEQ: the data byte is bits 7-0; bits 7-3 come from the table position.
template <class Bus, int High> void moveq(uint32_t r9, uint32_t r0) {
  uint32_t v = sign_extend<1>(High << 3 | r0);
  cpu.d[r9] = v;
  flags_logic(v);
}

template <class Bus, int M> void lea(uint32_t r9, uint32_t r0) { cpu.a[r9] = ea<Bus, 4, M>(r0); }

template <class Bus, int M> void pea(uint32_t r0) {
  uint32_t a = ea<Bus, 4, M>(r0);
  push_long<Bus>(a);
}

template <class Bus> void exg_dd(uint32_t r9, uint32_t r0) {
  uint32_t t = cpu.d[r9];
  cpu.d[r9] = cpu.d[r0];
  cpu.d[r0] = t;
}
template <class Bus> void exg_aa(uint32_t r9, uint32_t r0) {
  uint32_t t = cpu.a[r9];
  cpu.a[r9] = cpu.a[r0];
  cpu.a[r0] = t;
}
template <class Bus> void exg_da(uint32_t r9, uint32_t r0) {
  uint32_t t = cpu.d[r9];
  cpu.d[r9] = cpu.a[r0];
  cpu.a[r0] = t;
}

template <class Bus> void swap(uint32_t r0) {
  uint32_t v = cpu.d[r0] << 16 | cpu.d[r0] >> 16;
  cpu.d[r0] = v;
  cpu.sr = (cpu.sr & ~0xFu) | n_of(v) | z_of(v);
}

template <class Bus, int S> void ext(uint32_t r0) {
  uint32_t v = sign_extend<S / 2>(cpu.d[r0]);
  set_d<S>(r0, v);
  flags_logic(align<S>(v));
}

// MOVEP: every other byte from d16(An) upward, high byte first. Row 4/5:
// word/long memory to Dn; row 6/7: word/long Dn to memory.
template <class Bus, int Row> void movep(uint32_t r9, uint32_t r0) {
  uint32_t a = cpu.a[r0] + fetch_word<Bus>();
  constexpr int bytes = Row & 1 ? 4 : 2;
  if constexpr (Row < 6) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | Bus::read8(a + 2 * i);
    set_d<bytes>(r9, v);
  } else {
    uint32_t v = cpu.d[r9];
    for (int i = 0; i < bytes; ++i) Bus::write8(a + 2 * i, v >> (8 * (bytes - 1 - i)));
  }
}

// MOVEM registers to memory. -(An): mask bit 0 is A7 ... bit 15 is D0,
// stored downwards; An ends at the last address written. Other modes store
// D0 first upwards.
template <class Bus, int S, int M> void movem_to_memory(uint32_t r0) {
  uint32_t mask = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  uint32_t regs[16];
  for (int i = 0; i < 8; ++i) regs[i] = cpu.d[i], regs[8 + i] = cpu.a[i];
  if constexpr (M == 4) {
    uint32_t a = cpu.a[r0];
    for (int i = 0; i < 16; ++i)
      if (mask >> i & 1) {
        a -= S;
        write<Bus, S>(a, regs[15 - i]);
      }
    cpu.a[r0] = a;
  } else {
    uint32_t a = ea<Bus, S, M>(r0);
    for (int i = 0; i < 16; ++i)
      if (mask >> i & 1) {
        write<Bus, S>(a, regs[i]);
        a += S;
      }
  }
}

// MOVEM memory to registers: D0 first from ascending addresses, words
// sign-extended; with (An)+ the final address is written to An last.
template <class Bus, int S, int M> void movem_to_registers(uint32_t r0) {
  uint32_t mask = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  uint32_t a = M == 3 ? cpu.a[r0] : ea<Bus, S, M>(r0);
  for (int i = 0; i < 16; ++i)
    if (mask >> i & 1) {
      uint32_t v = sign_extend<S>(read<Bus, S>(a));
      if (i < 8) cpu.d[i] = v;
      else cpu.a[i - 8] = v;
      a += S;
    }
  if constexpr (M == 3) cpu.a[r0] = a;
}

// ---------------------------------------------------------------- arithmetic

// <ea> op Dn -> Dn (CMP leaves Dn).
template <class Bus, Alu Op, int S, int M> void alu_to_d(uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, S, M>(r0);
  uint32_t r = alu<Op, S>(s, cpu.d[r9]);
  if constexpr (Op != Alu::Cmp) set_d<S>(r9, r);
}

// Dn op <ea> -> <ea>; mode 0 means data register r0.
template <class Bus, Alu Op, int S, int M> void alu_to_ea(uint32_t r9, uint32_t r0) {
  uint32_t s = cpu.d[r9];
  modify<Bus, S, M>(r0, [s](uint32_t d) { return alu<Op, S>(s, d); });
}

// Immediate group: #imm op <ea>. ORI, ANDI, EORI with #imm as destination
// act on CCR (byte) or SR (word).
template <class Bus, Alu Op, int S, int M> void alu_immediate(uint32_t r0) {
  uint32_t s = immediate<Bus, S>();
  if constexpr (M == 7 && S < 4 && (Op == Alu::Or || Op == Alu::And || Op == Alu::Eor)) {
    if (r0 == 4) {
      if constexpr (S == 1 && Op == Alu::And) cpu.sr &= s | 0xFF00;
      else if constexpr (Op == Alu::And) cpu.sr &= s;
      else if constexpr (Op == Alu::Or) cpu.sr |= s;
      else cpu.sr ^= s;
      return;
    }
  }
  if constexpr (Op == Alu::Cmp) alu<Op, S>(s, read_src<Bus, S, M>(r0));
  else modify<Bus, S, M>(r0, [s](uint32_t d) { return alu<Op, S>(s, d); });
}

// ADDQ, SUBQ: data 1-8 from r9; to An on the whole register without flags.
template <class Bus, Alu Op, int S, int M> void alu_quick(uint32_t r9, uint32_t r0) {
  uint32_t q = ((r9 - 1) & 7) + 1;
  if constexpr (M == 1) cpu.a[r0] = Op == Alu::Add ? cpu.a[r0] + q : cpu.a[r0] - q;
  else modify<Bus, S, M>(r0, [q](uint32_t d) { return alu<Op, S>(q, d); });
}

// ADDA, SUBA, CMPA: word sources sign-extended, whole An, no flags (CMPA:
// flags of a long compare, X kept).
template <class Bus, Alu Op, int S, int M> void alu_address(uint32_t r9, uint32_t r0) {
  uint32_t s = sign_extend<S>(read_src<Bus, S, M>(r0));
  if constexpr (Op == Alu::Add) cpu.a[r9] += s;
  else if constexpr (Op == Alu::Sub) cpu.a[r9] -= s;
  else flags_cmp(s, cpu.a[r9]);
}

// ADDX, SUBX: Dr0 to Dr9, or -(Ar0) to -(Ar9) with the source first.
template <class Bus, bool Sub, int S, bool Memory> void alu_extend(uint32_t r9, uint32_t r0) {
  auto op = [](uint32_t s, uint32_t d) {
    return unalign<S>(Sub ? flags_subx<S>(align<S>(s), align<S>(d)) : flags_addx<S>(align<S>(s), align<S>(d)));
  };
  if constexpr (Memory) {
    uint32_t s = read<Bus, S>(ea<Bus, S, 4>(r0));
    uint32_t a = ea<Bus, S, 4>(r9);
    write<Bus, S>(a, op(s, read<Bus, S>(a)));
  } else {
    set_d<S>(r9, op(cpu.d[r0], cpu.d[r9]));
  }
}

// CMPM (Ar0)+,(Ar9)+.
template <class Bus, int S> void cmpm(uint32_t r9, uint32_t r0) {
  uint32_t s = read<Bus, S>(ea<Bus, S, 3>(r0));
  uint32_t d = read<Bus, S>(ea<Bus, S, 3>(r9));
  alu<Alu::Cmp, S>(s, d);
}

// ABCD, SBCD: Dr0 to Dr9, or -(Ar0) to -(Ar9).
template <class Bus, bool Sub, bool Memory> void bcd(uint32_t r9, uint32_t r0) {
  if constexpr (Memory) {
    uint32_t s = Bus::read8(ea<Bus, 1, 4>(r0));
    uint32_t a = ea<Bus, 1, 4>(r9);
    uint32_t d = Bus::read8(a);
    Bus::write8(a, Sub ? bcd_sub(s, d) : bcd_add(s, d));
  } else {
    set_d<1>(r9, Sub ? bcd_sub(cpu.d[r0], cpu.d[r9]) : bcd_add(cpu.d[r0], cpu.d[r9]));
  }
}

template <class Bus, int M> void nbcd(uint32_t r0) {
  modify<Bus, 1, M>(r0, [](uint32_t d) { return bcd_sub(d, 0); });
}

// Single-operand operations of the line-4 group; mode 1 acts on the data
// register of that number (the builder maps it to mode 0).
enum class Unary { Negx, Clr, Neg, Not, Tst };

template <class Bus, Unary Op, int S, int M> void unary(uint32_t r0) {
  if constexpr (Op == Unary::Clr) {
    store<Bus, S, M>(r0, 0);
    cpu.sr = (cpu.sr & ~0xFu) | kSrZ;
  } else if constexpr (Op == Unary::Tst) {
    flags_logic(align<S>(read_src<Bus, S, M>(r0)));
  } else {
    modify<Bus, S, M>(r0, [](uint32_t d) {
      uint32_t ad = align<S>(d);
      if constexpr (Op == Unary::Negx) return unalign<S>(flags_subx<S>(ad, 0));
      else if constexpr (Op == Unary::Neg) return unalign<S>(flags_sub(ad, 0));
      else {
        flags_logic(~ad & align<S>(kMask<S>));
        return ~d;
      }
    });
  }
}

template <class Bus, int M> void tas(uint32_t r0) {
  if constexpr (M == 7) {
    if (r0 > 1) return illegal_instruction<Bus>();
  }
  modify<Bus, 1, M>(r0, [](uint32_t d) {
    flags_logic(align<1>(d));
    return d | 0x80;
  });
}

template <class Bus, bool Signed, int M> void mul(uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, 2, M>(r0);
  uint32_t r = Signed ? static_cast<uint32_t>(static_cast<int16_t>(s) * static_cast<int16_t>(cpu.d[r9]))
                      : s * (cpu.d[r9] & 0xFFFF);
  cpu.d[r9] = r;
  flags_logic(r);
}

// DIVU, DIVS <ea>,Dn: 32 / 16 -> remainder:quotient. On overflow Dn stays.
template <class Bus, bool Signed, int M> void div(uint32_t r9, uint32_t r0) {
  uint32_t s = read_src<Bus, 2, M>(r0);
  if (s == 0) return exception<Bus>(kVecZeroDivide);
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
      return;
    }
  } else {
    q = n / s;
    m = n % s;
    overflow = q > 0xFFFF;
    if (overflow) {
      cpu.sr = (cpu.sr & 0xFF10) | n_of(q) | z_of(q) | kSrV;
      return;
    }
  }
  cpu.d[r9] = m << 16 | (q & 0xFFFF);
  flags_logic(align<2>(q));
}

// ---------------------------------------------------------------- shifts

// Register shifts: count in Dr9 (modulo 64) or immediate 1-8.
template <class Bus, int S, Shift T, bool Left, bool CountInRegister> void shift_register(uint32_t r9, uint32_t r0) {
  uint32_t cnt = CountInRegister ? cpu.d[r9] & 63 : ((r9 - 1) & 7) + 1;
  set_d<S>(r0, shift<S, T, Left>(cpu.d[r0], cnt));
}

// Memory shifts: a word by one.
template <class Bus, Shift T, bool Left, int M> void shift_memory(uint32_t r0) {
  uint32_t a = ea<Bus, 2, M>(r0);
  Bus::write16(a, shift<2, T, Left>(Bus::read16(a), 1));
}

// ---------------------------------------------------------------- bits

enum class Bit { Tst, Chg, Clr, Set };

// On a data register the bit number is modulo 32 on the long, on memory
// modulo 8 on the byte. Z = the tested bit was 0.
template <class Bus, Bit Op, int M> inline void bit_operation(uint32_t n, uint32_t r0) {
  auto apply = [](uint32_t v, uint32_t bit) {
    cpu.sr = (cpu.sr & ~kSrZ) | (v & bit ? 0 : kSrZ);
    if constexpr (Op == Bit::Chg) return v ^ bit;
    else if constexpr (Op == Bit::Clr) return v & ~bit;
    else return v | bit;
  };
  if constexpr (M == 0) {
    uint32_t bit = 1u << (n & 31);
    if constexpr (Op == Bit::Tst) apply(cpu.d[r0], bit);
    else cpu.d[r0] = apply(cpu.d[r0], bit);
  } else {
    uint32_t bit = 1u << (n & 7);
    uint32_t a = ea<Bus, 1, M>(r0);
    uint32_t v = apply(Bus::read8(a), bit);
    if constexpr (Op != Bit::Tst) Bus::write8(a, v);
  }
}

template <class Bus, Bit Op, int M> void bit_dynamic(uint32_t r9, uint32_t r0) {
  bit_operation<Bus, Op, M>(cpu.d[r9], r0);
}
template <class Bus, Bit Op, int M> void bit_static(uint32_t r0) {
  uint32_t n = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  bit_operation<Bus, Op, M>(n, r0);
}

// ---------------------------------------------------------------- status register

template <class Bus, int M> void move_from_sr(uint32_t r0) { store<Bus, 2, M>(r0, cpu.sr); }
template <class Bus, int M> void move_to_ccr(uint32_t r0) {
  cpu.sr = (cpu.sr & 0xFF00) | (read_src<Bus, 2, M>(r0) & 0xFF);
}
template <class Bus, int M> void move_to_sr(uint32_t r0) { cpu.sr = read_src<Bus, 2, M>(r0); }

// ---------------------------------------------------------------- program flow

// Bcc, BRA, BSR: condition r9 * 2 + B8; displacement bits 7-3 from the table
// position, bits 2-0 from r0; 0 means a 16-bit displacement word follows.
template <class Bus, int B8, int High> void branch(uint32_t r9, uint32_t r0) {
  uint32_t base = cpu.pc;
  uint32_t disp = sign_extend<1>(High << 3 | r0);
  if (High == 0 && r0 == 0) disp = fetch_word<Bus>();
  if (B8 && r9 == 0) {
    push_long<Bus>(cpu.pc);
    cpu.pc = base + disp;
  } else if (condition(r9 * 2 + B8)) {
    cpu.pc = base + disp;
  }
}

template <class Bus, int B8> void dbcc(uint32_t r9, uint32_t r0) {
  if (condition(r9 * 2 + B8)) {
    cpu.pc += 2;
    return;
  }
  uint32_t count = (cpu.d[r0] - 1) & 0xFFFF;
  cpu.d[r0] = (cpu.d[r0] & 0xFFFF0000) | count;
  if (count == 0xFFFF) {
    cpu.pc += 2;
  } else {
    uint32_t base = cpu.pc;
    cpu.pc = base + fetch_word<Bus>();
  }
}

template <class Bus, int B8, int M> void scc(uint32_t r9, uint32_t r0) {
  store<Bus, 1, M>(r0, condition(r9 * 2 + B8) ? 0xFF : 0x00);
}

template <class Bus, int M> void jmp(uint32_t r0) { cpu.pc = ea<Bus, 4, M>(r0); }
template <class Bus, int M> void jsr(uint32_t r0) {
  uint32_t a = ea<Bus, 4, M>(r0);
  push_long<Bus>(cpu.pc);
  cpu.pc = a;
}

// CHK.W <ea>,Dn: signed low word of Dn against 0 and the bound.
template <class Bus, int M> void chk(uint32_t r9, uint32_t r0) {
  int32_t bound = static_cast<int16_t>(read_src<Bus, 2, M>(r0));
  int32_t v = static_cast<int16_t>(cpu.d[r9]);
  // Z, V and C as the 68000 leaves them: Z from the register, V = C = 0.
  cpu.sr = (cpu.sr & ~(kSrZ | kSrV | kSrC)) | (v == 0 ? kSrZ : 0);
  if (v < 0) {
    cpu.sr |= kSrN;
    exception<Bus>(kVecChk);
  } else if (v > bound) {
    cpu.sr &= ~kSrN;
    exception<Bus>(kVecChk);
  }
}

// The 0x4E40-0x4E7F group, by mode.
template <class Bus, int High> void trap(uint32_t r0) { exception<Bus>(kVecTrap0 + High * 8 + r0); }
// LINK A7 stores the already decremented stack pointer.
template <class Bus> void link(uint32_t r0) {
  cpu.a[7] -= 4;
  Bus::write32(cpu.a[7], cpu.a[r0]);
  cpu.a[r0] = cpu.a[7];
  cpu.a[7] += fetch_word<Bus>();
}
template <class Bus> void unlk(uint32_t r0) {
  cpu.a[7] = cpu.a[r0];
  cpu.a[r0] = pop_long<Bus>();
}
template <class Bus> void move_to_usp(uint32_t r0) { cpu.usp = cpu.a[r0]; }
template <class Bus> void move_from_usp(uint32_t r0) { cpu.a[r0] = cpu.usp; }

// The 0x4E70-0x4E77 group, by r0.
template <class Bus> void reset() { EMU68_reset_cpu(); }
template <class Bus> void nop() {}
template <class Bus> void stop() {
  cpu.sr = Bus::fetch16(cpu.pc);
  cpu.pc += 2;
  cpu.stopped = 1;
}
template <class Bus> void rte() {
  cpu.sr = pop_word<Bus>();
  cpu.pc = pop_long<Bus>();
}
template <class Bus> void rts() { cpu.pc = pop_long<Bus>(); }
template <class Bus> void trapv() {
  if (cpu.sr & kSrV) exception<Bus>(kVecTrapv);
}
template <class Bus> void rtr() {
  uint32_t ccr = pop_word<Bus>();
  cpu.sr = (cpu.sr & 0xFF00) | (ccr & 0xFF);
  cpu.pc = pop_long<Bus>();
}

}  // namespace emu68

#endif
