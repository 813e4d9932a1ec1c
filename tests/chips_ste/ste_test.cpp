// STE DMA sound and MicroWire through the plug-in record and mw_mix, on a
// 68000 memory of exactly 512 KiB (so any read outside it trips ASan).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "chips/microwire.h"

namespace {

constexpr uint32_t kBase = 0xFFFF8900u, kControl = kBase + 0x01, kCounter = kBase + 0x09,
                   kData = kBase + 0x22, kMask = kBase + 0x24;
constexpr int kFrame = 882;  // samples of one 50 Hz frame at 44100 Hz
// LMC1992 commands as sent with mask 0x07FF: address bits 10, three
// function bits and six value bits.
constexpr uint32_t kMixer = 0x400, kBass = 0x440, kTreble = 0x480, kMaster = 0x4C0, kRight = 0x500,
                   kLeft = 0x540;

SteMicroWire chip;
IoPlugin68 &ste = chip.io;
void wb(uint32_t a, uint32_t v) { ste.write_b(&ste, a, v, 0); }
uint32_t rb(uint32_t a) { return ste.read_b(&ste, a, 0); }
uint32_t counter() { return (rb(kCounter) << 16) | (rb(kCounter + 2) << 8) | rb(kCounter + 4); }
// The output word of left and right values.
uint32_t word(int l, int r) {
  return (static_cast<uint32_t>(l) & 0xFFFF) | static_cast<uint32_t>(r) << 16;
}
void command(uint32_t data, uint32_t mask = 0x07FF) {
  ste.write_w(&ste, kMask, mask, 0);
  ste.write_w(&ste, kData, data, 0);
}

class Ste : public ::testing::Test {
 protected:
  void SetUp() override {
    mw_sampling_rate(&chip, 44100);
    ASSERT_EQ(mw_init(&chip), 0);
  }
  // Sets a frame and the mode (0x80 mono, bits 0-1 rate); a control value
  // other than 0 is written too, which starts the frame.
  static void play(uint32_t start, uint32_t end, uint32_t mode, uint32_t control) {
    for (int i = 0; i < 3; ++i) {
      wb(kBase + 0x03 + 2 * i, start >> (16 - 8 * i));
      wb(kBase + 0x0F + 2 * i, end >> (16 - 8 * i));
    }
    wb(kBase + 0x21, mode);
    if (control != 0) wb(kControl, control);
  }
  std::vector<uint32_t> mix(int n, int32_t ym = 0) {  // over a constant YM sample
    std::vector<uint32_t> buf(n, static_cast<uint32_t>(ym));
    mw_mix(&chip, buf.data(), mem.data(), n);
    return buf;
  }
  std::vector<uint8_t> mem = std::vector<uint8_t>(MW_MEMORY_SIZE);
};

// The DMA alone at full scale over a 256-byte loop of the bytes 0-255: each
// sample shows the byte it plays, so the bytes played in ten seconds give
// the rate, 50066 >> (3 - rate bits) bytes (pairs in stereo) a second,
// which must hold within 0.01 %.
TEST_F(Ste, EveryRatePlaysAtItsPitch) {
  for (uint32_t i = 0; i < 256; ++i) mem[0x10000 + i] = static_cast<uint8_t>(i);
  for (uint32_t mode : {0x00u, 0x01u, 0x02u, 0x03u, 0x80u, 0x81u, 0x82u, 0x83u}) {
    SetUp();
    command(kMixer | 2);
    play(0x10000, 0x10100, mode, 3);
    long bytes = 0;
    for (int call = 0, last = 0; call < 500; ++call) {
      for (uint32_t w : mix(kFrame)) {
        const int at = (w >> 8) & 0xFF;
        ASSERT_EQ(w >> 24, at + (mode & 0x80 ? 0u : 1u)) << mode;  // the right byte
        bytes += (at + 256 - last) % 256;
        last = at;
      }
    }
    const double rate = (50066 >> (3 - (mode & 3))) * (mode & 0x80 ? 1.0 : 2.0);
    EXPECT_NEAR(bytes / (500.0 * kFrame - 1) * 44100, rate, rate * 1e-4) << mode;
  }
}

// A looping frame shorter than a step wraps as often as it needs, never
// leaving the frame; one whose start is at or after its end plays silence
// and stays at its start until the registers give it room. Otherwise a
// looping frame takes the frame registers at its wrap.
TEST_F(Ste, LoopsStayInsideTheirFrame) {
  std::fill(mem.begin(), mem.end(), 99);
  mem[0x2000] = 7;
  mem[0x4000] = 5;
  mem[0x4001] = 6;
  command(kMixer | 2);
  play(0x2000, 0x2001, 0x83, 3);  // one byte, mono, 50066 Hz
  EXPECT_EQ(mix(4410), std::vector<uint32_t>(4410, word(7 * 256, 7 * 256)));
  play(0x4000, 0x4002, 0x03, 3);  // one pair, stereo: 2.27 pairs a sample
  EXPECT_EQ(mix(4410), std::vector<uint32_t>(4410, word(5 * 256, 6 * 256)));
  for (uint32_t end : {0x3000u, 0x2FF0u}) {
    play(0x3000, end, 0x83, 3);
    EXPECT_EQ(mix(kFrame, 400), std::vector<uint32_t>(kFrame, 0)) << end;
    EXPECT_EQ(counter() << 8 | rb(kControl), 0x300003u);
  }
  play(0x2000, 0x2001, 0x83, 0);  // registers only: taken at the next mix
  EXPECT_EQ(mix(1)[0], word(7 * 256, 7 * 256));
  std::fill_n(mem.begin() + 0x5000, 0x400, 10);
  play(0x5000, 0x5400, 0x81, 3);  // 12516 Hz mono: 0.284 bytes a sample
  mix(kFrame);
  play(0x2000, 0x2001, 0x81, 0);
  const std::vector<uint32_t> s = mix(4 * kFrame);
  const auto wrap = std::find(s.begin(), s.end(), word(7 * 256, 7 * 256));
  EXPECT_NEAR(wrap - s.begin(), (0x400 - kFrame * 12516.0 / 44100) * 44100 / 12516, 2);
  EXPECT_EQ(std::count(s.begin(), wrap, word(10 * 256, 10 * 256)), wrap - s.begin());
  // At the DMA's own rate every step lands exactly on the frame end.
  mw_sampling_rate(&chip, 25033);
  for (int i = 0; i < 4; ++i) mem[0x6000 + i] = static_cast<uint8_t>(i + 1);
  play(0x6000, 0x6004, 0x82, 3);
  const std::vector<uint32_t> exact = mix(12);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(exact[k], word((k % 4 + 1) * 256, (k % 4 + 1) * 256)) << k;
}

// Without loop the DMA stops at the frame end: control 0, the counter at
// the frame start, the rest of the buffer the YM alone (mixer 1: DMA x
// 65536 + YM x 768, over 1024).
TEST_F(Ste, StopsAtTheFrameEndWithoutLoop) {
  std::fill_n(mem.begin() + 0x5000, 0x40, 10);
  play(0x5000, 0x5040, 0x81, 1);  // 0x40 bytes in 226 samples
  const std::vector<uint32_t> s = mix(kFrame, 1000);
  for (int k = 0; k < kFrame; ++k) {
    const int32_t want = (1000 * 768 + (k < 226 ? 10 * 65536 : 0)) >> 10;
    ASSERT_EQ(s[k], word(want, want)) << k;
  }
  EXPECT_EQ(counter() << 8 | rb(kControl), 0x500000u);
  play(0x4000, 0x4000, 0x81, 1);  // an empty frame stops at once
  EXPECT_EQ(mix(2, 4), std::vector<uint32_t>(2, word(3, 3)));
  EXPECT_EQ(rb(kControl), 0u);
}

// Control 0: the YM x 768 / 1024 alone; mixer 2: the DMA x 262144 alone;
// mixer 0: DMA x 4135 beside the YM; setting 3 keeps the gains in force.
TEST_F(Ste, MixerGains) {
  for (auto [in, out] : {std::pair{1000, 750}, {-1001, -751}, {26624, 19968}, {-1, -1}})
    EXPECT_EQ(mix(1, in)[0], word(out, out));
  command(kMixer | 2);
  EXPECT_EQ(mix(kFrame, 500), std::vector<uint32_t>(kFrame, 0));
  command(kMixer | 0);
  command(kMixer | 3);
  mem[0x6000] = 100;
  mem[0x6001] = 0x80;
  play(0x6000, 0x6002, 0x03, 3);
  EXPECT_EQ(mix(1, 1000)[0],
            word((1000 * 768 + 100 * 4135) >> 10, (1000 * 768 - 128 * 4135) >> 10));
  std::vector<uint32_t> untouched(4, 1234);
  mw_mix(&chip, untouched.data(), mem.data(), 0);
  mw_mix(&chip, untouched.data(), mem.data(), -5);
  EXPECT_EQ(untouched, std::vector<uint32_t>(4, 1234));
}

TEST_F(Ste, MicroWireCommands) {
  const struct {
    uint32_t data, mask;
    int MwLmc1992::*field;
    int want;
  } steps[] = {
      {kMaster | 3, 0x7FF, &MwLmc1992::master_db, -74},
      {0x04E8, 0x7FF, &MwLmc1992::master_db, 0},
      {kLeft | 5, 0x7FF, &MwLmc1992::left_db, -30},
      {kRight | 10, 0x7FF, &MwLmc1992::right_db, -20},
      {0, 0, &MwLmc1992::lr_db, -25},  // nothing sent; the average
      {kLeft | 31, 0x7FF, &MwLmc1992::left_db, 0},
      {kBass | 15, 0x7FF, &MwLmc1992::bass_db, 12},
      {kTreble | 6, 0x7FF, &MwLmc1992::treble_db, 0},
      {kMixer | 2, 0x7FF, &MwLmc1992::mixer, 2},
      // The mask may sit anywhere; unmasked bits inside it are skipped.
      {0x04D0u << 5, 0xFFE0, &MwLmc1992::master_db, -48},
      {0x8000 | (0x0E8 << 4), 0xDFF0, &MwLmc1992::master_db, 0},
      // Ignored: a wrong address, an empty mask, too few bits, functions 6-7.
      {0x06D0, 0x7FF, &MwLmc1992::master_db, 0},
      {0x04D0, 0, &MwLmc1992::master_db, 0},
      {0x04D0u >> 3, 0x00FF, &MwLmc1992::master_db, 0},
      {0x0580 | 16, 0x7FF, &MwLmc1992::master_db, 0},
      {0x05C0 | 1, 0x7FF, &MwLmc1992::mixer, 2},
  };
  for (const auto &s : steps) {
    command(s.data, s.mask);
    EXPECT_EQ(mw_lmc1992(&chip)->*s.field, s.want) << std::hex << s.data << "/" << s.mask;
  }
  command(kMaster | 20);
  ste.write_w(&ste, kMask, 0, 0);
  ste.write_l(&ste, kData, 0x04E807FFu, 0);  // sends with the mask in place before
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, -40);
  ste.write_w(&ste, kData, 0x04E8, 0);
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, 0);
  wb(kData, 0x05);  // the high byte alone sends nothing
  EXPECT_EQ(mw_lmc1992(&chip)->left_db, 0);
}

TEST_F(Ste, RegistersAndReset) {
  wb(kBase + 0x20, 0x12);  // even offsets below 0x22 hold no register
  wb(kBase + 0x15, 0x77);
  wb(kBase + 0x26, 0x5A);  // from 0x22 up every byte is kept
  wb(kCounter, 0x12);      // the counter cannot be written
  EXPECT_EQ(rb(kBase + 0x20) << 16 | rb(kBase + 0x15) << 8 | rb(kCounter), 0x7700u);
  EXPECT_EQ(rb(0x00FF8966u), 0x5Au);  // only the low 6 address bits count
  play(0x012345, 0x06789A, 0, 0xFF);  // a control write latches the frame
  EXPECT_EQ(counter() << 8 | rb(kControl), 0x01234503u);
  EXPECT_EQ(ste.read_l(&ste, kBase + 0x02, 0), 0x00010023u);
  ste.write_l(&ste, kBase + 0x0E, 0x00AB00CDu, 0);
  EXPECT_EQ(rb(kBase + 0x0F) << 8 | rb(kBase + 0x11), 0xABCDu);
  command(kMaster | 3);
  mw_sampling_rate(&chip, 22050);
  ASSERT_EQ(ste.reset(&ste), 0);
  EXPECT_EQ(rb(kControl) | rb(kBase + 0x03) | counter() | ste.read_w(&ste, kMask, 0), 0u);
  EXPECT_EQ(rb(kBase + 0x26), 0x5Au);
  EXPECT_EQ(mw_sampling_rate(&chip, 0), 22050u);
  EXPECT_EQ(mw_lmc1992(&chip)->master_db, 0);
}

}  // namespace
