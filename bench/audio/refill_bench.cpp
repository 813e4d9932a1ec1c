// One refill of a sound buffer (11025 single-sample vk68_process calls) on
// track 1 of the embedded tune, looping as the intro does. The counter
// "percent_of_buffer" is the refill's time in percent of the quarter second
// the buffer plays.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "assets/music_data.h"
#include "audio/music_buffers.h"

namespace {

void Refill(benchmark::State &state) {
  VK68init init{};
  init.alloc = std::malloc;
  init.free = std::free;
  init.user_path = init.shared_path = "/nonexistent";
  Player68 *player = vk68_init(&init);
  if (!player || vk68_load_buffer(player, asset_music, int32_t(asset_music_size)) != 0 ||
      vk68_play(player, 1) != 0) {
    state.SkipWithError("cannot load the embedded tune");
    return;
  }
  music_buffers_reset(player);
  music_fill(0);  // starts the track
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    music_fill(0);
    benchmark::DoNotOptimize(music_buffers.samples[0]);
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  const double played = double(state.iterations()) * kMusicBufferSamples / kMusicRate;
  state.counters["percent_of_buffer"] = 100 * spent.count() / played;
  vk68_shutdown(player);
  music_buffers_reset(nullptr);
}

BENCHMARK(Refill)->Unit(benchmark::kMicrosecond);

}  // namespace
