// The opcode map: the dispatch tables of the 68000, built at compile time
// from the handlers of core68.h.
//
// Main table: 1024 entries. For an opcode w the index is
//   line (bits 15-12) * 64 + row (bits 8-6) * 8 + column (bits 5-3)
// and the handler gets r9 = bits 11-9 and r0 = bits 2-0. Families that need
// bits 11-9 to choose the operation go through a second-level table:
//   immediate group    line 0 rows 0-3      [r9 * 32 + size * 8 + mode](r0)
//   line-4 group       line 4 rows 0-3      [size * 64 + mode * 8 + r9](r0)
//   0x4E70-0x4E77      line-4 group entry   [r0]()
//   memory shifts      line E rows 3, 7     [left * 32 + mode * 4 + (r9 & 3)](r0)
// Every entry of every table is bound exactly once; a second binding or a
// missing one stops the compilation.
#ifndef VK68_EMU68_DECODE68_H
#define VK68_EMU68_DECODE68_H

#include <array>
#include <cstddef>
#include <initializer_list>
#include <utility>

#include "emu68/core68.h"

namespace emu68 {

// Reached only while building a table at compile time, where calling it is
// an error: a table entry bound twice or left unbound.
inline void table_binding_error() {}

template <class H, std::size_t N>
struct Table {
  std::array<H, N> entry{};
  constexpr void bind(std::size_t i, H h) {
    if (entry[i] != nullptr) table_binding_error();
    entry[i] = h;
  }
  constexpr const std::array<H, N> &complete() const {
    for (H h : entry)
      if (h == nullptr) table_binding_error();
    return entry;
  }
};

// A set of rows or columns (bits 0-7).
constexpr unsigned set(std::initializer_list<int> members) {
  unsigned s = 0;
  for (int m : members) s |= 1u << m;
  return s;
}
constexpr unsigned kAll = 0xFF;

// Binds make<row, col>() to every (row, col) of line `Line` whose row is in
// Rows and whose column is in Cols.
template <int Line, unsigned Rows, unsigned Cols, class T, class Make>
constexpr void on(T &t, Make make) {
  [&]<int... I>(std::integer_sequence<int, I...>) {
    (
        [&] {
          constexpr int row = I >> 3, col = I & 7;
          if constexpr ((Rows >> row & 1) && (Cols >> col & 1))
            t.bind(Line * 64 + I, make.template operator()<row, col>());
        }(),
        ...);
  }
  (std::make_integer_sequence<int, 64>{});
}

// Calls f<I>() for I in 0..N-1.
template <int N, class F>
constexpr void each(F f) {
  [&]<int... I>(std::integer_sequence<int, I...>) { (f.template operator()<I>(), ...); }
  (std::make_integer_sequence<int, N>{});
}

// Operand size of rows 0-2 and 4-6.
constexpr int row_size(int row) { return size_of_field(row & 3); }

// Operation of the immediate group by r9 (4 and 7 are not ALU operations).
constexpr Alu immediate_op(int r9) {
  constexpr Alu ops[8] = {Alu::Or, Alu::And, Alu::Sub, Alu::Add,
                          Alu::Or, Alu::Eor, Alu::Cmp, Alu::Or};
  return ops[r9];
}

// Register forms of the line-4 group take mode 1 as the data register.
constexpr int data_mode(int m) { return m == 1 ? 0 : m; }

// ---------------------------------------------------------------- second level

template <class Bus>
constexpr std::array<Handler0, 8> kGroup4E70 = [] {
  Table<Handler0, 8> t;
  t.bind(0, &reset<Bus>);
  t.bind(1, &nop<Bus>);
  t.bind(2, &stop<Bus>);
  t.bind(3, &rte<Bus>);
  t.bind(4, &illegal0<Bus>);
  t.bind(5, &rts<Bus>);
  t.bind(6, &trapv<Bus>);
  t.bind(7, &rtr<Bus>);
  return t.complete();
}();

template <class Bus>
uint32_t group4e70(Emu68 &cpu, uint32_t pc, uint32_t r0) {
  return kGroup4E70<Bus>[r0](cpu, pc);
}

// Immediate group: r9 0 ORI, 1 ANDI, 2 SUBI, 3 ADDI, 4 bit operations with
// a static bit number (size field = BTST, BCHG, BCLR, BSET), 5 EORI, 6 CMPI,
// 7 illegal. Size field 3 and mode 1 are illegal except for the bit
// operations.
template <class Bus>
constexpr std::array<Handler1, 256> kImmediate = [] {
  Table<Handler1, 256> t;
  each<8>([&]<int r9>() {
    each<4>([&]<int size>() {
      each<8>([&]<int mode>() {
        constexpr int i = r9 * 32 + size * 8 + mode;
        if constexpr (r9 == 4)
          t.bind(i, &bit_static<Bus, static_cast<Bit>(size), mode>);
        else if constexpr (r9 == 7 || size == 3 || mode == 1)
          t.bind(i, &illegal1<Bus>);
        else
          t.bind(i, &alu_immediate<Bus, immediate_op(r9), size_of_field(size), mode>);
      });
    });
  });
  return t.complete();
}();

template <class Bus, int Row, int Col>
uint32_t immediate_group(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  return kImmediate<Bus>[r9 * 32 + Row * 8 + Col](cpu, pc, r0);
}

// Line-4 group by size field and r9 (and mode, which is fixed per entry).
template <class Bus, int Size, int Mode, int R9>
constexpr Handler1 line4_entry() {
  constexpr int S = size_of_field(Size), dm = data_mode(Mode);
  if constexpr (R9 == 0) {
    if constexpr (Size < 3)
      return &unary<Bus, Unary::Negx, S, dm>;
    else
      return &move_from_sr<Bus, dm>;
  } else if constexpr (R9 == 1) {
    if constexpr (Size < 3)
      return &unary<Bus, Unary::Clr, S, dm>;
    else
      return &illegal1<Bus>;
  } else if constexpr (R9 == 2) {
    if constexpr (Size < 3)
      return &unary<Bus, Unary::Neg, S, dm>;
    else
      return &move_to_ccr<Bus, dm>;
  } else if constexpr (R9 == 3) {
    if constexpr (Size < 3)
      return &unary<Bus, Unary::Not, S, dm>;
    else
      return &move_to_sr<Bus, dm>;
  } else if constexpr (R9 == 4) {
    if constexpr (Size == 0)
      return &nbcd<Bus, dm>;
    else if constexpr (Size == 1) {
      if constexpr (Mode == 0)
        return &swap<Bus>;
      else
        return &pea<Bus, Mode>;
    } else {
      if constexpr (Mode == 0)
        return &ext < Bus, Size == 2 ? 2 : 4 > ;
      else
        return &movem_to_memory < Bus, Size == 2 ? 2 : 4, Mode > ;
    }
  } else if constexpr (R9 == 5) {
    if constexpr (Size < 3)
      return &unary<Bus, Unary::Tst, S, dm>;
    else
      return &tas<Bus, dm>;
  } else if constexpr (R9 == 6) {
    if constexpr (Size < 2)
      return &illegal1<Bus>;
    else
      return &movem_to_registers < Bus, Size == 2 ? 2 : 4, Mode > ;
  } else {
    if constexpr (Size == 0)
      return &illegal1<Bus>;
    else if constexpr (Size == 2)
      return &jsr<Bus, Mode>;
    else if constexpr (Size == 3)
      return &jmp<Bus, Mode>;
    // 0x4E40-0x4E7F, by mode.
    else if constexpr (Mode == 0)
      return &trap<Bus, 0>;
    else if constexpr (Mode == 1)
      return &trap<Bus, 1>;
    else if constexpr (Mode == 2)
      return &link<Bus>;
    else if constexpr (Mode == 3)
      return &unlk<Bus>;
    else if constexpr (Mode == 4)
      return &move_to_usp<Bus>;
    else if constexpr (Mode == 5)
      return &move_from_usp<Bus>;
    else if constexpr (Mode == 6)
      return &group4e70<Bus>;
    else
      return &illegal1<Bus>;
  }
}

template <class Bus>
constexpr std::array<Handler1, 256> kLine4 = [] {
  Table<Handler1, 256> t;
  each<4>([&]<int size>() {
    each<8>([&]<int mode>() {
      each<8>(
          [&]<int r9>() { t.bind(size * 64 + mode * 8 + r9, line4_entry<Bus, size, mode, r9>()); });
    });
  });
  return t.complete();
}();

template <class Bus, int Row, int Col>
uint32_t line4_group(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  return kLine4<Bus>[Row * 64 + Col * 8 + r9](cpu, pc, r0);
}

// Memory shifts: r9 & 3 is 0 arithmetic, 1 logical, 2 rotate with X, 3 rotate.
template <class Bus>
constexpr std::array<Handler1, 64> kShiftMemory = [] {
  Table<Handler1, 64> t;
  each<2>([&]<int left>() {
    each<8>([&]<int mode>() {
      each<4>([&]<int type>() {
        t.bind(left * 32 + mode * 4 + type,
               &shift_memory<Bus, static_cast<Shift>(type), left == 1, mode>);
      });
    });
  });
  return t.complete();
}();

template <class Bus, int Row, int Col>
uint32_t shift_memory_group(Emu68 &cpu, uint32_t pc, uint32_t r9, uint32_t r0) {
  return kShiftMemory<Bus>[(Row == 7 ? 32 : 0) + Col * 4 + (r9 & 3)](cpu, pc, r0);
}

// ---------------------------------------------------------------- main table

template <class Bus>
constexpr std::array<Handler, 1024> kMain = [] {
  Table<Handler, 1024> t;
  constexpr unsigned sizes = set({0, 1, 2}), sizes_up = set({4, 5, 6});
  constexpr unsigned memory = set({2, 3, 4, 5, 6, 7});

  // Line 0: immediate group and static bit operations; MOVEP; dynamic bit
  // operations (row 4-7 = BTST, BCHG, BCLR, BSET).
  on<0x0, set({0, 1, 2, 3}), kAll>(t, []<int r, int c>() { return &immediate_group<Bus, r, c>; });
  on<0x0, set({4, 5, 6, 7}), set({1})>(t, []<int r, int c>() { return &movep<Bus, r>; });
  on<0x0, set({4, 5, 6, 7}), ~set({1}) & kAll>(
      t, []<int r, int c>() { return &bit_dynamic<Bus, static_cast<Bit>(r - 4), c>; });

  // Lines 1-3: MOVE.B, MOVE.L, MOVE.W; row = destination mode, column =
  // source mode; row 1 is MOVEA (also for bytes).
  on<0x1, kAll, kAll>(t, []<int r, int c>() { return &move<Bus, 1, c, r>; });
  on<0x2, kAll, kAll>(t, []<int r, int c>() { return &move<Bus, 4, c, r>; });
  on<0x3, kAll, kAll>(t, []<int r, int c>() { return &move<Bus, 2, c, r>; });

  // Line 4: line-4 group; CHK.W; LEA.
  on<0x4, set({0, 1, 2, 3}), kAll>(t, []<int r, int c>() { return &line4_group<Bus, r, c>; });
  on<0x4, set({4, 5}), kAll>(t, []<int, int>() { return &illegal<Bus>; });
  on<0x4, set({6}), set({1})>(t, []<int, int>() { return &illegal<Bus>; });
  on<0x4, set({6}), ~set({1}) & kAll>(t, []<int r, int c>() { return &chk<Bus, c>; });
  on<0x4, set({7}), set({0, 1, 3, 4})>(t, []<int, int>() { return &illegal<Bus>; });
  on<0x4, set({7}), set({2, 5, 6, 7})>(t, []<int r, int c>() { return &lea<Bus, c>; });

  // Line 5: ADDQ, SUBQ (not byte to An); DBcc and Scc.
  on<0x5, sizes | sizes_up, kAll>(t, []<int r, int c>() -> Handler {
    constexpr Alu op = r < 4 ? Alu::Add : Alu::Sub;
    if constexpr (c == 1 && (r & 3) == 0)
      return &illegal<Bus>;
    else
      return &alu_quick<Bus, op, row_size(r), c>;
  });
  on<0x5, set({3, 7}), set({1})>(t, []<int r, int c>() { return &dbcc<Bus, r == 7>; });
  on<0x5, set({3, 7}), ~set({1}) & kAll>(t, []<int r, int c>() { return &scc<Bus, r == 7, c>; });

  // Line 6: Bcc, BRA, BSR; line 7: MOVEQ (bit 8 ignored).
  on<0x6, kAll, kAll>(t, []<int r, int c>() { return &branch<Bus, (r >> 2), ((r & 3) << 3 | c)>; });
  on<0x7, kAll, kAll>(t, []<int r, int c>() { return &moveq<Bus, ((r & 3) << 3 | c)>; });

  // Line 8: OR, DIVU, DIVS, SBCD.
  on<0x8, sizes, set({1})>(t, []<int, int>() { return &illegal<Bus>; });
  on<0x8, sizes, ~set({1}) & kAll>(
      t, []<int r, int c>() { return &alu_to_d<Bus, Alu::Or, row_size(r), c>; });
  on<0x8, set({3}), kAll>(t, []<int r, int c>() { return &div<Bus, false, c>; });
  on<0x8, set({7}), kAll>(t, []<int r, int c>() { return &div<Bus, true, c>; });
  on<0x8, set({4}), set({0, 1})>(t, []<int r, int c>() { return &bcd<Bus, true, c == 1>; });
  on<0x8, set({5, 6}), set({0})>(
      t, []<int r, int c>() { return &alu_to_ea<Bus, Alu::Or, row_size(r), 0>; });
  on<0x8, set({5, 6}), set({1})>(t, []<int, int>() { return &illegal<Bus>; });
  on<0x8, sizes_up, memory>(
      t, []<int r, int c>() { return &alu_to_ea<Bus, Alu::Or, row_size(r), c>; });

  // Lines 9 and D: SUB, SUBA, SUBX; ADD, ADDA, ADDX.
  auto add_sub = [&]<int Line, Alu Op>() {
    on<Line, sizes, kAll>(t, []<int r, int c>() { return &alu_to_d<Bus, Op, row_size(r), c>; });
    on<Line, set({3}), kAll>(t, []<int r, int c>() { return &alu_address<Bus, Op, 2, c>; });
    on<Line, set({7}), kAll>(t, []<int r, int c>() { return &alu_address<Bus, Op, 4, c>; });
    on<Line, sizes_up, set({0, 1})>(
        t, []<int r, int c>() { return &alu_extend<Bus, Op == Alu::Sub, row_size(r), c == 1>; });
    on<Line, sizes_up, memory>(t,
                               []<int r, int c>() { return &alu_to_ea<Bus, Op, row_size(r), c>; });
  };
  add_sub.template operator()<0x9, Alu::Sub>();
  add_sub.template operator()<0xD, Alu::Add>();

  // Line A: line-A exception.
  on<0xA, kAll, kAll>(t, []<int, int>() { return &line_a<Bus>; });

  // Line B: CMP, CMPA, CMPM, EOR.
  on<0xB, sizes, kAll>(t, []<int r, int c>() { return &alu_to_d<Bus, Alu::Cmp, row_size(r), c>; });
  on<0xB, set({3}), kAll>(t, []<int r, int c>() { return &alu_address<Bus, Alu::Cmp, 2, c>; });
  on<0xB, set({7}), kAll>(t, []<int r, int c>() { return &alu_address<Bus, Alu::Cmp, 4, c>; });
  on<0xB, sizes_up, set({1})>(t, []<int r, int c>() { return &cmpm<Bus, row_size(r)>; });
  on<0xB, sizes_up, ~set({1}) & kAll>(
      t, []<int r, int c>() { return &alu_to_ea<Bus, Alu::Eor, row_size(r), c>; });

  // Line C: AND, MULU, MULS, ABCD, EXG.
  on<0xC, set({0}), set({1})>(t, []<int, int>() { return &illegal<Bus>; });
  on<0xC, sizes, kAll & ~set({1})>(
      t, []<int r, int c>() { return &alu_to_d<Bus, Alu::And, row_size(r), c>; });
  on<0xC, set({1, 2}), set({1})>(
      t, []<int r, int c>() { return &alu_to_d<Bus, Alu::And, row_size(r), c>; });
  on<0xC, set({3}), kAll>(t, []<int r, int c>() { return &mul<Bus, false, c>; });
  on<0xC, set({7}), kAll>(t, []<int r, int c>() { return &mul<Bus, true, c>; });
  on<0xC, set({4}), set({0, 1})>(t, []<int r, int c>() { return &bcd<Bus, false, c == 1>; });
  on<0xC, set({5}), set({0})>(t, []<int, int>() { return &exg<Bus, false, false>; });
  on<0xC, set({5}), set({1})>(t, []<int, int>() { return &exg<Bus, true, true>; });
  on<0xC, set({6}), set({0})>(t, []<int, int>() { return &alu_to_ea<Bus, Alu::And, 4, 0>; });
  on<0xC, set({6}), set({1})>(t, []<int, int>() { return &exg<Bus, false, true>; });
  on<0xC, sizes_up, memory>(
      t, []<int r, int c>() { return &alu_to_ea<Bus, Alu::And, row_size(r), c>; });

  // Line E: register shifts (column bit 2: count in Dr9; bits 1-0: type);
  // memory shifts in rows 3 and 7.
  on<0xE, sizes | sizes_up, kAll>(t, []<int r, int c>() {
    return &shift_register<Bus, row_size(r), static_cast<Shift>(c & 3), (r >= 4), (c >= 4)>;
  });
  on<0xE, set({3, 7}), kAll>(t, []<int r, int c>() { return &shift_memory_group<Bus, r, c>; });

  // Line F: line-F exception.
  on<0xF, kAll, kAll>(t, []<int, int>() { return &line_f<Bus>; });
  return t.complete();
}();

// One instruction of the instance at pc: fetch, advance PC, one lookup, one
// call. Returns the PC of the next instruction.
template <class Bus>
[[gnu::always_inline]] inline uint32_t step(Emu68 &cpu, uint32_t pc) {
  uint32_t w = Bus::fetch16(cpu, pc);
  return kMain<Bus>[(w >> 12) << 6 | ((w >> 3) & 63)](cpu, pc + 2, (w >> 9) & 7, w & 7);
}

}  // namespace emu68

#endif
