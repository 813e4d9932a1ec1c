// STE DMA sound and MicroWire through the plug-in record and mw_mix, with
// our own stand-in for the YM's sample buffer and a 68000 memory of exactly
// 512 KiB on the heap (so any read outside it trips AddressSanitizer).

#include "chips/microwire.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFFFF8900u;
constexpr uint32_t kControl = kBase + 0x01;
constexpr uint32_t kCounter = kBase + 0x09;
constexpr uint32_t kMode = kBase + 0x21;
constexpr uint32_t kData = kBase + 0x22;
constexpr uint32_t kMask = kBase + 0x24;

constexpr int kFrame = 883;  // samples of one 50 Hz frame at 44100 Hz

// LMC1992 commands as sent with mask 0x07FF: address bits 10, then three
// function bits and six value bits.
constexpr uint32_t kCmdMixer = 0x400;
constexpr uint32_t kCmdBass = 0x440;
constexpr uint32_t kCmdTreble = 0x480;
constexpr uint32_t kCmdMaster = 0x4C0;
constexpr uint32_t kCmdRight = 0x500;
constexpr uint32_t kCmdLeft = 0x540;

IoPlugin68 &ste = mw_io_plugin;

void wb(uint32_t a, uint32_t v) { ste.write_b(a, v, 0); }
uint32_t rb(uint32_t a) { return ste.read_b(a, 0); }

void set_frame(uint32_t start, uint32_t end) {
  for (int i = 0; i < 3; ++i) {
    wb(kBase + 0x03 + 2 * i, start >> (16 - 8 * i));
    wb(kBase + 0x0F + 2 * i, end >> (16 - 8 * i));
  }
}

uint32_t counter() {
  return (rb(kCounter) << 16) | (rb(kCounter + 2) << 8) | rb(kCounter + 4);
}

void command(uint32_t data, uint32_t mask = 0x07FF) {
  ste.write_w(kMask, mask, 0);
  ste.write_w(kData, data, 0);
}

int16_t left(uint32_t w) { return static_cast<int16_t>(w & 0xFFFF); }
int16_t right(uint32_t w) { return static_cast<int16_t>(w >> 16); }

class Ste : public ::testing::Test {
 protected:
  std::vector<uint8_t> mem = std::vector<uint8_t>(MW_MEMORY_SIZE);
  std::vector<uint32_t> buf = std::vector<uint32_t>(kFrame);

  void SetUp() override {
    mw_sampling_rate(44100);
    ASSERT_EQ(mw_init(), 0);
    for (uint32_t i = 0; i < MW_MEMORY_SIZE; ++i) {
      mem[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    }
  }

  // Signed DMA byte at an address of the emulated memory.
  int32_t at(uint32_t address) const { return static_cast<int8_t>(mem[address & 0x7FFFF]); }

  void fill_ym(int32_t base) {
    for (int i = 0; i < kFrame; ++i) {
      buf[i] = static_cast<uint32_t>(base + 37 * i - 9000);
    }
  }
};

TEST_F(Ste, PluginRecord) {
  EXPECT_STREQ(ste.name, "STE-MicroWire");
  EXPECT_EQ(ste.addr_lo, 0xFFFF8900u);
  EXPECT_EQ(ste.addr_hi, 0xFFFF8925u);
  EXPECT_EQ(ste.next_interrupt(0), IO68_NO_INTERRUPT);
  EXPECT_EQ(ste.interrupt(0), nullptr);
}

TEST_F(Ste, RegisterFile) {
  // Even offsets below 0x22 read 0 and drop writes; odd ones are stored.
  wb(kBase + 0x20, 0x12);
  EXPECT_EQ(rb(kBase + 0x20), 0u);
  wb(kMode, 0x81);
  EXPECT_EQ(rb(kMode), 0x81u);
  wb(kBase + 0x15, 0x77);  // no role, stored
  EXPECT_EQ(rb(kBase + 0x15), 0x77u);
  // From 0x22 up every byte is kept; only the low 6 address bits count.
  wb(kBase + 0x26, 0x5A);
  EXPECT_EQ(rb(kBase + 0x26), 0x5Au);
  EXPECT_EQ(rb(0x00FF8966u), 0x5Au);
  // The counter cannot be written.
  wb(kCounter, 0x12);
  EXPECT_EQ(rb(kCounter), 0u);
  // Word and long accesses are big-endian byte sequences.
  set_frame(0x012345, 0x06789A);
  EXPECT_EQ(ste.read_w(kBase + 0x02, 0), 0x0001u);
  EXPECT_EQ(ste.read_l(kBase + 0x02, 0), 0x00010023u);
  ste.write_l(kBase + 0x0E, 0x00AB00CDu, 0);
  EXPECT_EQ(rb(kBase + 0x0F), 0xABu);
  EXPECT_EQ(rb(kBase + 0x11), 0xCDu);
  ste.write_w(kMask, 0xBEEF, 0);
  EXPECT_EQ(ste.read_w(kMask, 0), 0xBEEFu);
}

TEST_F(Ste, ControlWriteLatchesTheFrame) {
  set_frame(0x012345, 0x020000);
  EXPECT_EQ(counter(), 0u);
  wb(kControl, 0xFF);  // only play and loop are kept
  EXPECT_EQ(rb(kControl), 3u);
  EXPECT_EQ(counter(), 0x012345u);
  // Every control write restarts the frame, a write of 0 included.
  wb(kMode, 0x83);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_NE(counter(), 0x012345u);
  set_frame(0x030000, 0x040000);
  wb(kControl, 0);
  EXPECT_EQ(rb(kControl), 0u);
  EXPECT_EQ(counter(), 0x030000u);
}

TEST_F(Ste, ResetState) {
  set_frame(0x1000, 0x2000);
  wb(kControl, 1);
  wb(kBase + 0x30, 0x99);  // beyond the cleared range
  command(kCmdMixer | 2);
  command(kCmdMaster | 3);
  mw_sampling_rate(22050);
  ASSERT_EQ(ste.reset(), 0);
  EXPECT_EQ(rb(kControl), 0u);
  EXPECT_EQ(rb(kBase + 0x03), 0u);
  EXPECT_EQ(counter(), 0u);
  EXPECT_EQ(ste.read_w(kMask, 0), 0u);
  EXPECT_EQ(rb(kBase + 0x30), 0x99u);
  EXPECT_EQ(mw_sampling_rate(0), 22050u);
  const MwLmc1992 *lmc = mw_lmc1992();
  EXPECT_EQ(lmc->mixer, 1);
  EXPECT_EQ(lmc->master_db, 0);
  EXPECT_EQ(lmc->left_db, 0);
  EXPECT_EQ(lmc->right_db, 0);
  EXPECT_EQ(lmc->lr_db, 0);
  EXPECT_EQ(lmc->bass_db, -12);
  EXPECT_EQ(lmc->treble_db, -12);
}

TEST_F(Ste, SamplingRate) {
  EXPECT_EQ(mw_sampling_rate(0), 44100u);
  EXPECT_EQ(mw_sampling_rate(48000), 48000u);
  EXPECT_EQ(mw_sampling_rate(0), 48000u);
  // 50066 Hz mono at 48000 Hz: 267/256 byte per sample.
  command(kCmdMixer | 2);
  set_frame(0x1000, 0x9000);
  wb(kMode, 0x83);
  wb(kControl, 1);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(counter(), 0x1000u + kFrame * 267 / 256);
}

// Each rate, mono and stereo, DMA alone at full scale (mixer 2): output
// sample k is the byte at (start x 256 + k x step) >> 8, times 256; stereo
// reads the byte pair at the even address. Steps in 1/256 byte at 44100 Hz
// output, worked out by hand from 6258, 12516, 25033 and 50066 Hz.
TEST_F(Ste, EveryRateMonoAndStereo) {
  constexpr uint32_t kMonoStep[4] = {36, 72, 145, 290};
  constexpr uint32_t kStereoStep[4] = {72, 145, 290, 581};
  const uint32_t start = 0x10001;  // odd on purpose
  for (int stereo = 0; stereo < 2; ++stereo) {
    for (uint32_t r = 0; r < 4; ++r) {
      SCOPED_TRACE(::testing::Message() << "rate " << r << " stereo " << stereo);
      mw_reset();
      command(kCmdMixer | 2);
      set_frame(start, start + 0x10000);
      wb(kMode, (stereo ? 0x00 : 0x80) | r);
      wb(kControl, 1);
      const uint32_t step = stereo ? kStereoStep[r] : kMonoStep[r];
      uint64_t pos = uint64_t{start} << 8;
      for (int call = 0; call < 3; ++call) {
        fill_ym(1234 * call);  // YM gain 0 in this setting
        mw_mix(buf.data(), mem.data(), kFrame);
        for (int k = 0; k < kFrame; ++k, pos += step) {
          const uint32_t byte = static_cast<uint32_t>(pos >> 8);
          const int32_t a = stereo ? at(byte & ~1u) : at(byte);
          const int32_t b = stereo ? at((byte & ~1u) + 1) : a;
          ASSERT_EQ(left(buf[k]), a * 256) << "call " << call << " sample " << k;
          ASSERT_EQ(right(buf[k]), b * 256) << "call " << call << " sample " << k;
        }
        // The counter shows how many bytes the frame has consumed.
        EXPECT_EQ(counter(), start + (call + 1) * kFrame * step / 256);
      }
      EXPECT_EQ(rb(kControl), 1u);
    }
  }
}

TEST_F(Ste, Mode81StepsBy72) {
  command(kCmdMixer | 2);
  set_frame(0x20000, 0x30000);
  wb(kMode, 0x81);
  wb(kControl, 1);
  mw_mix(buf.data(), mem.data(), 1);
  EXPECT_EQ(counter(), 0x20000u);  // 72/256 of a byte
  mw_mix(buf.data(), mem.data(), 3);
  EXPECT_EQ(counter(), 0x20001u);  // 288/256
  mw_mix(buf.data(), mem.data(), 252);
  EXPECT_EQ(counter(), 0x20000u + 256 * 72 / 256);
}

// A looping frame wraps with its sub-byte phase kept, and picks up new
// frame registers only when it wraps.
TEST_F(Ste, LoopKeepsPhaseAndTakesTheNextFrameAtTheWrap) {
  for (int stereo = 0; stereo < 2; ++stereo) {
    SCOPED_TRACE(::testing::Message() << "stereo " << stereo);
    mw_reset();
    command(kCmdMixer | 2);
    uint32_t s = 0x2000, e = 0x2011;
    set_frame(s, e);
    wb(kMode, stereo ? 0x03 : 0x83);
    wb(kControl, 3);
    const uint32_t step = stereo ? 581 : 290;
    uint32_t pos = s << 8, end = e << 8;
    for (int call = 0; call < 4; ++call) {
      if (call == 2) {
        // A new frame registered while the old one plays.
        s = 0x5003;
        e = 0x5040;
        set_frame(s, e);
      }
      mw_mix(buf.data(), mem.data(), kFrame);
      for (int k = 0; k < kFrame; ++k) {
        const uint32_t byte = pos >> 8;
        const int32_t a = stereo ? at(byte & ~1u) : at(byte);
        const int32_t b = stereo ? at((byte & ~1u) + 1) : a;
        ASSERT_EQ(left(buf[k]), a * 256) << call << ":" << k;
        ASSERT_EQ(right(buf[k]), b * 256) << call << ":" << k;
        pos += step;
        if (pos >= end) {
          pos = pos - end + (s << 8);
          end = e << 8;
        }
      }
      EXPECT_EQ(counter(), pos >> 8);
      EXPECT_EQ(rb(kControl), 3u);
    }
    EXPECT_GE(counter(), 0x5003u);
  }
}

// Without loop the DMA stops at the frame end: the rest of the buffer is
// the YM alone, the control reads 0 and the counter shows the frame start.
TEST_F(Ste, StopWithoutLoop) {
  // Mixer 1: DMA x 65536 plus YM x 768, over 1024.
  set_frame(0x3000, 0x3040);
  wb(kMode, 0x81);  // 72/256 byte per sample: 0x40 bytes in 228 samples
  wb(kControl, 1);
  fill_ym(0);
  std::vector<uint32_t> ym(buf);
  mw_mix(buf.data(), mem.data(), kFrame);
  for (int k = 0; k < kFrame; ++k) {
    const int32_t y = static_cast<int32_t>(ym[k]);
    const int32_t dma = k < 228 ? at(0x3000 + k * 72 / 256) * 65536 : 0;
    const int32_t want = (y * 768 + dma) >> 10;
    ASSERT_EQ(left(buf[k]), static_cast<int16_t>(want)) << k;
    ASSERT_EQ(right(buf[k]), static_cast<int16_t>(want)) << k;
  }
  EXPECT_EQ(rb(kControl), 0u);
  EXPECT_EQ(counter(), 0x3000u);
  // The next frame is YM only.
  buf.assign(kFrame, 1000);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(buf[0], (750u << 16) | 750u);
  EXPECT_EQ(buf[kFrame - 1], (750u << 16) | 750u);
}

TEST_F(Ste, EmptyFrameStopsAtOnce) {
  set_frame(0x4000, 0x4000);
  wb(kControl, 1);
  buf.assign(kFrame, 4);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(buf[0], (3u << 16) | 3u);
  EXPECT_EQ(rb(kControl), 0u);
}

TEST_F(Ste, YmAloneAndMixerGains) {
  // Control 0: the YM scaled by 768/1024 in both halves.
  const int32_t ys[] = {0, 1000, -1001, 26624, -26624, 1, -1};
  const int32_t want[] = {0, 750, -751, 19968, -19968, 0, -1};
  for (size_t i = 0; i < std::size(ys); ++i) {
    buf[i] = static_cast<uint32_t>(ys[i]);
  }
  mw_mix(buf.data(), mem.data(), static_cast<int>(std::size(ys)));
  for (size_t i = 0; i < std::size(ys); ++i) {
    EXPECT_EQ(left(buf[i]), want[i]) << i;
    EXPECT_EQ(right(buf[i]), want[i]) << i;
  }
  // Mixer 2 with the DMA off: silence.
  command(kCmdMixer | 2);
  EXPECT_EQ(mw_lmc1992()->mixer, 2);
  fill_ym(500);
  mw_mix(buf.data(), mem.data(), kFrame);
  for (int k = 0; k < kFrame; ++k) {
    ASSERT_EQ(buf[k], 0u) << k;
  }
  // Mixer 0: DMA x 4135 (a byte of 100 gives 403, -128 gives -517); setting
  // 3 keeps whatever gains were in force.
  command(kCmdMixer | 0);
  command(kCmdMixer | 3);
  EXPECT_EQ(mw_lmc1992()->mixer, 3);
  mem[0x6000] = 100;
  mem[0x6001] = 0x80;
  set_frame(0x6000, 0x6002);
  wb(kMode, 0x03);  // stereo: one pair, looped
  wb(kControl, 3);
  buf[0] = 0;
  buf[1] = 1000;
  mw_mix(buf.data(), mem.data(), 2);
  EXPECT_EQ(left(buf[0]), 403);
  EXPECT_EQ(right(buf[0]), -517);
  // With the YM: (1000 x 768 + 100 x 4135) >> 10 and (... - 128 x 4135) >> 10.
  EXPECT_EQ(left(buf[1]), 1153);
  EXPECT_EQ(right(buf[1]), 233);
}

TEST_F(Ste, Nothing_ForEmptyCalls) {
  buf.assign(4, 1234);
  mw_mix(buf.data(), mem.data(), 0);
  mw_mix(buf.data(), mem.data(), -5);
  EXPECT_EQ(buf, std::vector<uint32_t>(4, 1234));
}

TEST_F(Ste, MicroWireCommands) {
  command(kCmdMaster | 3);
  EXPECT_EQ(mw_lmc1992()->master_db, -74);
  // The documented example: address 10, then 011 101000.
  command(0x04E8, 0x07FF);
  EXPECT_EQ(mw_lmc1992()->master_db, 0);

  command(kCmdLeft | 5);
  command(kCmdRight | 10);
  EXPECT_EQ(mw_lmc1992()->left_db, -30);
  EXPECT_EQ(mw_lmc1992()->right_db, -20);
  EXPECT_EQ(mw_lmc1992()->lr_db, -25);
  command(kCmdLeft | 31);  // above the range: held at 0 dB
  EXPECT_EQ(mw_lmc1992()->left_db, 0);
  command(kCmdBass | 15);
  command(kCmdTreble | 6);
  EXPECT_EQ(mw_lmc1992()->bass_db, 12);
  EXPECT_EQ(mw_lmc1992()->treble_db, 0);
  command(kCmdMaster | 63);
  command(kCmdMaster | 20);
  EXPECT_EQ(mw_lmc1992()->master_db, -40);

  // The mask may sit anywhere: the same command under a mask at the top.
  command(0x04E8u << 5, 0xFFE0);
  EXPECT_EQ(mw_lmc1992()->master_db, 0);
  // Unmasked bits between the address and the command are skipped.
  command(kCmdMaster | 20);
  command(0x8000 | (0x0E8 << 4), 0xDFF0);
  EXPECT_EQ(mw_lmc1992()->master_db, 0);
  // Ignored: a wrong device address, an empty mask, too few command bits,
  // and the unused functions 110 and 111.
  command(kCmdMaster | 20);
  command(0x06E8);                 // address 11
  command(0x04E8, 0);              // nothing sent
  command(0x04E8u >> 3, 0x00FF);   // address + 6 bits only
  command(0x0580 | 40);            // function 110
  command(0x05C0 | 40);            // function 111
  EXPECT_EQ(mw_lmc1992()->master_db, -40);
  EXPECT_EQ(mw_lmc1992()->mixer, 1);

  // A long write of data and mask sends with the mask that was in place:
  // here 0x0000, so nothing happens, and the new mask stays for next time.
  command(kCmdMaster | 20, 0);
  ste.write_l(kData, 0x04E807FFu, 0);
  EXPECT_EQ(mw_lmc1992()->master_db, -40);
  EXPECT_EQ(ste.read_w(kMask, 0), 0x07FFu);
  ste.write_w(kData, 0x04E8, 0);
  EXPECT_EQ(mw_lmc1992()->master_db, 0);
  // Writing the data's high byte alone sends nothing (0x0568 would set the
  // left volume).
  command(kCmdBass | 0x28);
  EXPECT_EQ(mw_lmc1992()->bass_db, 4);
  wb(kData, 0x05);
  EXPECT_EQ(mw_lmc1992()->left_db, 0);
}

// Hostile frame registers: every read must stay inside the 512 KiB block
// (AddressSanitizer watches the heap block's edges), and what is played is
// the memory at the address modulo 512 KiB. Checked against a plain model
// of the DMA walk (32-bit position in 1/256 byte, wrap or stop at the end).
TEST_F(Ste, FrameAddressesWrapInsideMemory) {
  struct Case {
    uint32_t start, end, mode, control, rate;
  };
  const Case cases[] = {
      {0xFFFFF0, 0xFFFFFF, 0x83, 3, 44100},  // top of the 24-bit range, mono
      {0xFFFFF1, 0xFFFFFF, 0x03, 3, 44100},  // stereo, odd start
      {0x07FFF9, 0x080007, 0x03, 3, 44100},  // across the top of memory
      {0x07FFFF, 0x07FFFF, 0x83, 3, 44100},  // empty frame with loop
      {0x070000, 0x000100, 0x03, 3, 44100},  // start beyond end, looping
      {0x07FFFF, 0x0800FF, 0x80, 1, 44100},  // slow, no loop
      {0x000000, 0xFFFFFF, 0x03, 3, 1},      // huge steps: the position wraps
      {0xFFFF00, 0xFFFFFF, 0x82, 1, 7},      // huge steps, no loop
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.start << "-" << c.end);
    mw_sampling_rate(c.rate);
    mw_reset();
    command(kCmdMixer | 2);
    set_frame(c.start, c.end);
    wb(kMode, c.mode);
    wb(kControl, c.control);

    const bool stereo = (c.mode & 0x80) == 0;
    const bool loop = (c.control & 2) != 0;
    const uint32_t step = ((50066u >> (3 - (c.mode & 3))) << (stereo ? 9 : 8)) / c.rate;
    const uint32_t s = c.start << 8, e = c.end << 8;
    uint32_t pos = s, end = e;
    bool playing = true;
    auto at_end = [&] {
      if (loop) {
        pos += s - end;
        end = e;
      } else {
        playing = false;
        pos = s;
        end = e;
      }
    };
    int played = 0;
    for (int call = 0; call < 40; ++call) {
      mw_mix(buf.data(), mem.data(), kFrame);
      if (playing && pos >= end) {
        at_end();
      }
      for (int k = 0; k < kFrame; ++k) {
        int32_t a = 0, b = 0;
        if (playing) {
          const uint32_t byte = pos >> 8;
          a = stereo ? at(byte & ~1u) : at(byte);
          b = stereo ? at((byte & ~1u) + 1) : a;
          ++played;
          pos += step;
          if (pos >= end) {
            at_end();
          }
        }
        ASSERT_EQ(left(buf[k]), a * 256) << call << ":" << k;
        ASSERT_EQ(right(buf[k]), b * 256) << call << ":" << k;
      }
      ASSERT_EQ(counter(), pos >> 8);
    }
    EXPECT_GT(played, 0);
  }
  mw_sampling_rate(44100);
}

// Any buffer content (a stale frame of stereo words, say) mixes without
// signed overflow: the sums wrap as 32-bit values would.
TEST_F(Ste, ExtremeYmValuesWrap) {
  buf.assign(kFrame, 0x7FFF7FFFu);
  mw_mix(buf.data(), mem.data(), kFrame);
  const int32_t s = static_cast<int32_t>(0x7FFF7FFFu * 768u) >> 10;
  EXPECT_EQ(left(buf[0]), static_cast<int16_t>(s));
}

}  // namespace
