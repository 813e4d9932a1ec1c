// The YM-2149 on the bus: its record, the select and data ports, read-back
// from the queues, the queue limit, reset and the output settings.
#include <gtest/gtest.h>

#include <cstring>

#include "chips/ym2149.h"
#include "ym_test_util.h"

namespace {

using namespace ymtest;

class YmPorts : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
};

TEST_F(YmPorts, RecordDescribesTheChip) {
  EXPECT_STREQ(ym_io_plugin.name, "YM-2149");
  EXPECT_EQ(ym_io_plugin.addr_lo, 0xFFFF8800u);
  EXPECT_EQ(ym_io_plugin.addr_hi, 0xFFFF88FFu);
  EXPECT_EQ(ym_io_plugin.interrupt(0), nullptr);
  EXPECT_EQ(ym_io_plugin.next_interrupt(1234), IO68_NO_INTERRUPT);
  EXPECT_EQ(ym_io_plugin.reset(), 0);
}

TEST_F(YmPorts, ResetState) {
  for (int r = 0; r < 16; ++r) {
    uint32_t expected = r == 7 ? 0x3F : r == 13 ? 10 : 0;
    EXPECT_EQ(read_reg(r), expected) << r;
  }
}

TEST_F(YmPorts, WriteIsReadBackBeforeRenderingWithAllBits) {
  write_reg(1, 0xFF);
  EXPECT_EQ(read_reg(1), 0xFFu);
  write_reg(8, 0xE3);  // no masking of unused bits
  EXPECT_EQ(read_reg(8), 0xE3u);
  write_reg(8, 0x12, 500);  // the newest queued write wins
  EXPECT_EQ(read_reg(8), 0x12u);
  ym_render_frame(kFrame);
  EXPECT_EQ(read_reg(1), 0xFFu);  // now from the register file
  EXPECT_EQ(read_reg(8), 0x12u);
}

TEST_F(YmPorts, EveryRoutedRegisterReadsBack) {
  for (int r = 0; r <= 13; ++r) write_reg(r, 0x40 + r, 100 * r);
  for (int r = 0; r <= 13; ++r) EXPECT_EQ(read_reg(r), 0x40u + r) << r;
  ym_render_frame(kFrame);
  for (int r = 0; r <= 13; ++r) EXPECT_EQ(read_reg(r), 0x40u + r) << r;
}

TEST_F(YmPorts, PortsRegistersAndOutOfRangeNumbersAreDropped) {
  write_reg(14, 0x55);
  write_reg(15, 0x66);
  write_reg(16, 0x77);
  write_reg(0xFF, 0x88);
  EXPECT_EQ(read_reg(14), 0u);
  EXPECT_EQ(read_reg(15), 0u);
  EXPECT_EQ(read_reg(16), 0u);
  ym_render_frame(kFrame);
  EXPECT_EQ(read_reg(14), 0u);
  EXPECT_EQ(read_reg(0), 0u);
}

TEST_F(YmPorts, AddressDecoding) {
  // Select: bit 1 clear (mirrors every 4 bytes and on odd addresses too).
  ym_io_plugin.write_b(0xFFFF8801, 3, 0);
  ym_io_plugin.write_b(0xFFFF8803, 0x21, 0);  // data: bit 1 set
  ym_io_plugin.write_b(0xFFFF8804, 5, 0);
  ym_io_plugin.write_b(0xFFFF88FE, 0x43, 0);
  EXPECT_EQ(read_reg(3), 0x21u);
  EXPECT_EQ(read_reg(5), 0x43u);
  // Reads answer only at multiples of 4; the bus passes the unmasked address.
  ym_io_plugin.write_b(0x00FF8800, 3, 0);
  EXPECT_EQ(ym_io_plugin.read_b(0x00FF8800, 0), 0x21u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8804, 0), 0x21u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8801, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_b(0xFFFF8802, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_w(0xFFFF8800, 0), 0x2100u);
  EXPECT_EQ(ym_io_plugin.read_w(0xFFFF8802, 0), 0u);
  EXPECT_EQ(ym_io_plugin.read_l(0xFFFF8800, 0), 0x21000000u);
  EXPECT_EQ(ym_io_plugin.read_l(0xFFFF8802, 0), 0x00002100u);
}

TEST_F(YmPorts, WordAndLongWrites) {
  ym_io_plugin.write_w(kSelect, 0x07AA, 0);  // high byte selects
  ym_io_plugin.write_w(kData, 0x3EBB, 0);    // high byte is the value
  EXPECT_EQ(read_reg(7), 0x3Eu);
  ym_io_plugin.write_l(kSelect, 0x0899'0FCC, 0);  // select R8, write 0x0F
  EXPECT_EQ(read_reg(8), 0x0Fu);
  ym_io_plugin.write_l(kSelect, 0x0A00'1D00, 0);
  EXPECT_EQ(read_reg(10), 0x1Du);
}

TEST_F(YmPorts, FullQueueOverwritesItsLastEntry) {
  // Fill the tone queue (2048 entries) with tone-period writes.
  for (int i = 0; i < 2048; ++i) write_reg(0, i & 0xFF, i);
  write_reg(8, 15, 3000);  // replaces the last R0 write
  EXPECT_EQ(read_reg(8), 15u);
  EXPECT_EQ(read_reg(0), 2046u & 0xFF);  // the 2048th R0 write is gone
  write_reg(8, 7, 3001);
  EXPECT_EQ(read_reg(8), 7u);
  // The mixer goes to the full tone queue and to the noise queue: in the tone
  // queue it replaces the R8 write, which is then lost altogether.
  write_reg(7, 0x3F, 3002);
  EXPECT_EQ(read_reg(7), 0x3Fu);
  EXPECT_EQ(read_reg(8), 0u);
  // The other queues are not full.
  write_reg(6, 9, 3003);
  write_reg(11, 0x20, 3003);
  EXPECT_EQ(read_reg(6), 9u);
  EXPECT_EQ(read_reg(11), 0x20u);
  // Rendering plays what is queued: all volumes fixed at 0 give silence.
  int n = ym_render_frame(kFrame);
  for (int i = 0; i < n; ++i) ASSERT_EQ(ym_output_buffer()[i], 0) << i;
  EXPECT_EQ(read_reg(8), 0u);
}

TEST_F(YmPorts, FullQueueKeepsTheNewestWriteAudible) {
  for (int i = 0; i < 2100; ++i) write_reg(9, 0, i);  // volume B fixed at 0
  write_reg(8, 15, 5000);                             // overwrites the last slot
  auto s = frame();
  // A ends the frame at fixed level 15 with tones and noise off.
  EXPECT_EQ(s.back(), centred(kSingle[15], kSingle[15]));
}

TEST_F(YmPorts, ResetDropsQueuedWritesAndKeepsSettings) {
  ym_sampling_rate(22050);
  ym_voice_mask(5);
  write_reg(8, 15);
  write_reg(13, 4);
  write_reg(7, 0);
  ym_io_plugin.reset();
  EXPECT_EQ(read_reg(8), 0u);
  EXPECT_EQ(read_reg(13), 10u);
  EXPECT_EQ(read_reg(7), 0x3Fu);
  EXPECT_EQ(ym_sampling_rate(0), 22050u);
  EXPECT_EQ(ym_voice_mask(-1), 5);
  int n = ym_render_frame(kFrame);
  for (int i = 0; i < n; ++i) ASSERT_EQ(ym_output_buffer()[i], 0);
}

TEST_F(YmPorts, SamplingRateIsClamped) {
  EXPECT_EQ(ym_sampling_rate(0), 44100u);
  EXPECT_EQ(ym_sampling_rate(100), 6000u);
  EXPECT_EQ(ym_sampling_rate(0), 6000u);
  EXPECT_EQ(ym_sampling_rate(5999), 6000u);
  EXPECT_EQ(ym_sampling_rate(6001), 6001u);
  EXPECT_EQ(ym_sampling_rate(50001), 50000u);
  EXPECT_EQ(ym_sampling_rate(0xFFFFFFFFu), 50000u);
  EXPECT_EQ(ym_sampling_rate(32000), 32000u);
}

TEST_F(YmPorts, VoiceMaskSetAndGet) {
  EXPECT_EQ(ym_voice_mask(-1), 7);
  EXPECT_EQ(ym_voice_mask(2), 2);
  EXPECT_EQ(ym_voice_mask(-1), 2);
  EXPECT_EQ(ym_voice_mask(0xF9), 1);  // only bits 0-2 count
  EXPECT_EQ(ym_voice_mask(0), 0);
}

TEST_F(YmPorts, AdjustRebasesQueuedWrites) {
  // A write queued before the frame change at 160256 + 64000 sounds in the
  // next frame exactly like one made at 64000 after it.
  ym_render_frame(kFrame);
  write_reg(8, 15, kFrame + 64000);
  ym_io_plugin.adjust_cycles(kFrame);
  auto adjusted = frame();
  fresh();
  frame();
  write_reg(8, 15, 64000);
  auto direct = frame();
  EXPECT_EQ(adjusted, direct);
  // Without the rebase the write would land at the frame's end.
  fresh();
  frame();
  write_reg(8, 15, 96000);
  EXPECT_NE(frame(), direct);
}

}  // namespace
