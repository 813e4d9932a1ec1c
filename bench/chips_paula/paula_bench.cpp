// Cost of Paula's output: paula_mix of 883 samples (a 50 Hz frame at
// 44100 Hz, rounded up) with all four voices playing looped samples at
// typical music periods, and with four voices on the one-word silent loop
// a replay parks idle voices on.
#include "chips/paula.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFFDFF000;
constexpr int kSamples = 883;

struct Bench {
  Paula chip{};
  Timebase timebase{kClocksNominal, 44100, 0};
  std::vector<uint8_t> memory = std::vector<uint8_t>(512 * 1024 + 3);

  void ww(uint32_t r, uint32_t v) { chip.io.write_w(&chip.io, kBase + r, v, 0); }
  void wl(uint32_t r, uint32_t v) { chip.io.write_l(&chip.io, kBase + r, v, 0); }

  // Voice v at `words` from 0x10000 + 0x10000 v, at `period` and `volume`.
  void voice(uint32_t v, uint32_t words, uint32_t period, uint32_t volume) {
    const uint32_t r = 0xA0 + 16 * v;
    wl(r, 0x10000 + 0x10000 * v);
    ww(r + 4, words);
    ww(r + 6, period);
    ww(r + 8, volume);
  }

  void run(benchmark::State &state) {
    ww(0x96, 0x820F);
    std::vector<uint32_t> buffer(kSamples);
    for (auto _ : state) {
      chip.io.adjust_cycles(&chip.io, 0);
      paula_mix(&chip, buffer.data(), memory.data(), 0, kSamples);
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
  }
};

void BM_PaulaMixFourVoices(benchmark::State &state) {
  auto b = std::make_unique<Bench>();
  std::mt19937 rng(5);
  for (auto &byte : b->memory) byte = static_cast<uint8_t>(rng());
  paula_init(&b->chip, &b->timebase, b->memory.data());
  // Sample lengths (words) and periods of a typical module: short looped
  // instruments and longer one-shots, notes from C-1 to B-3.
  const uint32_t words[4] = {2000, 320, 8000, 64};
  const uint32_t periods[4] = {856, 428, 214, 113};
  for (uint32_t v = 0; v < 4; ++v) b->voice(v, words[v], periods[v], 48 + 4 * v);
  b->run(state);
}
BENCHMARK(BM_PaulaMixFourVoices);

// Four voices at B-3 on one silent word each.
void BM_PaulaMixSilentLoops(benchmark::State &state) {
  auto b = std::make_unique<Bench>();
  paula_init(&b->chip, &b->timebase, b->memory.data());
  for (uint32_t v = 0; v < 4; ++v) b->voice(v, 1, 113, 64);
  b->run(state);
}
BENCHMARK(BM_PaulaMixSilentLoops);

}  // namespace
