// A batch of eight songs rendered on a pool of threads, as `vk68 render
// FILE... --out-dir DIR -j N` renders them (without writing WAV files):
// each thread opens the next song when done with one. The songs play the
// benchmark tunes in turn (YM on a 200 Hz timer, four Paula voices, STE DMA
// sound), a minute each. "x_realtime" is seconds rendered per second of
// wall time: -j 2 against -j 1 shows what a second core gives.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "vk68/song.h"

namespace {

constexpr int kSongs = 8;
constexpr int kTracks = 3;  // of the benchmark file
constexpr int kSeconds = 60;
constexpr size_t kBuffer = 4096;  // frames a render call

// Renders song i of the batch; false when it cannot.
bool render_song(const std::string &file, int i) {
  vk68_song *song = vk68_song_open(file.data(), file.size(), nullptr, nullptr, 0);
  if (!song || vk68_song_select_track(song, 1 + i % kTracks) != 0) {
    vk68_song_close(song);
    return false;
  }
  std::vector<int16_t> buffer(2 * kBuffer);
  size_t left = size_t(kSeconds) * size_t(vk68_song_rate(song));
  for (size_t n = 1; left > 0 && n > 0; left -= n) {
    n = vk68_song_render(song, buffer.data(), std::min(kBuffer, left));
    benchmark::DoNotOptimize(buffer.data());
  }
  vk68_song_close(song);
  return left == 0;
}

void Batch(benchmark::State &state) {
  std::ifstream in(TUNES, std::ios::binary);
  const std::string file{std::istreambuf_iterator<char>(in), {}};
  const int threads = int(state.range(0));
  std::atomic<int> failed = 0;
  for (auto _ : state) {
    std::atomic<int> next = 0;
    auto work = [&] {
      for (int i; (i = next++) < kSongs;) failed += !render_song(file, i);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread &t : pool) t.join();
  }
  if (failed) state.SkipWithError("cannot render the benchmark tunes");
  state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) * kSongs * kSeconds,
                                                    benchmark::Counter::kIsRate);
}

BENCHMARK(Batch)->ArgName("j")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
