// A freshly initialised emulator with 512 KiB of memory, and helpers to
// poke and peek big-endian values in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "emu68/emu68.h"

class Emu68Test : public ::testing::Test {
 protected:
  static constexpr int32_t kSize = 0x80000;

  void SetUp() override {
    memory_.assign(kSize + 3, 0xAA);
    while (EMU68_pop_error()) {
    }
    ASSERT_EQ(EMU68_init(memory_.data(), kSize), 0);
  }
  void TearDown() override {
    EMU68_unplug_all_io();
    EMU68_select_interrupt_source(nullptr);
    EMU68_release();
  }

  uint32_t peek(uint32_t address, int bytes) const {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | memory_[address + i];
    return v;
  }
  uint32_t peek_w(uint32_t address) const { return peek(address, 2); }
  uint32_t peek_l(uint32_t address) const { return peek(address, 4); }
  void poke(uint32_t address, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) memory_[address + i] = value & 0xFF;
  }
  void poke_w(uint32_t address, uint32_t value) { poke(address, value, 2); }
  void poke_l(uint32_t address, uint32_t value) { poke(address, value, 4); }
  // Writes opcode words from `address` on.
  void code(uint32_t address, std::initializer_list<uint16_t> words) {
    for (uint16_t w : words) {
      poke_w(address, w);
      address += 2;
    }
  }

  Reg68 regs() const {
    Reg68 r;
    EMU68_save_registers(&r);
    return r;
  }
  void set_pc_sr(uint32_t pc, uint32_t sr) {
    Reg68 r = regs();
    r.pc = pc;
    r.sr = sr;
    EMU68_load_registers(&r);
  }

  std::vector<uint8_t> memory_;
};
