// One second of output at a time through vk68_process; the "x_realtime"
// counter is seconds rendered per second of CPU time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "vk68/vk68.h"

namespace {

constexpr int kRate = 44100;
constexpr int kHostileSeconds = 60;  // asked for of each hostile track

// A player on the benchmark tunes, without configuration files; null when
// it cannot load them.
Player68 *open_tunes() {
  VK68init init{};
  init.alloc = std::malloc;
  init.free = std::free;
  init.user_path = init.shared_path = "/nonexistent";
  Player68 *player = vk68_init(&init);
  if (player && vk68_load_path(player, TUNES) != 0) {
    vk68_shutdown(player);
    return nullptr;
  }
  return player;
}

void Render(benchmark::State &state, int track) {
  Player68 *player = open_tunes();
  if (!player || vk68_play(player, track) != 0) {
    state.SkipWithError("cannot load the benchmark tunes");
    return;
  }
  std::vector<uint32_t> second(kRate);
  for (auto _ : state) {
    const int status = vk68_process(player, second.data(), kRate);
    if (status < 0) {
      const char *why = vk68_error_get();
      state.SkipWithError(why ? why : "process failed");
      break;
    }
    // Long runs outlast the track: when the next tune has started, go back
    // to this one.
    if (vk68_play(player, -1) != track) vk68_play(player, track);
    benchmark::DoNotOptimize(second.data());
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  vk68_shutdown(player);
}

// A minute of a hostile track asked for, from its start: the engine bounds
// every frame by the instructions its cycles allow, so a play routine that
// runs on stops its track, and handlers that take all the time still leave
// the rest of the minute to render. "x_realtime": seconds asked for per
// second of CPU time.
void Hostile(benchmark::State &state, int track) {
  Player68 *player = open_tunes();
  if (!player) {
    state.SkipWithError("cannot load the benchmark tunes");
    return;
  }
  std::vector<uint32_t> second(kRate);
  for (auto _ : state) {
    vk68_play(player, track);
    for (int s = 0; s < kHostileSeconds; ++s) {
      const int status = vk68_process(player, second.data(), kRate);
      if (status < 0 || vk68_play(player, -1) != track) break;
    }
    while (vk68_error_get()) {
    }
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()) * kHostileSeconds, benchmark::Counter::kIsRate);
  vk68_shutdown(player);
}

BENCHMARK_CAPTURE(Render, ym_timer_200hz, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Render, paula_4_voices, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Render, ste_dma_stereo, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Hostile, endless_play, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Hostile, four_fastest_timers, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Hostile, illegal_instructions, 6)->Unit(benchmark::kMillisecond);

}  // namespace
