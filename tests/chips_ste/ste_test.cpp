// STE DMA sound and MicroWire through the plug-in record and mw_mix, with
// our own stand-in for the YM's sample buffer and a 68000 memory of exactly
// 512 KiB on the heap (so any read outside it trips AddressSanitizer).

#include "chips/microwire.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
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
constexpr uint32_t kCmdMixer = 0x400, kCmdBass = 0x440, kCmdTreble = 0x480, kCmdMaster = 0x4C0,
                   kCmdRight = 0x500, kCmdLeft = 0x540;

IoPlugin68 &ste = mw_io_plugin;

void wb(uint32_t a, uint32_t v) { ste.write_b(a, v, 0); }
uint32_t rb(uint32_t a) { return ste.read_b(a, 0); }

void set_frame(uint32_t start, uint32_t end) {
  for (int i = 0; i < 3; ++i) {
    wb(kBase + 0x03 + 2 * i, start >> (16 - 8 * i));
    wb(kBase + 0x0F + 2 * i, end >> (16 - 8 * i));
  }
}

uint32_t counter() { return (rb(kCounter) << 16) | (rb(kCounter + 2) << 8) | rb(kCounter + 4); }

void command(uint32_t data, uint32_t mask = 0x07FF) {
  ste.write_w(kMask, mask, 0);
  ste.write_w(kData, data, 0);
}

int16_t left(uint32_t w) { return static_cast<int16_t>(w & 0xFFFF); }
int16_t right(uint32_t w) { return static_cast<int16_t>(w >> 16); }

// A plain model of the DMA walk: position in 1/256 byte (32 bits), the
// frame registers taken at each wrap, a stop at the end without loop.
struct Dma {
  uint32_t start, end, mode, control, step;  // step: 1/256 bytes per sample
  uint32_t pos = 0, cur_end = 0;
  bool playing = true;
  int played = 0;

  bool stereo() const { return (mode & 0x80) == 0; }
  void wrap() {
    if (control & 2) {
      pos += (start << 8) - cur_end;
    } else {
      playing = false;
      pos = start << 8;
    }
    cur_end = end << 8;
  }
};

class Ste : public ::testing::Test {
 protected:
  std::vector<uint8_t> mem = std::vector<uint8_t>(MW_MEMORY_SIZE);
  std::vector<uint32_t> buf = std::vector<uint32_t>(kFrame);

  void SetUp() override {
    mw_sampling_rate(44100);
    ASSERT_EQ(mw_init(), 0);
    for (uint32_t i = 0; i < MW_MEMORY_SIZE; ++i)
      mem[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  }

  // Signed DMA byte at an address of the emulated memory.
  int32_t at(uint32_t address) const { return static_cast<int8_t>(mem[address & 0x7FFFF]); }

  void fill_ym(int32_t base) {
    for (int i = 0; i < kFrame; ++i) buf[i] = static_cast<uint32_t>(base + 37 * i - 9000);
  }

  // Starts `d` with the DMA alone at full scale (mixer 2), then mixes calls
  // of the given lengths (YM input ignored), checking every sample and the
  // counter against the model. `before` may change the frame registers.
  void play(Dma &d, const std::vector<int> &lengths,
            const std::function<void(int, Dma &)> &before = {}) {
    mw_reset();
    command(kCmdMixer | 2);
    set_frame(d.start, d.end);
    wb(kMode, d.mode);
    wb(kControl, d.control);
    d.pos = d.start << 8;
    d.cur_end = d.end << 8;
    for (size_t call = 0; call < lengths.size(); ++call) {
      if (before) before(static_cast<int>(call), d);
      fill_ym(1234 * static_cast<int32_t>(call));
      mw_mix(buf.data(), mem.data(), lengths[call]);
      if (d.playing && d.pos >= d.cur_end) d.wrap();
      for (int k = 0; k < lengths[call]; ++k) {
        int32_t a = 0, b = 0;
        if (d.playing) {
          const uint32_t byte = d.pos >> 8;
          a = d.stereo() ? at(byte & ~1u) : at(byte);
          b = d.stereo() ? at((byte & ~1u) + 1) : a;
          ++d.played;
          d.pos += d.step;
          if (d.pos >= d.cur_end) d.wrap();
        }
        ASSERT_EQ(left(buf[k]), a * 256) << call << ":" << k;
        ASSERT_EQ(right(buf[k]), b * 256) << call << ":" << k;
      }
      ASSERT_EQ(counter(), d.pos >> 8) << call;
      ASSERT_EQ(rb(kControl), d.playing ? d.control & 3 : 0u) << call;
    }
  }
};

TEST_F(Ste, RecordRegisterFileAndReset) {
  EXPECT_STREQ(ste.name, "STE-MicroWire");
  EXPECT_EQ(ste.addr_lo, 0xFFFF8900u);
  EXPECT_EQ(ste.addr_hi, 0xFFFF8925u);
  EXPECT_EQ(ste.interrupt, nullptr);  // never an interrupt source
  // Even offsets below 0x22 read 0 and drop writes; odd ones are stored.
  wb(kBase + 0x20, 0x12);
  EXPECT_EQ(rb(kBase + 0x20), 0u);
  wb(kBase + 0x15, 0x77);  // no role, stored
  EXPECT_EQ(rb(kBase + 0x15), 0x77u);
  // From 0x22 up every byte is kept; only the low 6 address bits count.
  wb(kBase + 0x26, 0x5A);
  EXPECT_EQ(rb(0x00FF8966u), 0x5Au);
  wb(kCounter, 0x12);  // the counter cannot be written
  EXPECT_EQ(rb(kCounter), 0u);
  // Word and long accesses are big-endian byte sequences.
  set_frame(0x012345, 0x06789A);
  EXPECT_EQ(ste.read_w(kBase + 0x02, 0), 0x0001u);
  EXPECT_EQ(ste.read_l(kBase + 0x02, 0), 0x00010023u);
  ste.write_l(kBase + 0x0E, 0x00AB00CDu, 0);
  EXPECT_EQ(rb(kBase + 0x0F), 0xABu);
  EXPECT_EQ(rb(kBase + 0x11), 0xCDu);
  // A control write latches the frame (only play and loop are kept).
  EXPECT_EQ(counter(), 0u);
  wb(kControl, 0xFF);
  EXPECT_EQ(rb(kControl), 3u);
  EXPECT_EQ(counter(), 0x012345u);
  // Every control write restarts the frame, a write of 0 included.
  wb(kMode, 0x83);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_NE(counter(), 0x012345u);
  set_frame(0x030000, 0x040000);
  wb(kControl, 0);
  EXPECT_EQ(counter(), 0x030000u);
  // Reset clears 0x00-0x25 and the LMC1992, keeps the rate and the rest.
  wb(kBase + 0x30, 0x99);
  command(kCmdMixer | 2);
  command(kCmdMaster | 3);
  EXPECT_EQ(mw_sampling_rate(22050), 22050u);
  ASSERT_EQ(ste.reset(), 0);
  EXPECT_EQ(rb(kControl), 0u);
  EXPECT_EQ(rb(kBase + 0x03), 0u);
  EXPECT_EQ(counter(), 0u);
  EXPECT_EQ(ste.read_w(kMask, 0), 0u);
  EXPECT_EQ(rb(kBase + 0x30), 0x99u);
  EXPECT_EQ(mw_sampling_rate(0), 22050u);
  const MwLmc1992 *lmc = mw_lmc1992();
  EXPECT_EQ(lmc->mixer, 1);
  EXPECT_EQ(lmc->master_db + lmc->left_db + lmc->right_db + lmc->lr_db, 0);
  EXPECT_EQ(lmc->bass_db, -12);
  EXPECT_EQ(lmc->treble_db, -12);
}

// Each rate, mono and stereo, in calls of several lengths: sample k is the
// byte at (start x 256 + k x step) >> 8, times 256; stereo reads the pair
// at the even address. Steps worked out by hand from 6258, 12516, 25033 and
// 50066 Hz at 44100 Hz output, and 50066 Hz at 48000 Hz.
TEST_F(Ste, EveryRateMonoAndStereo) {
  constexpr uint32_t kMonoStep[4] = {36, 72, 145, 290};
  constexpr uint32_t kStereoStep[4] = {72, 145, 290, 581};
  for (int stereo = 0; stereo < 2; ++stereo) {
    for (uint32_t r = 0; r < 4; ++r) {
      SCOPED_TRACE(::testing::Message() << "rate " << r << " stereo " << stereo);
      Dma d{0x10001, 0x20001, (stereo ? 0x00u : 0x80u) | r, 1,
            stereo ? kStereoStep[r] : kMonoStep[r]};
      play(d, {1, 3, 252, kFrame, kFrame});
    }
  }
  mw_sampling_rate(48000);
  Dma d{0x1000, 0x9000, 0x83, 1, 267};
  play(d, {kFrame});
}

// A looping frame wraps with its sub-byte phase kept, and picks up new
// frame registers only when it wraps.
TEST_F(Ste, LoopKeepsPhaseAndTakesTheNextFrameAtTheWrap) {
  for (int stereo = 0; stereo < 2; ++stereo) {
    SCOPED_TRACE(stereo);
    Dma d{0x2000, 0x2011, stereo ? 0x03u : 0x83u, 3, stereo ? 581u : 290u};
    play(d, {kFrame, kFrame, kFrame, kFrame}, [](int call, Dma &m) {
      if (call != 2) return;
      m.start = 0x5003;
      m.end = 0x5040;
      set_frame(m.start, m.end);
    });
    EXPECT_GE(counter(), 0x5003u);
  }
}

// Hostile frame registers: every read stays inside the 512 KiB block, and
// what is played is the memory at the address modulo 512 KiB.
TEST_F(Ste, FrameAddressesWrapInsideMemory) {
  struct Case {
    uint32_t start, end, mode, control, rate, step;
  };
  const Case cases[] = {
      {0xFFFFF0, 0xFFFFFF, 0x83, 3, 44100, 290},     // top of the 24-bit range, mono
      {0xFFFFF1, 0xFFFFFF, 0x03, 3, 44100, 581},     // stereo, odd start
      {0x07FFF9, 0x080007, 0x03, 3, 44100, 581},     // across the top of memory
      {0x07FFFF, 0x07FFFF, 0x83, 3, 44100, 290},     // empty frame with loop
      {0x070000, 0x000100, 0x03, 3, 44100, 581},     // start beyond end, looping
      {0x07FFFF, 0x0800FF, 0x80, 1, 44100, 36},      // slow, no loop
      {0x000000, 0xFFFFFF, 0x03, 3, 1, 50066 << 9},  // huge steps: the position wraps
      {0xFFFF00, 0xFFFFFF, 0x82, 1, 7, 915492},      // 25033 x 256 / 7, no loop
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.start << "-" << c.end);
    mw_sampling_rate(c.rate);
    Dma d{c.start, c.end, c.mode, c.control, c.step};
    play(d, std::vector<int>(40, kFrame));
    EXPECT_GT(d.played, 0);
  }
}

// Without loop the DMA stops at the frame end: the rest of the buffer is
// the YM alone (mixer 1: DMA x 65536 plus YM x 768, over 1024).
TEST_F(Ste, StopWithoutLoopLeavesTheYm) {
  set_frame(0x3000, 0x3040);
  wb(kMode, 0x81);  // 72/256 byte per sample: 0x40 bytes in 228 samples
  wb(kControl, 1);
  fill_ym(0);
  std::vector<uint32_t> ym(buf);
  mw_mix(buf.data(), mem.data(), kFrame);
  for (int k = 0; k < kFrame; ++k) {
    const int32_t dma = k < 228 ? at(0x3000 + k * 72 / 256) * 65536 : 0;
    const int32_t want = (static_cast<int32_t>(ym[k]) * 768 + dma) >> 10;
    ASSERT_EQ(left(buf[k]), static_cast<int16_t>(want)) << k;
    ASSERT_EQ(right(buf[k]), static_cast<int16_t>(want)) << k;
  }
  EXPECT_EQ(rb(kControl), 0u);
  EXPECT_EQ(counter(), 0x3000u);
  // An empty frame stops at once.
  set_frame(0x4000, 0x4000);
  wb(kControl, 1);
  buf.assign(kFrame, 4);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(buf[kFrame - 1], (3u << 16) | 3u);
  EXPECT_EQ(rb(kControl), 0u);
}

TEST_F(Ste, YmAloneAndMixerGains) {
  // Control 0: the YM scaled by 768/1024 in both halves.
  const int32_t ys[] = {0, 1000, -1001, 26624, -26624, 1, -1};
  const int32_t want[] = {0, 750, -751, 19968, -19968, 0, -1};
  for (size_t i = 0; i < std::size(ys); ++i) buf[i] = static_cast<uint32_t>(ys[i]);
  mw_mix(buf.data(), mem.data(), static_cast<int>(std::size(ys)));
  for (size_t i = 0; i < std::size(ys); ++i) {
    EXPECT_EQ(left(buf[i]), want[i]) << i;
    EXPECT_EQ(right(buf[i]), want[i]) << i;
  }
  // Mixer 2 with the DMA off: silence.
  command(kCmdMixer | 2);
  fill_ym(500);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(buf, std::vector<uint32_t>(kFrame, 0));
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

// Empty calls touch nothing; any buffer content (a stale frame of stereo
// words, say) mixes without signed overflow, wrapping as 32-bit values.
TEST_F(Ste, EmptyCallsAndExtremeYmValues) {
  buf.assign(4, 1234);
  mw_mix(buf.data(), mem.data(), 0);
  mw_mix(buf.data(), mem.data(), -5);
  EXPECT_EQ(buf, std::vector<uint32_t>(4, 1234));
  buf.assign(kFrame, 0x7FFF7FFFu);
  mw_mix(buf.data(), mem.data(), kFrame);
  EXPECT_EQ(left(buf[0]), static_cast<int16_t>(static_cast<int32_t>(0x7FFF7FFFu * 768u) >> 10));
}

TEST_F(Ste, MicroWireCommands) {
  using F = int MwLmc1992::*;
  struct Step {
    uint32_t data, mask;
    F field;
    int want;
  } steps[] = {
      {kCmdMaster | 3, 0x7FF, &MwLmc1992::master_db, -74},
      {0x04E8, 0x7FF, &MwLmc1992::master_db, 0},  // the documented example
      {kCmdLeft | 5, 0x7FF, &MwLmc1992::left_db, -30},
      {kCmdRight | 10, 0x7FF, &MwLmc1992::right_db, -20},
      {0, 0, &MwLmc1992::lr_db, -25},                  // nothing sent; the average
      {kCmdLeft | 31, 0x7FF, &MwLmc1992::left_db, 0},  // above the range: held at 0 dB
      {kCmdBass | 15, 0x7FF, &MwLmc1992::bass_db, 12},
      {kCmdTreble | 6, 0x7FF, &MwLmc1992::treble_db, 0},
      {kCmdMaster | 20, 0x7FF, &MwLmc1992::master_db, -40},
      // The mask may sit anywhere, and unmasked bits between the address and
      // the command are skipped.
      {0x04E8u << 5, 0xFFE0, &MwLmc1992::master_db, 0},
      {kCmdMaster | 20, 0x7FF, &MwLmc1992::master_db, -40},
      {0x8000 | (0x0E8 << 4), 0xDFF0, &MwLmc1992::master_db, 0},
      {kCmdMaster | 20, 0x7FF, &MwLmc1992::master_db, -40},
      // Ignored: a wrong device address, an empty mask, too few command
      // bits, and the unused functions 110 and 111.
      {0x06E8, 0x7FF, &MwLmc1992::master_db, -40},
      {0x04E8, 0, &MwLmc1992::master_db, -40},
      {0x04E8u >> 3, 0x00FF, &MwLmc1992::master_db, -40},
      {0x0580 | 40, 0x7FF, &MwLmc1992::master_db, -40},
      {0x05C0 | 2, 0x7FF, &MwLmc1992::mixer, 1},
  };
  for (const Step &s : steps) {
    command(s.data, s.mask);
    EXPECT_EQ(mw_lmc1992()->*s.field, s.want) << std::hex << s.data << "/" << s.mask;
  }
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

}  // namespace
