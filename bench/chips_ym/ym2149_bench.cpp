// Cost of rendering one 50 Hz YM-2149 frame with a busy register stream.
#include <benchmark/benchmark.h>

#include "chips/ym2149.h"

namespace {

Ym2149 chip;
constexpr uint32_t kSelect = 0xFFFF8800;
constexpr uint32_t kData = 0xFFFF8802;
constexpr uint32_t kFrame = 160256;  // 50 Hz at 8 MHz

void write_reg(int reg, int value, uint32_t cycle) {
  chip.io.write_b(&chip.io, kSelect, static_cast<uint32_t>(reg), cycle);
  chip.io.write_b(&chip.io, kData, static_cast<uint32_t>(value), cycle);
}

// A replay routine at frame start plus a timer routine firing 300 times over
// the frame, changing periods, volumes, the mixer and the envelope.
void queue_frame(int frame) {
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

void BM_RenderFrame(benchmark::State &state) {
  ym_init(&chip);
  ym_sampling_rate(&chip, 44100);
  int frame = 0;
  int64_t samples = 0;
  for (auto _ : state) {
    state.PauseTiming();
    queue_frame(frame++);
    state.ResumeTiming();
    samples += ym_render_frame(&chip, kFrame);
    benchmark::DoNotOptimize(ym_output_buffer(&chip)[0]);
    chip.io.adjust_cycles(&chip.io, kFrame);
  }
  state.counters["samples/frame"] =
      static_cast<double>(samples) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RenderFrame);

// The same including the cost of queueing the writes through the bus.
void BM_QueueAndRenderFrame(benchmark::State &state) {
  ym_init(&chip);
  ym_sampling_rate(&chip, 44100);
  int frame = 0;
  for (auto _ : state) {
    queue_frame(frame++);
    benchmark::DoNotOptimize(ym_render_frame(&chip, kFrame));
    chip.io.adjust_cycles(&chip.io, kFrame);
  }
}
BENCHMARK(BM_QueueAndRenderFrame);

}  // namespace
