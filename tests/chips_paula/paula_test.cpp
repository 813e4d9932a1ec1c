// The Amiga chips through their bus handlers. Paula and paula_mix on
// exactly 512 KiB of memory: the renderer against a sample-by-sample model
// under random and hostile registers; writes heard from their cycle, the
// same output however the frames are cut into chunks (the pitch held over
// seconds and frames: the modules' held notes); voice starts and the
// control registers.
// CIA-B and the interrupt-source answers the frame runner asks for: timer
// A's interrupts on the exact cycles of its E clock over a minute of
// frames, and the registers a replay programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "chips/cia8520.h"
#include "chips/paula.h"

namespace {

constexpr uint32_t kBase = 0xFFDFF000;
Paula chip;
Timebase timebase;

void ww(uint32_t r, uint32_t v, uint32_t cycle = 0) {
  chip.io.write_w(&chip.io, kBase + r, v, cycle);
}
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

// A register write at a cycle of a frame.
struct Write {
  uint32_t frame, cycle, reg, value;
};

class PaulaChip : public ::testing::Test {
 protected:
  void SetUp() override {
    timebase = {kClocksNominal, 44100, 0};
    ASSERT_EQ(paula_init(&chip, &timebase, mem.data()), 0);
  }
  // n samples at the current position, in one call.
  std::vector<uint32_t> render(int n) {
    std::vector<uint32_t> out(n);
    paula_mix(&chip, out.data(), mem.data(), 0, n);
    return out;
  }
  // `frames` frames of `length` cycles from the track's start, each in
  // chunks of `chunk` cycles, as the player runs them: the writes of a
  // chunk's stretch at their cycles, then the chunk's samples.
  std::vector<uint32_t> play(uint32_t frames, uint32_t length, uint32_t chunk,
                             const std::vector<Write> &writes) {
    std::vector<uint32_t> out;
    auto next = writes.begin();
    for (uint32_t f = 0; f < frames; ++f) {
      timebase.frame_start = uint64_t{f} * length;
      chip.io.adjust_cycles(&chip.io, length);
      for (uint32_t from = 0; from < length; from += chunk) {
        const uint32_t to = std::min(length, from + chunk);
        for (; next != writes.end() && next->frame == f && next->cycle < to; ++next)
          ww(next->reg, next->value, next->cycle);
        const uint32_t n =
            timebase_frame_samples(&timebase, to) - timebase_frame_samples(&timebase, from);
        out.resize(out.size() + n);
        paula_mix(&chip, out.data() + out.size() - n, mem.data(), to, int(n));
      }
    }
    return out;
  }
  std::vector<uint8_t> mem = std::vector<uint8_t>(512 * 1024);  // exact size for ASan
};

// Renders one chunk and checks it, and every voice's state, against a model
// of each voice written sample by sample as the chip is described: 32.32
// byte positions stepping paula_hz / (period x rate) bytes a sample; linear
// interpolation (14-bit weights) towards the next byte (the registers' loop
// start's for the window's last byte); the window taken from the registers
// at each loop; addresses wrapping at the end of memory; byte x volume x 2.
// Voices 0 and 2 play on the left, 1 and 3 on the right.
void check_chunk(const std::vector<uint8_t> &mem, int n) {
  const uint32_t dmacon = rw(0x02), on = (dmacon & 0x200) ? dmacon & 0xF : 0;
  std::vector<int16_t> side[2] = {std::vector<int16_t>(n), std::vector<int16_t>(n)};
  PaulaVoiceState state[4];
  uint32_t data[4];
  for (int v = 0; v < 4; ++v) {
    PaulaVoiceState &s = state[v] = *paula_voice_state(&chip, v);
    data[v] = rw(voice_reg(v, 10)) >> 8;
    if (!(on >> v & 1)) continue;
    const uint32_t period = rw(voice_reg(v, 6)), words = rw(voice_reg(v, 4));
    const uint64_t step = (uint64_t{timebase.clocks.paula_hz} << 32) /
                          (uint64_t{period ? period : 1} * timebase.rate);
    const int32_t volume = std::min<int32_t>(rw(voice_reg(v, 8)) & 0x7F, 64);
    const uint32_t start = rl(voice_reg(v, 0)) & 0x7FFFE;
    const uint32_t length = 2 * (words ? words : 0x10000);
    uint64_t pos = uint64_t{s.position} << 32 | s.fraction;
    auto loop = [&] {
      pos =
          (uint64_t{start} << 32) + (pos - (uint64_t{s.loop_end} << 32)) % (uint64_t{length} << 32);
      s.loop_start = start;
      s.loop_end = start + length;
    };
    for (int i = 0; i < n; ++i) {
      if (pos >> 32 >= s.loop_end) loop();
      const uint32_t byte = uint32_t(pos >> 32), next = byte + 1 < s.loop_end ? byte + 1 : start;
      const int32_t s0 = static_cast<int8_t>(mem[byte & 0x7FFFF]);
      const int32_t s1 = static_cast<int8_t>(mem[next & 0x7FFFF]);
      const int32_t w = int32_t(uint32_t(pos) >> 18);
      side[v % 2][i] = static_cast<int16_t>(side[v % 2][i] +
                                            ((((s0 * 16384 + (s1 - s0) * w) >> 6) * volume) >> 7));
      data[v] = static_cast<uint8_t>(s0);
      pos += step;
    }
    if (pos >> 32 >= s.loop_end) loop();
    s.position = uint32_t(pos >> 32);
    s.fraction = uint32_t(pos);
  }
  std::vector<uint32_t> out(n, 0xDEADBEEF);
  paula_mix(&chip, out.data(), mem.data(), 0, n);
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(out[i],
              static_cast<uint16_t>(side[0][i]) | uint32_t{static_cast<uint16_t>(side[1][i])} << 16)
        << i;
  for (int v = 0; v < 4; ++v) {
    const PaulaVoiceState *s = paula_voice_state(&chip, v);
    ASSERT_EQ(s->position, state[v].position) << v;
    ASSERT_EQ(s->fraction, state[v].fraction) << v;
    ASSERT_EQ(s->loop_start, state[v].loop_start) << v;
    ASSERT_EQ(s->loop_end, state[v].loop_end) << v;
    ASSERT_EQ(rw(voice_reg(v, 10)) >> 8, data[v]) << v;
  }
}

// Typical and hostile register values (windows near or past the top of
// memory and of the 24-bit space, periods 0 to 2, lengths 0 and 1, loops of
// equal bytes, every volume byte), odd rates and chunk sizes, location and
// length changes between chunks: under the address sanitizer every read
// also stays inside the 512 KiB block.
TEST_F(PaulaChip, RendererMatchesTheModel) {
  std::mt19937 rng(1234);
  for (auto &b : mem) b = static_cast<uint8_t>(rng());
  std::fill_n(mem.begin() + 0x40000, 256, 0x9C);  // loops of equal bytes
  const uint32_t rates[] = {44100, 44100, 22050, 7, 8000, 96000, 4000000000u};
  const uint32_t hostile[] = {0, 1, 0xFFFF, 0xFFFE, 0x7FFFF, 0x80000, 0xFFFFFF, 0x7FF00, 0x7FFF0};
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    timebase.rate = rates[rng() % std::size(rates)];
    paula_reset(&chip);
    for (int v = 0; v < 4; ++v) {
      const int kind = static_cast<int>(rng() % 6);
      const uint32_t location = kind == 0   ? hostile[rng() % std::size(hostile)] - rng() % 0x400
                                : kind == 1 ? 0x40000 + 2 * (rng() % 64)
                                            : rng() % 0x80000;
      set_voice(v, location,
                kind == 0   ? rng() % 3
                : kind == 1 ? 1 + rng() % 32
                            : 1 + rng() % 600,
                rng() % 3 == 0 ? rng() % 48 : rng() % 2000, rng() % 0x100);
    }
    ww(0x96, 0x8000 | (rng() % 16));
    for (int chunk = 0; chunk < 5; ++chunk) {
      if (rng() % 3 == 0) {
        const int v = static_cast<int>(rng() % 4);
        wl(voice_reg(v, 0), rng() % 0x80000);
        ww(voice_reg(v, 4), rng() % 400);
      }
      check_chunk(mem, 1 + static_cast<int>(rng() % 2048));
      if (HasFatalFailure()) return;
    }
  }
}

// Writes at any cycle are heard from the first sample at or after it
// (sample n at cycle n x cpu_hz / rate), the same whether a frame is one
// chunk or many of odd sizes, at either clock: voice 0 plays a constant
// level alone on the left, its volume set at scattered cycles, while the
// periods, windows and DMA of voices 1 and 3 on the right change at others.
TEST_F(PaulaChip, WritesHeardFromTheirCycleInAnyChunks) {
  std::mt19937 rng(99);
  auto random = [&rng](uint32_t n) { return uint32_t(rng() % n); };
  for (auto &b : mem) b = static_cast<uint8_t>(rng());
  std::fill_n(mem.begin() + 0x1000, 32, 100);
  std::vector<Write> script, volumes;  // volumes: voice 0's, with absolute cycles
  for (uint32_t f = 0, cycle = 0; f < 6; ++f, cycle -= 40000) {
    for (cycle += 500 + random(5000); cycle < 40000; cycle += 500 + random(5000)) {
      const uint32_t v = 1 + 2 * random(2), reg = random(5);
      script.push_back(reg == 0   ? Write{f, cycle, voice_reg(0, 8), random(65)}
                       : reg == 1 ? Write{f, cycle, voice_reg(v, 6), 100 + random(900)}
                       : reg == 2 ? Write{f, cycle, voice_reg(v, 2), random(0x8000)}
                                  : Write{f, cycle, 0x96, (reg == 3 ? 0x8000u : 0) | 1u << v});
      if (reg == 0) volumes.push_back({0, 40000 * f + cycle, 0, script.back().value});
    }
  }
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    std::vector<uint32_t> first;
    for (const uint32_t chunk : {40000u, 1u << 18, 5003u, 181u}) {
      SCOPED_TRACE(testing::Message() << clocks->cpu_hz << " Hz, chunks of " << chunk);
      timebase.clocks = *clocks;
      paula_reset(&chip);
      for (int v = 0; v < 4; ++v) set_voice(v, v ? 0x10000 * v : 0x1000, 16 * v + 16, 300, 64);
      ww(0x96, 0x820B);
      const std::vector<uint32_t> out = play(6, 40000, chunk, script);
      if (first.empty()) first = out;
      EXPECT_EQ(out, first);
    }
    uint32_t volume = 64, wrong = 0;
    auto next = volumes.begin();
    for (uint64_t n = 0; n < first.size(); ++n) {
      for (; next != volumes.end() && next->cycle * uint64_t{44100} <= n * clocks->cpu_hz; ++next)
        volume = next->value;
      wrong += left(first[n]) != int(200 * volume);
    }
    EXPECT_EQ(wrong, 0u);
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
  render(16);
  EXPECT_EQ(rb(0x06), 0u);  // each chunk starts the count again
}

class CiaChip : public ::testing::Test {
 protected:
  void SetUp() override { cia_init(&cia_, &timebase_); }
  void write(uint32_t r, uint32_t v, uint32_t cycle = 0) {
    cia_.io.write_b(&cia_.io, 0xFFBFD000 + 0x100 * r, v, cycle);
  }
  uint32_t read(uint32_t r, uint32_t cycle = 0) {
    return cia_.io.read_b(&cia_.io, 0xFFBFD000 + 0x100 * r, cycle);
  }
  // The frame runner over a frame of `length` cycles: the cycles of the
  // interrupts the chip hands the 68000.
  std::vector<uint32_t> frame(uint32_t length) {
    std::vector<uint32_t> cycles;
    IoPlugin68 *io = &cia_.io;
    for (uint32_t t = 0; io->next_interrupt(io, t) != IO68_NO_INTERRUPT;) {
      t += uint32_t(std::max(io->next_interrupt(io, t), 0));
      if (t >= length) break;
      if (io->interrupt(io, t)) cycles.push_back(t);
    }
    io->adjust_cycles(io, length);
    return cycles;
  }

  Timebase timebase_{kClocksNominal, 44100, 0};
  Cia8520 cia_{};
};

// Timer A started at cycle 1000 with a latch of 14187 (a tempo of 125):
// its k-th interrupt comes at the first cycle at or after 1000 + k x 14187
// x cpu_hz / 709379, for a minute, at either clock, in frames of a 500 Hz
// and a 50 Hz replay.
TEST_F(CiaChip, TimerInterruptsOnItsExactCycles) {
  constexpr uint64_t kLatch = 14187, kStart = 1000;
  for (const MachineClocks *clocks : {&kClocksNominal, &kClocksPal}) {
    for (const uint32_t length : {16000u, 160256u}) {
      SCOPED_TRACE(testing::Message() << clocks->cpu_hz << " Hz, frames of " << length);
      timebase_.clocks = *clocks;
      cia_reset(&cia_);
      write(4, kLatch & 0xFF);
      write(5, kLatch >> 8);
      write(13, 0x81);          // timer A interrupts
      write(14, 0x11, kStart);  // loaded and started
      const uint64_t cpu = clocks->cpu_hz, e = clocks->cia_hz;
      uint64_t k = 1, at = 0, wrong = 0;
      for (; at < 60 * cpu; at += length)
        for (const uint32_t cycle : frame(length))
          wrong += at + cycle != (kStart * e + k++ * kLatch * cpu + e - 1) / e;
      EXPECT_EQ(wrong, 0u);
      EXPECT_EQ(k - 1, (at - kStart) * e / (kLatch * cpu));  // none missing
    }
  }
}

// A latch written while the timer runs takes effect at its next underflow;
// a masked underflow raises no interrupt but shows in the data, which a
// read of the interrupt control register returns and clears; the counter
// of a stopped timer takes its latch when the high byte is written, and
// reads back.
TEST_F(CiaChip, RegistersAsAReplayUsesThem) {
  const uint32_t tick = 8000000 / 709379 + 1;  // cycles of an E clock tick, rounded up
  write(4, 100);
  write(5, 0);  // a stopped timer's counter takes the latch
  write(13, 0x81);
  write(14, 0x01);
  write(4, 200);                 // from the second underflow on
  EXPECT_EQ(read(4, 800), 30u);  // 70.9 of its 100 ticks gone
  const std::vector<uint32_t> cycles = frame(500 * tick);
  ASSERT_EQ(cycles.size(), 3u);
  EXPECT_NEAR(cycles[1] - cycles[0], 200 * 8000000.0 / 709379, 1);
  EXPECT_EQ(read(13), 0x81u);  // timer A's underflow, and an interrupt
  EXPECT_EQ(read(13), 0u);     // acknowledged
  write(13, 0x01);             // masked
  EXPECT_TRUE(frame(1000 * tick).empty());
  EXPECT_EQ(read(13), 0x01u);
}

}  // namespace
