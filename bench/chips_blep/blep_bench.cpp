// Cost of band-limited steps: per level change, and per output sample read.
#include <benchmark/benchmark.h>

#include <memory>

#include "chips/blep.h"

namespace {

constexpr uint64_t kFrame = 5008;  // 50 Hz frame of 250 kHz steps

// Frames of a square wave toggling every `spacing` steps (1: every step, as
// noise at its highest rate; 7: a 17,857 Hz tone; 284: 440 Hz), each read
// out at its end. Items: level changes.
void BM_AddDelta(benchmark::State &state) {
  const auto spacing = static_cast<uint64_t>(state.range(0));
  auto b = std::make_unique<chips::Blep>();
  chips::blep_init(*b, 2002653, 8, 44100);
  static int32_t out[chips::kBlepSpan];
  uint64_t step = 0, frame = 0;
  int32_t delta = 12000;
  int64_t changes = 0;
  for (auto _ : state) {
    frame += kFrame;
    for (; step < frame; step += spacing, delta = -delta) chips::blep_add_delta(*b, step, delta);
    changes += static_cast<int64_t>(kFrame / spacing);
    benchmark::DoNotOptimize(chips::blep_read(*b, frame, out));
  }
  state.SetItemsProcessed(changes);
}
BENCHMARK(BM_AddDelta)->Arg(1)->Arg(7)->Arg(284);

// Frames without level changes: the read-out alone. Items: output samples.
void BM_Read(benchmark::State &state) {
  const auto rate = static_cast<uint32_t>(state.range(0));
  auto b = std::make_unique<chips::Blep>();
  chips::blep_init(*b, 2002653, 8, rate);
  static int32_t out[chips::kBlepSpan];
  uint64_t frame = 0;
  int64_t samples = 0;
  for (auto _ : state) {
    frame += kFrame;
    samples += chips::blep_read(*b, frame, out);
    benchmark::DoNotOptimize(out[0]);
  }
  state.SetItemsProcessed(samples);
}
BENCHMARK(BM_Read)->Arg(44100)->Arg(22050);

}  // namespace
