// Cost of one 50 Hz YM-2149 frame at 44,100 Hz: its register writes through
// the bus and its render, with a busy register stream, and with every
// generator at its fastest.
#include <benchmark/benchmark.h>

#include <vector>

#include "chips/timebase.h"
#include "chips/ym2149.h"

namespace {

Ym2149 chip;
Timebase timebase{kClocksNominal, 44100, 0};
constexpr uint32_t kSelect = 0xFFFF8800;
constexpr uint32_t kData = 0xFFFF8802;
constexpr uint32_t kFrame = 160256;  // 50 Hz at 8 MHz

void write_reg(int reg, int value, uint32_t cycle) {
  chip.io.write_b(&chip.io, kSelect, static_cast<uint32_t>(reg), cycle);
  chip.io.write_b(&chip.io, kData, static_cast<uint32_t>(value), cycle);
}

// A replay routine at frame start plus a timer routine firing 300 times over
// the frame, changing periods, volumes, the mixer and the envelope.
void busy_frame(int frame) {
  write_reg(0, 0x1C + frame % 7, 0);
  write_reg(1, 1, 0);
  write_reg(2, 0xEE, 0);
  write_reg(3, 0, 0);
  write_reg(4, 0x40 + frame % 13, 0);
  write_reg(5, 2, 0);
  write_reg(6, 3 + frame % 5, 0);
  write_reg(7, 0x30 + (frame & 8), 0);  // tones on, noise on C now and then
  write_reg(8, 0x10, 0);                // A on the envelope
  write_reg(11, 0x80, 0);
  write_reg(12, 0, 0);
  if (frame % 25 == 0) write_reg(13, 14, 0);
  for (int i = 0; i < 300; ++i) {
    uint32_t cycle = 512 + static_cast<uint32_t>(i) * 530;
    write_reg(9, (i + frame) & 15, cycle);  // B volume ramp
    if (i % 3 == 0) write_reg(2, (i * 37) & 0xFF, cycle);
    if (i % 10 == 0) write_reg(10, 8 + (i & 7), cycle);
    if (i % 50 == 0) write_reg(7, 0x20 + (i & 0x10), cycle);
  }
}

// Tones of period 1 on A and B, noise of period 0 on all three channels, C
// on an envelope of period 1: a level change at nearly every step.
void fastest_frame(int frame) {
  if (frame > 0) return;
  write_reg(0, 1, 0);
  write_reg(2, 1, 0);
  write_reg(6, 0, 0);
  write_reg(7, 0, 0);
  write_reg(8, 15, 0);
  write_reg(9, 15, 0);
  write_reg(10, 0x10, 0);
  write_reg(11, 1, 0);
  write_reg(13, 10, 0);
}

void render_frames(benchmark::State &state, void (*frame_writes)(int)) {
  ym_init(&chip, &timebase);
  std::vector<int32_t> out(TIMEBASE_MAX_CHUNK_SAMPLES);
  int frame = 0;
  int64_t samples = 0;
  for (auto _ : state) {
    chip.io.adjust_cycles(&chip.io, frame ? kFrame : 0);
    timebase.frame_start = uint64_t{kFrame} * static_cast<uint64_t>(frame);
    frame_writes(frame++);
    const auto n = static_cast<int>(timebase_frame_samples(&timebase, kFrame));
    ym_render(&chip, kFrame, out.data(), n);
    benchmark::DoNotOptimize(out[0]);
    samples += n;
  }
  state.counters["samples/frame"] =
      static_cast<double>(samples) / static_cast<double>(state.iterations());
}

void BM_BusyFrame(benchmark::State &state) { render_frames(state, busy_frame); }
BENCHMARK(BM_BusyFrame);

void BM_FastestGenerators(benchmark::State &state) { render_frames(state, fastest_frame); }
BENCHMARK(BM_FastestGenerators);

}  // namespace
