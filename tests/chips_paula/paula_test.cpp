// Paula voices rendered and measured through the plug-in's bus handlers and
// paula_mix, without a CPU: pitch, looping, volume, stereo placement, the
// control registers and hostile register values on exactly 512 KiB of memory.
#include "chips/paula.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFFDFF000;
constexpr uint32_t kMemorySize = 512 * 1024;
constexpr int kRate = 44100;
constexpr int kFrame = 882;  // samples of one 50 Hz frame

// Gain by volume 0-64 of the chip's volume table.
constexpr int32_t kGain[65] = {
    0,     1772,  3230,  4584,  5886,  7189,  8352,  9608,  10725, 11972, 13099, 14190, 15372,
    16487, 17506, 18589, 19739, 20751, 21815, 22933, 23869, 24843, 25857, 26912, 28011, 28864,
    30042, 30957, 31899, 32871, 33872, 34903, 35966, 36693, 37810, 38962, 39749, 40552, 41787,
    42631, 43492, 44371, 45267, 46182, 47115, 48067, 49038, 50028, 51039, 52070, 53122, 53656,
    54740, 55846, 56407, 57546, 58125, 59299, 59895, 61105, 61719, 62966, 63599, 64883, 65536};

void ww(uint32_t r, uint32_t v) { paula_io_plugin.write_w(kBase + r, v, 0); }
void wb(uint32_t r, uint32_t v) { paula_io_plugin.write_b(kBase + r, v, 0); }
void wl(uint32_t r, uint32_t v) { paula_io_plugin.write_l(kBase + r, v, 0); }
uint32_t rw(uint32_t r) { return paula_io_plugin.read_w(kBase + r, 0); }
uint32_t rb(uint32_t r) { return paula_io_plugin.read_b(kBase + r, 0); }
uint32_t rl(uint32_t r) { return paula_io_plugin.read_l(kBase + r, 0); }

uint32_t voice_reg(int v, uint32_t offset) { return 0xA0 + 16 * v + offset; }

void set_voice(int v, uint32_t location, uint32_t words, uint32_t period, uint32_t volume) {
  wl(voice_reg(v, 0), location);
  ww(voice_reg(v, 4), words);
  ww(voice_reg(v, 6), period);
  ww(voice_reg(v, 8), volume);
}

int16_t left(uint32_t w) { return static_cast<int16_t>(w & 0xFFFF); }
int16_t right(uint32_t w) { return static_cast<int16_t>(w >> 16); }

class Paula : public ::testing::Test {
 protected:
  void SetUp() override {
    paula_sampling_rate(kRate);
    ASSERT_EQ(paula_init(), 0);
  }

  void fill(uint32_t at, uint32_t count, int8_t value) {
    std::fill_n(mem.begin() + at, count, static_cast<uint8_t>(value));
  }

  // Renders n samples in frames of kFrame, as the player does.
  std::vector<uint32_t> render(int n) {
    std::vector<uint32_t> out(n);
    for (int done = 0; done < n; done += kFrame) {
      paula_mix(out.data() + done, mem.data(), std::min(kFrame, n - done));
    }
    return out;
  }

  std::vector<uint8_t> mem = std::vector<uint8_t>(kMemorySize, 0);  // exact size for ASan
};

// Rising zero crossings of the left channel.
int rising_crossings(const std::vector<uint32_t> &out) {
  int count = 0;
  for (size_t i = 1; i < out.size(); ++i) count += left(out[i - 1]) < 0 && left(out[i]) >= 0;
  return count;
}

TEST_F(Paula, RecordResetStateAndRate) {
  EXPECT_STREQ(paula_io_plugin.name, "AMIGA Paula");
  EXPECT_EQ(paula_io_plugin.addr_lo, 0xFFDFF000u);
  EXPECT_EQ(paula_io_plugin.addr_hi, 0xFFDFF0DFu);
  EXPECT_EQ(paula_io_plugin.interrupt, nullptr);  // never an interrupt source
  EXPECT_EQ(paula_voice_state(0)->loop_end, 2u);
  EXPECT_EQ(paula_voice_state(4), nullptr);
  ww(0x96, 0x8003);
  set_voice(3, 0x1234, 5, 6, 7);
  EXPECT_EQ(paula_sampling_rate(0), 44100u);
  EXPECT_EQ(paula_sampling_rate(22050), 22050u);
  paula_io_plugin.reset();  // the rate survives reset and init
  paula_init();
  EXPECT_EQ(paula_sampling_rate(0), 22050u);
  EXPECT_EQ(rw(0x02), 0x0200u);
  EXPECT_EQ(rw(0x1C), 0x4000u);
  EXPECT_EQ(rw(0x1E), 0u);
  EXPECT_EQ(rw(0x9E), 0u);
  EXPECT_EQ(rw(voice_reg(3, 4)), 0u);
}

// A looped one-cycle square wave of 32 bytes at period P sounds at
// 3579610 / P / 32 Hz: count its cycles over ten seconds of output.
TEST_F(Paula, PitchFollowsPeriod) {
  fill(0x1000, 16, 100);
  fill(0x1010, 16, -100);
  for (uint32_t period : {113u, 254u, 428u, 856u, 3000u}) {
    for (int rate : {44100, 22050}) {
      SCOPED_TRACE(testing::Message() << "period " << period << " rate " << rate);
      paula_sampling_rate(rate);
      paula_reset();
      set_voice(0, 0x1000, 16, period, 64);
      ww(0x96, 0x8001);
      const int cycles = rising_crossings(render(10 * rate));
      const double expected = 10.0 * 3579610.0 / period / 32.0;
      EXPECT_NEAR(cycles, expected, std::max(2.0, expected * 0.004));
    }
  }
}

// Linear interpolation: on a slow ramp of 4 units per byte, consecutive
// outputs move by at most one unit, and most of them fall between the bytes'
// own values.
TEST_F(Paula, InterpolatesBetweenBytes) {
  for (int i = 0; i < 32; ++i) mem[0x2000 + i] = static_cast<uint8_t>(4 * i);
  set_voice(0, 0x2000, 16, 856, 64);  // about 0.095 bytes per output sample
  ww(0x96, 0x8001);
  const std::vector<uint32_t> out = render(300);  // stays before the loop
  EXPECT_EQ(left(out[0]), 0);
  int between = 0;
  for (size_t i = 1; i < out.size(); ++i) {
    const int d = left(out[i]) - left(out[i - 1]);
    ASSERT_GE(d, 0) << i;
    ASSERT_LE(d, 128) << i;
    between += left(out[i]) % (4 * 128) != 0;
  }
  EXPECT_GT(between, 180);
  EXPECT_NEAR(left(out[299]), 299 * (3579610.0 / 856 / 44100) * 4 * 128, 2 * 128);
}

// Output = (sample * gain) >> 9 with the gain table; 0x40..0x7F is full
// volume and bit 7 of the volume byte is ignored.
TEST_F(Paula, VolumeTableAndClamp) {
  fill(0x3000, 64, -128);
  fill(0x3040, 64, 127);
  for (uint32_t volume = 0; volume < 256; ++volume) {
    SCOPED_TRACE(volume);
    const int32_t gain = kGain[std::min<uint32_t>(volume & 0x7F, 64)];
    set_voice(0, 0x3000, 32, 500, volume);
    set_voice(1, 0x3040, 32, 500, volume);
    ww(0x96, 0x0003);
    ww(0x96, 0x8003);
    const std::vector<uint32_t> out = render(10);
    EXPECT_EQ(left(out[5]), (-128 * gain) >> 9);
    EXPECT_EQ(right(out[5]), (127 * gain) >> 9);
  }
  // Full scale at full volume is exactly -16384.
  set_voice(0, 0x3000, 32, 500, 64);
  EXPECT_EQ(left(render(4)[2]), -16384);
}

TEST_F(Paula, VoicesZeroAndTwoLeftOneAndThreeRight) {
  const int8_t level[4] = {10, 20, 40, 80};
  for (int v = 0; v < 4; ++v) {
    fill(0x4000 + 0x100 * v, 0x100, level[v]);
    set_voice(v, 0x4000 + 0x100 * v, 0x80, 300, 64);
  }
  for (int v = 0; v < 4; ++v) {
    SCOPED_TRACE(v);
    ww(0x96, 0x000F);
    ww(0x96, 0x8000 | (1u << v));
    const uint32_t w = render(8)[4];
    const int16_t expect = static_cast<int16_t>(level[v] * 128);
    EXPECT_EQ(left(w), (v % 2 == 0) ? expect : 0);
    EXPECT_EQ(right(w), (v % 2 == 1) ? expect : 0);
  }
  ww(0x96, 0x800F);
  const uint32_t w = render(8)[4];
  EXPECT_EQ(left(w), (10 + 40) * 128);
  EXPECT_EQ(right(w), (20 + 80) * 128);
}

TEST_F(Paula, PeriodZeroPlaysAsPeriodOne) {
  std::mt19937 rng(7);
  for (uint32_t i = 0; i < 0x20000; ++i) mem[0x10000 + i] = static_cast<uint8_t>(rng());
  std::vector<uint32_t> out[3];
  const uint32_t periods[3] = {0, 1, 2};
  for (int k = 0; k < 3; ++k) {
    paula_reset();
    set_voice(0, 0x10000, 0xFFFF, periods[k], 64);
    ww(0x96, 0x8001);
    out[k] = render(4000);
  }
  EXPECT_EQ(out[0], out[1]);
  EXPECT_NE(out[1], out[2]);
}

// Length 0 plays 65536 words: a marker in the last word is heard, one just
// past the window never is. Length 0xFFFF stops a word short of the marker.
TEST_F(Paula, LengthZeroIs65536Words) {
  const uint32_t start = 0x20000;
  fill(start + 0x1FFFE, 2, -100);  // last word of a 65536-word window
  fill(start + 0x20000, 0x100, 100);
  for (uint32_t words : {0u, 0xFFFFu}) {
    SCOPED_TRACE(words);
    paula_reset();
    set_voice(0, start, words, 428, 64);
    ww(0x96, 0x8001);
    // One pass takes 0x20000 bytes / (3579610 / 428 / 44100) = 691,130 samples.
    const std::vector<uint32_t> out = render(700000);
    int first_marker = -1;
    int16_t highest = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      if (first_marker < 0 && left(out[i]) < 0) first_marker = static_cast<int>(i);
      highest = std::max(highest, left(out[i]));
    }
    EXPECT_EQ(highest, 0);
    if (words == 0) {
      EXPECT_NEAR(first_marker, 0x1FFFE * 44100.0 * 428 / 3579610, 400);
    } else {
      EXPECT_EQ(first_marker, -1);
    }
  }
}

// Index of the first sample from which the left channel settles on value.
int settles_at(const std::vector<uint32_t> &out, int16_t value) {
  int at = static_cast<int>(out.size());
  while (at > 0 && left(out[at - 1]) == value) --at;
  return at;
}

class PaulaTwoSamples : public Paula {
 protected:
  void SetUp() override {
    Paula::SetUp();
    fill(kA, 2000, 50);
    fill(kB, 2000, -50);
    set_voice(0, kA, 1000, 428, 64);
    ww(0x96, 0x8001);
    const std::vector<uint32_t> head = render(100);
    ASSERT_EQ(left(head[99]), 50 * 128);
    wl(voice_reg(0, 0), kB);  // the next start or loop plays B
  }
  static constexpr uint32_t kA = 0x10000;
  static constexpr uint32_t kB = 0x20000;
  // 2000 bytes at 3579610 / 428 bytes per second, less the 100 played.
  static constexpr double kRestOfA = 2000.0 * 44100 * 428 / 3579610 - 100;
};

TEST_F(PaulaTwoSamples, LocationChangeWaitsForTheLoop) {
  const std::vector<uint32_t> out = render(20000);
  const int switch_at = settles_at(out, -50 * 128);
  EXPECT_NEAR(switch_at, kRestOfA, 8);
  // The last byte of A slides towards B's first one: one byte, about five
  // samples.
  for (int i = 0; i + 6 < switch_at; ++i) ASSERT_EQ(left(out[i]), 50 * 128) << i;
}

// Voice or master DMA off silences at once and on again restarts from the
// registers; setting bits already on changes nothing.
TEST_F(PaulaTwoSamples, DmaOffAndOnRestartsAtOnce) {
  const uint32_t cases[][2] = {{0x0001, 0x8001}, {0x0200, 0x8200}, {0, 0x8201}};
  for (auto [off, on] : cases) {
    SCOPED_TRACE(on);
    SetUp();
    if (off) {
      ww(0x96, off);
      EXPECT_EQ(render(50), std::vector<uint32_t>(50, 0));
    }
    ww(0x96, on);
    EXPECT_NEAR(settles_at(render(20000), -50 * 128), off ? 0 : kRestOfA, off ? 0 : 8);
  }
  EXPECT_EQ(rw(0x02), 0x0201u);
}

// Setting a voice's INTREQ bit restarts it when that interrupt is disabled or
// already pending; an enabled, idle one is only flagged.
TEST_F(PaulaTwoSamples, IntreqRestartRule) {
  ww(0x9A, 0xC080);  // master + voice 0 enabled
  ww(0x9C, 0x8080);  // enabled and not pending: flag only
  EXPECT_EQ(rw(0x1E), 0x0080u);
  EXPECT_EQ(left(render(10)[9]), 50 * 128);
  ww(0x9C, 0x8080);  // pending now: restart
  EXPECT_EQ(settles_at(render(200), -50 * 128), 0);
  ww(0x9C, 0x0080);  // clear: no restart
  EXPECT_EQ(rw(0x1E), 0u);
  wl(voice_reg(0, 0), kA);
  ww(0x9C, 0x0080);
  EXPECT_EQ(left(render(10)[9]), -50 * 128);
  ww(0x9A, 0x4000);  // master off: every voice request restarts
  ww(0x9C, 0x8080);
  EXPECT_EQ(settles_at(render(200), 50 * 128), 0);
}

// A length change while a ramp loops: the loop in progress keeps its
// length, the following ones use the new one.
TEST_F(Paula, LengthChangeWaitsForTheLoop) {
  for (int i = 0; i < 256; ++i) mem[0x5000 + i] = static_cast<uint8_t>(i - 128);
  set_voice(0, 0x5000, 32, 254, 64);  // 64-byte loop, about 200 samples
  ww(0x96, 0x8001);
  std::vector<uint32_t> out = render(500);
  ww(voice_reg(0, 4), 16);
  const std::vector<uint32_t> tail = render(1000);
  out.insert(out.end(), tail.begin(), tail.end());
  std::vector<int> loops;  // starts of the falls back to the loop start
  for (size_t i = 2; i < out.size(); ++i) {
    const bool falling = left(out[i]) < left(out[i - 1]) - 1000;
    const bool was_falling = left(out[i - 1]) < left(out[i - 2]) - 1000;
    if (falling && !was_falling) loops.push_back(static_cast<int>(i));
  }
  const double long_loop = 64 * 44100.0 * 254 / 3579610;
  ASSERT_GE(loops.size(), 6u);
  // The fall starts inside the last byte, about three samples early.
  EXPECT_NEAR(loops[0], long_loop - 2, 2);
  EXPECT_NEAR(loops[1] - loops[0], long_loop, 2);
  EXPECT_NEAR(loops[2] - loops[1], long_loop, 2);  // spans the change at 500
  EXPECT_GT(loops[2], 500);
  for (size_t k = 3; k < loops.size(); ++k) EXPECT_NEAR(loops[k] - loops[k - 1], long_loop / 2, 2);
}

TEST_F(Paula, BeamCounterCountsByteReads) {
  EXPECT_EQ(rb(0x06), 0u);
  EXPECT_EQ(rb(0x06), 1u);
  EXPECT_EQ(rb(0x06), 2u);
  std::vector<uint32_t> out(16);
  paula_mix(out.data(), mem.data(), 16);
  EXPECT_EQ(rb(0x06), 0u);
  for (int i = 1; i < 256; ++i) rb(0x06);
  EXPECT_EQ(rb(0x06), 0u);  // 8-bit wrap
}

TEST_F(Paula, ControlRegisterSetClearAndReadBack) {
  ww(0x96, 0x800F);
  EXPECT_EQ(rw(0x02), 0x020Fu);
  ww(0x96, 0x0005);
  EXPECT_EQ(rw(0x02), 0x020Au);
  EXPECT_EQ(rb(0x02), 0x02u);
  EXPECT_EQ(rb(0x03), 0x0Au);
  ww(0x96, 0xFFFF);  // set everything: bit 15 never sticks
  EXPECT_EQ(rw(0x02), 0x7FFFu);
  EXPECT_EQ(rb(0x02), 0x7Fu);
  ww(0x96, 0x7FFF);
  EXPECT_EQ(rw(0x02), 0u);

  ww(0x9E, 0x8123);
  EXPECT_EQ(rw(0x9E), 0x0123u);
  EXPECT_EQ(rb(0x10), 0x01u);
  EXPECT_EQ(rb(0x11), 0x23u);
  ww(0x9A, 0x8780);
  EXPECT_EQ(rw(0x1C), 0x4780u);
  EXPECT_EQ(rb(0x1D), 0x80u);
  // Written bytes stay readable at the write address.
  EXPECT_EQ(rw(0x9A), 0x8780u);
}

TEST_F(Paula, ByteAndLongAccess) {
  // Byte at an even address: a word write with high byte 0, so DMACON sees
  // a clear of bits 0-3.
  ww(0x96, 0x800F);
  wb(0x96, 0x0F);
  EXPECT_EQ(rw(0x02), 0x0200u);
  EXPECT_EQ(rw(0x96), 0x000Fu);
  // Byte at an odd address: stored, nothing else.
  wb(0x97, 0x0F);
  EXPECT_EQ(rw(0x02), 0x0200u);
  wb(0xA9, 0x33);
  EXPECT_EQ(rw(0xA8), 0x0033u);
  // Long: two words, high first; 0x9A is INTENA.
  wl(0x98, 0x12348010);
  EXPECT_EQ(rw(0x98), 0x1234u);
  EXPECT_EQ(rw(0x1C), 0x4010u);
  EXPECT_EQ(rl(0xA0), 0u);
  wl(0xA0, 0x00ABCDEF);
  EXPECT_EQ(rl(0xA0), 0x00ABCDEFu);
  EXPECT_EQ(rl(0x00), 0x00000200u);  // word 0x00, then DMACON at 0x02
  // Word access at the top of the page wraps to byte 0.
  ww(0xFF, 0x1122);
  EXPECT_EQ(rb(0xFF), 0x11u);
  EXPECT_EQ(rb(0x00), 0x22u);
  // Only the low 8 bits of the address pick the register.
  paula_io_plugin.write_w(0x00DFF096, 0x8002, 0);
  EXPECT_EQ(rw(0x02), 0x0202u);
}

// A straightforward model of one voice over one frame, sample by sample,
// to check the renderer's batched inner loop against. It reads the voice's
// registers and state before the frame is mixed.
struct Model {
  std::vector<int16_t> out;
  PaulaVoiceState state;
  uint8_t data;
};

Model model_voice(int v, const std::vector<uint8_t> &mem, int n, uint32_t rate) {
  const uint64_t k = std::min<uint64_t>(29324165120ull / rate, 0xFFFFFFFFu);
  const uint32_t period = rw(voice_reg(v, 6));
  const uint32_t step = static_cast<uint32_t>(k / (period ? period : 1));
  const int32_t gain = kGain[std::min<uint32_t>(rw(voice_reg(v, 8)) & 0x7F, 64)];
  const uint32_t start = (rl(voice_reg(v, 0)) & 0xFFFFFE) << 13;
  const uint32_t words = rw(voice_reg(v, 4));
  const uint32_t length = (words ? words : 0x10000) << 14;
  const uint32_t end = start + length;
  const PaulaVoiceState s = *paula_voice_state(v);
  Model m{std::vector<int16_t>(n, 0), s, static_cast<uint8_t>(rw(voice_reg(v, 10)) >> 8)};
  if (end < start || s.loop_end < s.position) return m;
  uint32_t pos = s.position, cur = s.loop_end;
  bool looped = false;
  auto loop = [&] {
    pos = pos - cur + start;
    cur = end;
    if (pos >= end) pos -= (pos - start) / length * length;  // repeated subtraction
    looped = true;
  };
  int32_t s0 = 0;
  for (int i = 0; i < n; ++i) {
    if (pos >= cur) loop();
    const int32_t frac = static_cast<int32_t>(pos & 0x1FFF);
    s0 = static_cast<int8_t>(mem[pos >> 13]);
    uint32_t j = (pos >> 13) + 1;
    if ((j << 13) >= cur) j = start >> 13;
    const int32_t s1 = static_cast<int8_t>(mem[j & 0x7FFFF]);
    const int32_t x = (s1 * frac + s0 * (8192 - frac)) >> 13;
    pos += step;
    m.out[i] = static_cast<int16_t>((x * gain) >> 9);
  }
  if (pos >= cur) loop();
  m.data = static_cast<uint8_t>(s0);
  m.state.position = pos;
  if (looped) m.state = {pos, start, end};
  return m;
}

// Mixes one frame and checks it, and every running voice's state, against
// the model.
void check_frame(const std::vector<uint8_t> &mem, int n, uint32_t rate) {
  const uint32_t dmacon = rw(0x02);
  const uint32_t on = (dmacon & 0x200) ? dmacon & 0xF : 0;
  std::vector<Model> models;
  for (int v = 0; v < 4; ++v) {
    models.push_back(on & (1u << v) ? model_voice(v, mem, n, rate)
                                    : Model{std::vector<int16_t>(n, 0), *paula_voice_state(v), 0});
  }
  std::vector<uint32_t> out(n, 0xDEADBEEF);
  paula_mix(out.data(), mem.data(), n);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(left(out[i]), static_cast<int16_t>(models[0].out[i] + models[2].out[i])) << i;
    ASSERT_EQ(right(out[i]), static_cast<int16_t>(models[1].out[i] + models[3].out[i])) << i;
  }
  for (int v = 0; v < 4; ++v) {
    SCOPED_TRACE(v);
    const PaulaVoiceState *s = paula_voice_state(v);
    ASSERT_EQ(s->position, models[v].state.position);
    ASSERT_EQ(s->loop_start, models[v].state.loop_start);
    ASSERT_EQ(s->loop_end, models[v].state.loop_end);
    if (on & (1u << v)) {
      ASSERT_EQ(rw(voice_reg(v, 10)) >> 8, models[v].data);
    }
  }
}

TEST_F(Paula, RendererMatchesSampleBySampleModel) {
  std::mt19937 rng(1234);
  for (auto &b : mem) b = static_cast<uint8_t>(rng());
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    paula_reset();
    for (int v = 0; v < 4; ++v) {
      const uint32_t location = (rng() % 8 == 0) ? 0x7FFFFE - (rng() % 0x400) : rng() % 0x80000;
      const uint32_t words = (rng() % 10 == 0) ? 0 : 1 + rng() % 600;
      const uint32_t period = (rng() % 10 == 0) ? rng() % 3 : rng() % 2000;
      set_voice(v, location, words, period, rng() % 0x100);
    }
    ww(0x96, 0x8000 | (rng() % 16));
    for (int frame = 0; frame < 6; ++frame) {
      if (rng() % 3 == 0) {
        const int v = static_cast<int>(rng() % 4);
        wl(voice_reg(v, 0), rng() % 0x80000);
        ww(voice_reg(v, 4), rng() % 400);
      }
      check_frame(mem, 1 + static_cast<int>(rng() % 1200), kRate);
      if (HasFatalFailure()) return;
    }
  }
}

// Windows that reach or pass the top of the 24-bit space or of the 512 KiB
// memory: a window whose end wraps is silent for the frame, any other is
// played inside the memory.
TEST_F(Paula, WindowsAtTheTopOfMemory) {
  fill(0x7FE00, 0x200, 60);
  fill(0, 0x100, -60);
  struct Case {
    uint32_t location, words;
    bool plays;
  } cases[] = {
      {0x7FFE0, 8, true},       // ends 16 bytes below the top
      {0x7FFF0, 8, false},      // ends exactly at the top: the end wraps to 0
      {0xFFFFF0, 8, false},     // the same window through the 24-bit address
      {0x7FF00, 0x100, false},  // passes the top
      {0xFFFFFF, 0, false},     // odd top address, 65536 words
      {0xFFFE00, 0x80, true},   // masked to 0x7FE00
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.location << " " << c.words);
    paula_reset();
    set_voice(0, c.location, c.words, 124, 64);
    ww(0x96, 0x8001);
    const std::vector<uint32_t> out = render(3000);
    const bool silent = std::all_of(out.begin(), out.end(), [](uint32_t w) { return w == 0; });
    EXPECT_EQ(!silent, c.plays);
  }
}

// Random register values, rates and frame sizes: under the address
// sanitizer every sample read must stay inside the 512 KiB block, and the
// output still follows the sample-by-sample model.
TEST_F(Paula, HostileRegistersStayInsideMemory) {
  std::mt19937 rng(99);
  for (auto &b : mem) b = static_cast<uint8_t>(rng());
  const uint32_t rates[] = {1, 6, 7, 8000, 44100, 96000, 4000000000u};
  const uint32_t hostile[] = {0,      1,          0xFFFF,   0xFFFE,  0x8000,
                              0x7FFF, 0xFFFFFFFF, 0xFFFFFE, 0x7FFFF, 0x80000};
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    const uint32_t rate = rates[rng() % std::size(rates)];
    paula_sampling_rate(rate);
    for (int w = 0; w < 24; ++w) {
      const uint32_t r = (rng() % 2) ? 0xA0 + rng() % 0x40 : rng() % 0x100;
      const uint32_t value = (rng() % 2) ? hostile[rng() % std::size(hostile)] : rng();
      switch (rng() % 3) {
        case 0: wb(r, value); break;
        case 1: ww(r, value); break;
        default: wl(r, value); break;
      }
    }
    if (rng() % 2) ww(0x96, 0x820F);
    if (rng() % 4 == 0) ww(0x9C, 0x8780);
    const int n = static_cast<int>(rng() % 2000) - 10;
    if (n <= 0) {
      uint32_t untouched = 0xA5A5A5A5;
      paula_mix(&untouched, mem.data(), n);
      EXPECT_EQ(untouched, 0xA5A5A5A5u);
    } else {
      check_frame(mem, n, rate);
      if (HasFatalFailure()) break;
    }
  }
  paula_sampling_rate(kRate);
}

}  // namespace
