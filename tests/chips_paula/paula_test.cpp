// Paula through its bus handlers and paula_mix on exactly 512 KiB of memory:
// the renderer against a sample-by-sample model under random and hostile
// registers, voice starts, and the control registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "chips/paula.h"

namespace {

constexpr uint32_t kBase = 0xFFDFF000;
Paula chip;
constexpr int kFrame = 882;  // samples of one 50 Hz frame at 44100 Hz

constexpr int32_t kGain[65] = {
    0,     1772,  3230,  4584,  5886,  7189,  8352,  9608,  10725, 11972, 13099, 14190, 15372,
    16487, 17506, 18589, 19739, 20751, 21815, 22933, 23869, 24843, 25857, 26912, 28011, 28864,
    30042, 30957, 31899, 32871, 33872, 34903, 35966, 36693, 37810, 38962, 39749, 40552, 41787,
    42631, 43492, 44371, 45267, 46182, 47115, 48067, 49038, 50028, 51039, 52070, 53122, 53656,
    54740, 55846, 56407, 57546, 58125, 59299, 59895, 61105, 61719, 62966, 63599, 64883, 65536};

void ww(uint32_t r, uint32_t v) { chip.io.write_w(&chip.io, kBase + r, v, 0); }
void wb(uint32_t r, uint32_t v) { chip.io.write_b(&chip.io, kBase + r, v, 0); }
void wl(uint32_t r, uint32_t v) { chip.io.write_l(&chip.io, kBase + r, v, 0); }
uint32_t rw(uint32_t r) { return chip.io.read_w(&chip.io, kBase + r, 0); }
uint32_t rb(uint32_t r) { return chip.io.read_b(&chip.io, kBase + r, 0); }
uint32_t rl(uint32_t r) { return chip.io.read_l(&chip.io, kBase + r, 0); }
uint32_t voice_reg(int v, uint32_t offset) { return 0xA0 + 16 * v + offset; }
int16_t left(uint32_t w) { return static_cast<int16_t>(w & 0xFFFF); }

void set_voice(int v, uint32_t location, uint32_t words, uint32_t period, uint32_t volume) {
  wl(voice_reg(v, 0), location);
  ww(voice_reg(v, 4), words);
  ww(voice_reg(v, 6), period);
  ww(voice_reg(v, 8), volume);
}

class PaulaChip : public ::testing::Test {
 protected:
  void SetUp() override {
    paula_sampling_rate(&chip, 44100);
    ASSERT_EQ(paula_init(&chip), 0);
  }
  std::vector<uint32_t> render(int n) {  // in frames, as the player mixes
    std::vector<uint32_t> out(n);
    for (int done = 0; done < n; done += kFrame)
      paula_mix(&chip, out.data() + done, mem.data(), std::min(kFrame, n - done));
    return out;
  }
  std::vector<uint8_t> mem = std::vector<uint8_t>(512 * 1024);  // exact size for ASan
};

// Mixes one frame and checks it, and every voice's state, against a model
// of each voice written sample by sample as the chip is described: position
// in 1/8192 byte; linear interpolation towards the next byte (the loop
// start's for the window's last byte); the window taken from the registers
// at each loop; a step past the 32-bit range reaching the loop end like any
// other. Voices 0 and 2 play on the left, 1 and 3 on the right.
void check_frame(const std::vector<uint8_t> &mem, int n, uint32_t rate) {
  const uint32_t dmacon = rw(0x02), on = (dmacon & 0x200) ? dmacon & 0xF : 0;
  std::vector<int16_t> side[2] = {std::vector<int16_t>(n), std::vector<int16_t>(n)};
  PaulaVoiceState state[4];
  uint32_t data[4];
  for (int v = 0; v < 4; ++v) {
    PaulaVoiceState &s = state[v] = *paula_voice_state(&chip, v);
    data[v] = rw(voice_reg(v, 10)) >> 8;
    const uint32_t period = rw(voice_reg(v, 6)), words = rw(voice_reg(v, 4));
    const uint64_t step =
        std::min<uint64_t>(29324165120ull / rate, 0xFFFFFFFF) / (period ? period : 1);
    const int32_t gain = kGain[std::min<uint32_t>(rw(voice_reg(v, 8)) & 0x7F, 64)];
    const uint32_t start = (rl(voice_reg(v, 0)) & 0xFFFFFE) << 13;
    const uint32_t length = (words ? words : 0x10000) << 14, end = start + length;
    if (!(on >> v & 1) || end < start || s.loop_end < s.position) continue;
    uint64_t pos = s.position;
    auto loop = [&] {
      pos = start + (pos - s.loop_end) % length;
      s.loop_start = start;
      s.loop_end = end;
    };
    for (int i = 0; i < n; ++i) {
      if (pos >= s.loop_end) loop();
      const int32_t frac = static_cast<int32_t>(pos & 0x1FFF),
                    s0 = static_cast<int8_t>(mem[pos >> 13]);
      uint64_t j = (pos >> 13) + 1;
      if ((j << 13) >= s.loop_end) j = start >> 13;
      const int32_t s1 = static_cast<int8_t>(mem[j & 0x7FFFF]);
      pos += step;
      side[v % 2][i] = static_cast<int16_t>(
          side[v % 2][i] + ((((s1 * frac + s0 * (8192 - frac)) >> 13) * gain) >> 9));
      data[v] = static_cast<uint8_t>(s0);
    }
    if (pos >= s.loop_end) loop();
    s.position = static_cast<uint32_t>(pos);
  }
  std::vector<uint32_t> out(n, 0xDEADBEEF);
  paula_mix(&chip, out.data(), mem.data(), n);
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(out[i],
              static_cast<uint16_t>(side[0][i]) | uint32_t{static_cast<uint16_t>(side[1][i])} << 16)
        << i;
  for (int v = 0; v < 4; ++v) {
    const PaulaVoiceState *s = paula_voice_state(&chip, v);
    ASSERT_EQ(s->position, state[v].position) << v;
    ASSERT_EQ(s->loop_start, state[v].loop_start) << v;
    ASSERT_EQ(s->loop_end, state[v].loop_end) << v;
    ASSERT_EQ(rw(voice_reg(v, 10)) >> 8, data[v]) << v;
  }
}

// Typical and hostile register values (windows near or past the top of
// memory and of the 24-bit space, periods 0 to 2, lengths 0 and 1, every
// volume byte), odd rates and frame sizes, location and length changes
// between frames: under the address sanitizer every read also stays inside
// the 512 KiB block.
TEST_F(PaulaChip, RendererMatchesTheModel) {
  std::mt19937 rng(1234);
  for (auto &b : mem) b = static_cast<uint8_t>(rng());
  const uint32_t rates[] = {44100, 44100, 22050, 7, 8000, 96000, 4000000000u};
  const uint32_t hostile[] = {0, 1, 0xFFFF, 0xFFFE, 0x7FFFF, 0x80000, 0xFFFFFF, 0x7FF00, 0x7FFF0};
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    const uint32_t rate = rates[rng() % std::size(rates)];
    paula_sampling_rate(&chip, rate);
    paula_reset(&chip);
    for (int v = 0; v < 4; ++v) {
      const bool wild = rng() % 4 == 0;
      set_voice(v, wild ? hostile[rng() % std::size(hostile)] - rng() % 0x400 : rng() % 0x80000,
                wild ? rng() % 3 : 1 + rng() % 600, rng() % 3 == 0 ? rng() % 48 : rng() % 2000,
                rng() % 0x100);
    }
    ww(0x96, 0x8000 | (rng() % 16));
    for (int frame = 0; frame < 5; ++frame) {
      if (rng() % 3 == 0) {
        const int v = static_cast<int>(rng() % 4);
        wl(voice_reg(v, 0), rng() % 0x80000);
        ww(voice_reg(v, 4), rng() % 400);
      }
      check_frame(mem, 1 + static_cast<int>(rng() % 1200), rate);
      if (HasFatalFailure()) return;
    }
  }
}

// A voice starts from its registers when its DMA (or the master's) goes on,
// or when its INTREQ bit is set while masked or already pending; other
// register changes wait for its loop.
TEST_F(PaulaChip, VoiceStarts) {
  std::fill_n(mem.begin() + 0x10000, 2000, 50);
  std::fill_n(mem.begin() + 0x20000, 2000, static_cast<uint8_t>(-50));
  struct Case {
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    bool restarts;
  } cases[] = {{{{0x96, 0x8001}}, false},                 // bits already on
               {{{0x96, 0x0001}, {0x96, 0x8001}}, true},  // voice off and on
               {{{0x96, 0x0200}, {0x96, 0x8200}}, true},  // master off and on
               {{{0x9C, 0x8080}}, false},                 // enabled, not pending: flagged
               {{{0x9C, 0x8080}, {0x9C, 0x8080}}, true},  // pending
               {{{0x9A, 0x0080}, {0x9C, 0x8080}}, true},  // masked
               {{{0x9A, 0x4000}, {0x9C, 0x8080}}, true},  // master interrupt off
               {{{0x9C, 0x0080}}, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << std::hex << c.writes[0].first << "=" << c.writes[0].second);
    paula_reset(&chip);
    ww(0x9A, 0xC080);  // voice 0's interrupt enabled
    set_voice(0, 0x10000, 1000, 428, 64);
    ww(0x96, 0x8201);
    EXPECT_EQ(left(render(100)[99]), 50 * 128);
    wl(voice_reg(0, 0), 0x20000);  // the next start or loop plays the second sample
    for (auto [reg, value] : c.writes) {
      ww(reg, value);
      if (reg == 0x96 && !(value & 0x8000)) {
        EXPECT_EQ(render(50), std::vector<uint32_t>(50, 0));
      }
    }
    EXPECT_EQ(left(render(10)[9]), c.restarts ? -50 * 128 : 50 * 128);
  }
}

// Set/clear writes and their read-back registers, byte and long accesses,
// the beam counter.
TEST_F(PaulaChip, ControlRegistersAndAccesses) {
  ww(0x96, 0x800F);
  ww(0x96, 0x0005);
  EXPECT_EQ(rw(0x02), 0x020Au);
  EXPECT_EQ(rb(0x02) << 8 | rb(0x03), 0x020Au);
  ww(0x96, 0xFFFF);  // bit 15 never sticks
  EXPECT_EQ(rw(0x02), 0x7FFFu);
  wb(0x96, 0x7F);  // a byte at an even address is a word with high byte 0: clears
  EXPECT_EQ(rw(0x02), 0x7F80u);
  wb(0x97, 0x0F);  // at an odd address it is only stored
  EXPECT_EQ(rw(0x02), 0x7F80u);
  EXPECT_EQ(rw(0x96), 0x000Fu);
  ww(0x9E, 0x8123);
  EXPECT_EQ(rw(0x9E), 0x0123u);
  EXPECT_EQ(rb(0x10) << 8 | rb(0x11), 0x0123u);
  wl(0x98, 0x12348010);  // two words: 0x9A is INTENA
  EXPECT_EQ(rw(0x98), 0x1234u);
  EXPECT_EQ(rw(0x1C), 0x4010u);
  EXPECT_EQ(rw(0x9A), 0x8010u);  // written bytes stay readable
  wl(0xA0, 0x00ABCDEF);
  EXPECT_EQ(rl(0xA0), 0x00ABCDEFu);
  ww(0xFF, 0x1122);  // the page wraps
  EXPECT_EQ(rb(0x00), 0x22u);
  for (uint32_t i = 0; i < 258; ++i) EXPECT_EQ(rb(0x06), i & 0xFF);
  std::vector<uint32_t> out(16);
  paula_mix(&chip, out.data(), mem.data(), 16);
  EXPECT_EQ(rb(0x06), 0u);  // each frame starts the count again
}

}  // namespace
