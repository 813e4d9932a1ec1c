// Shifter registers through the plug-in's bus handlers: the sync mode and
// resolution bytes, and how word and long accesses split into bytes.
#include "chips/shifter.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr uint32_t kBase = 0xFFFF8200;

uint32_t rb(uint32_t r) { return shifter_io_plugin.read_b(kBase + r, 0); }
uint32_t rw(uint32_t r) { return shifter_io_plugin.read_w(kBase + r, 0); }
uint32_t rl(uint32_t r) { return shifter_io_plugin.read_l(kBase + r, 0); }
void wb(uint32_t r, uint32_t v) { shifter_io_plugin.write_b(kBase + r, v, 0); }
void ww(uint32_t r, uint32_t v) { shifter_io_plugin.write_w(kBase + r, v, 0); }
void wl(uint32_t r, uint32_t v) { shifter_io_plugin.write_l(kBase + r, v, 0); }

TEST(Shifter, PluginRecord) {
  EXPECT_STREQ(shifter_io_plugin.name, "Shifter");
  EXPECT_EQ(shifter_io_plugin.addr_lo, 0xFFFF8200u);
  EXPECT_EQ(shifter_io_plugin.addr_hi, 0xFFFF82FFu);
  EXPECT_EQ(shifter_io_plugin.next_interrupt(0), IO68_NO_INTERRUPT);
  EXPECT_EQ(shifter_io_plugin.interrupt(0), nullptr);
}

// Runs first in this program: the sync byte answers 50 Hz before any reset.
TEST(Shifter, PowerOnAndReset) {
  EXPECT_EQ(rb(0x0A), 0xFEu);
  EXPECT_EQ(rb(0x60), 0u);
  wb(0x0A, 0x00);
  wb(0x60, 0x02);
  EXPECT_EQ(shifter_io_plugin.reset(), 0);
  EXPECT_EQ(rb(0x0A), 0xFEu);
  EXPECT_EQ(rb(0x60), 0u);
}

TEST(Shifter, WordReadsSplitIntoBytes) {
  shifter_reset();
  EXPECT_EQ(rw(0x0A), 0xFE00u);
  EXPECT_EQ(rw(0x09), 0x00FEu);
  EXPECT_EQ(rb(0x61), 0u);
  EXPECT_EQ(rb(0x0B), 0u);
  EXPECT_EQ(rl(0x08), 0x000000FEu << 8);
  EXPECT_EQ(rl(0x0A), 0xFE000000u);
}

TEST(Shifter, WritesReachOnlyTheTwoRegisters) {
  shifter_reset();
  ww(0x0A, 0x0200);
  EXPECT_EQ(rb(0x0A), 0x02u);
  ww(0x5F, 0x1201);  // low byte lands on 0x60
  EXPECT_EQ(rb(0x60), 0x01u);
  wl(0x08, 0x0000FC00);
  EXPECT_EQ(rb(0x0A), 0xFCu);
  wb(0x0B, 0x55);
  wb(0x20, 0x55);
  EXPECT_EQ(rb(0x0B), 0u);
  EXPECT_EQ(rb(0x20), 0u);
  EXPECT_EQ(rw(0x60), 0x0100u);
}

// Only the low 8 bits of the address pick a register.
TEST(Shifter, AddressMirrors) {
  shifter_reset();
  EXPECT_EQ(shifter_io_plugin.read_b(0x00FF820A, 0), 0xFEu);
  shifter_io_plugin.write_b(0x00808260, 0x01, 0);
  EXPECT_EQ(rb(0x60), 0x01u);
}

}  // namespace
