// STE DMA sound driven from MFP interrupts, through the player: the
// sub-tunes of dma.sndh (m68k/dma.s), an SNDH file with YM and STE
// hardware, measured from the render at the nominal clocks.
#include <cstdint>
#include <utility>
#include <vector>

#include "chips/timebase.h"
#include "player/player_fixture.h"

namespace playertest {
namespace {

constexpr uint64_t kCpu = 8000000, kRate = 44100, kDma = 50066;
constexpr int kScale = 128;  // a DMA byte at the output
// The blocks of sub-tunes 2 and 3: lengths and bytes.
constexpr uint64_t kLength[6] = {200, 350, 500, 276, 424, 150};
constexpr int kByte[6] = {10, 25, 40, 55, 70, 85};

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }
// The first output sample at or after cycle c.
size_t sample_at(uint64_t c) { return static_cast<size_t>(ceil_div(c * kRate, kCpu)); }

// Runs of equal left samples: (first sample, level).
using Runs = std::vector<std::pair<size_t, int>>;
Runs runs(const std::vector<int> &s) {
  Runs r;
  for (size_t k = 0; k < s.size(); ++k)
    if (r.empty() || r.back().second != s[k]) r.push_back({k, s[k]});
  return r;
}
std::vector<int> left(const std::vector<uint32_t> &s) {
  std::vector<int> l;
  for (uint32_t w : s) l.push_back(sample(w, 0));
  return l;
}

// The levels come in the expected order, each from its sample on.
void expect_heard(const std::vector<uint32_t> &got, const std::vector<int> &want) {
  const Runs g = runs(left(got)), w = runs(want);
  ASSERT_EQ(g.size(), w.size());
  for (size_t k = 0; k < w.size(); ++k) {
    ASSERT_EQ(g[k].second, w[k].second) << "run " << k;
    ASSERT_EQ(g[k].first, w[k].first) << "run " << k;
  }
}

class Dma : public PlayerTest {
 protected:
  // The first n samples of a sub-tune, from its very first: on a disk just
  // loaded, the call that starts the track fills the whole buffer.
  std::vector<uint32_t> play(int subtune, size_t n) {
    vk68_close(player_);
    load("dma.sndh");
    std::vector<uint32_t> out(n);
    EXPECT_EQ(vk68_play(player_, subtune), 0);
    EXPECT_EQ(vk68_process(player_, out.data(), static_cast<int>(n)), VK68_PROCESS_CHANGE);
    return out;
  }
};

// Timer A at 1024 Hz restarts the DMA on the other loop at each interrupt:
// the level switches at the first sample at or after each interrupt's cycle
// (interrupt k at ceil(k x 12 x 200 MFP ticks)), 5119 times in 5 s, at
// both clocks.
TEST_F(Dma, TimerSwitchesTheDmaAtItsInterrupts) {
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    const uint64_t cpu = clocks->cpu_hz;
    SCOPED_TRACE(cpu);
    ASSERT_EQ(vk68_config_set(player_, vk68_config_id("clock"), clocks == &kClocksPal), 0);
    ASSERT_EQ(vk68_config_apply(player_), 0);
    const std::vector<uint32_t> s = play(1, 5 * kRate);
    std::vector<int> want(s.size());
    size_t n = 0;
    for (uint64_t k = 0; n < want.size(); ++k) {
      const uint64_t at = ceil_div((k + 1) * 2400 * cpu, 2457600);
      for (const size_t next = std::min<size_t>(want.size(), ceil_div(at * kRate, cpu)); n < next;
           ++n)
        want[n] = (k % 2 ? -100 : 100) * kScale;
    }
    EXPECT_EQ(runs(want).size(), 5120u);
    expect_heard(s, want);
  }
}

// Timer A counts frame ends; every second one its handler sets the next
// block, which starts at the following end: block 0 once, then every block
// twice, each loop ending exactly where its bytes run out.
TEST_F(Dma, FrameEndsCountedByTimerASequenceTheBlocks) {
  const std::vector<uint32_t> s = play(2, 3 * kRate);
  std::vector<int> want(s.size());
  uint64_t bytes = 0;
  size_t n = 0;
  for (int loop = 0; n < want.size(); ++loop) {
    const int b = (loop + 1) / 2 % 6;
    bytes += kLength[b];
    // Samples before the loop's end: position n x 50066 / 4 / 44100 < bytes.
    const size_t end = std::min<size_t>(want.size(), ceil_div(bytes * 4 * kRate, kDma));
    for (; n < end; ++n) want[n] = kByte[b] * kScale;
  }
  expect_heard(s, want);
}

// GPIP 7 interrupts at each frame end; the handler starts the next block
// at once: each block once, back to back (silent only for a sample that
// falls inside the cycle between a frame's end and the next start).
TEST_F(Dma, FrameEndsOnGpip7StartTheNextBlock) {
  const std::vector<uint32_t> s = play(3, 3 * kRate);
  std::vector<int> want(s.size());
  uint64_t start = 0;
  size_t n = 0;
  for (int k = 0; n < want.size(); ++k) {
    const int b = k % 6;
    // The frame ends at start + bytes x 4 x 8 MHz / 50066, the next starts
    // at the cycle after.
    const uint64_t num = start * kDma + kLength[b] * 4 * kCpu;
    const size_t end = std::min<size_t>(want.size(), ceil_div(num * kRate, kDma * kCpu));
    for (; n < end; ++n) want[n] = kByte[b] * kScale;
    start = ceil_div(num, kDma);
    for (; n < std::min(want.size(), sample_at(start)); ++n) want[n] = 0;
  }
  expect_heard(s, want);
}

// The loudest YM (three channels at 15, on and off) beside a full-scale DMA
// square stays inside 16 bits, never limited. Alone (mixer 2), the DMA plays
// its bytes x 128 at 6258.25 / 64 Hz; the YM beside it peaks at 0.7 to 1
// times the DMA's full scale.
TEST_F(Dma, LoudestYmAndFullScaleDmaFitSixteenBits) {
  const std::vector<int> both = left(play(4, 2 * kRate)), dma = left(play(5, 2 * kRate));
  int ym = 0;
  for (size_t k = 0; k < dma.size(); ++k) {
    ASSERT_TRUE(dma[k] == 127 * kScale || dma[k] == -128 * kScale) << k;
    ASSERT_GT(both[k], INT16_MIN) << k;
    ASSERT_LT(both[k], INT16_MAX) << k;
    ym = std::max(ym, std::abs(both[k] - dma[k]));
  }
  EXPECT_GE(ym, 0.7 * 128 * kScale);
  EXPECT_LE(ym, 1.0 * 128 * kScale);
  std::vector<uint32_t> words;
  for (int v : dma) words.push_back(static_cast<uint32_t>(v) & 0xFFFF);
  EXPECT_NEAR(pitch(words, 0, kRate), kDma / 8.0 / 64, kDma / 8.0 / 64 * 1e-4);
}

}  // namespace
}  // namespace playertest
