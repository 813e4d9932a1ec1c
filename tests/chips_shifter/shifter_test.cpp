// Shifter registers through the plug-in's bus handlers: the sync mode and
// resolution bytes, and how word and long accesses split into bytes.
#include "chips/shifter.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr uint32_t kBase = 0xFFFF8200;
IoPlugin68 &sh = shifter_io_plugin;

uint32_t rb(uint32_t r) { return sh.read_b(kBase + r, 0); }

// Runs first in this program: the sync byte answers 50 Hz before any reset.
TEST(Shifter, RecordPowerOnAndReset) {
  EXPECT_STREQ(sh.name, "Shifter");
  EXPECT_EQ(sh.addr_lo, 0xFFFF8200u);
  EXPECT_EQ(sh.addr_hi, 0xFFFF82FFu);
  EXPECT_EQ(sh.interrupt, nullptr);  // never an interrupt source
  EXPECT_EQ(rb(0x0A), 0xFEu);
  EXPECT_EQ(rb(0x60), 0u);
  sh.write_b(kBase + 0x0A, 0x00, 0);
  sh.write_b(kBase + 0x60, 0x02, 0);
  EXPECT_EQ(sh.reset(), 0);
  EXPECT_EQ(rb(0x0A), 0xFEu);
  EXPECT_EQ(rb(0x60), 0u);
}

// Word and long accesses are big-endian byte sequences; only the two
// registers keep what is written, and only the low 8 address bits count.
TEST(Shifter, AccessesSplitIntoBytes) {
  shifter_reset();
  EXPECT_EQ(sh.read_w(kBase + 0x0A, 0), 0xFE00u);
  EXPECT_EQ(sh.read_w(kBase + 0x09, 0), 0x00FEu);
  EXPECT_EQ(sh.read_l(kBase + 0x08, 0), 0x0000FE00u);
  EXPECT_EQ(sh.read_l(kBase + 0x0A, 0), 0xFE000000u);
  EXPECT_EQ(sh.read_b(0x00FF820A, 0), 0xFEu);
  sh.write_w(kBase + 0x0A, 0x0200, 0);
  EXPECT_EQ(rb(0x0A), 0x02u);
  sh.write_w(kBase + 0x5F, 0x1201, 0);  // low byte lands on 0x60
  EXPECT_EQ(rb(0x60), 0x01u);
  sh.write_l(kBase + 0x08, 0x0000FC00, 0);
  EXPECT_EQ(rb(0x0A), 0xFCu);
  sh.write_b(kBase + 0x0B, 0x55, 0);
  sh.write_b(kBase + 0x20, 0x55, 0);
  EXPECT_EQ(rb(0x0B), 0u);
  EXPECT_EQ(rb(0x20), 0u);
  sh.write_b(0x00808260, 0x03, 0);
  EXPECT_EQ(sh.read_w(kBase + 0x60, 0), 0x0300u);
}

}  // namespace
