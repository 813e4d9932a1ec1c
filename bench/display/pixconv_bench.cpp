// Converting one full 800x600 frame with each converter, and memcpy of the
// same frame for reference.
#include "display/pixconv.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t W = 800, H = 600;

const std::vector<uint32_t> &frame() {
  static const std::vector<uint32_t> f = [] {
    std::vector<uint32_t> v(W * H);
    std::mt19937 rng(7);
    for (uint32_t &p : v) p = uint32_t(rng()) & 0x00FFFFFF;
    return v;
  }();
  return f;
}

void BM_Memcpy(benchmark::State &state) {
  const std::vector<uint32_t> &src = frame();
  std::vector<uint8_t> dst(W * H * 4);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(W * H * 4));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);

// Row by row, as presenting does; arg 0 = layout, arg 1 = 0 fastest,
// 1 grouped, 2 per pixel.
void BM_Convert(benchmark::State &state) {
  const pixconv::Layout &l = pixconv::layouts()[state.range(0)];
  pixconv::RowConverter conv = state.range(1) == 0   ? l.fastest
                               : state.range(1) == 1 ? l.grouped
                                                     : l.per_pixel;
  static const char *const kinds[] = {"fastest", "grouped", "per_pixel"};
  state.SetLabel(std::string(l.name) + " " + kinds[state.range(1)]);
  const std::vector<uint32_t> &src = frame();
  size_t pitch = W * size_t(l.bits / 8);
  std::vector<uint8_t> dst(pitch * H);
  for (auto _ : state) {
    for (size_t y = 0; y < H; ++y) conv(src.data() + y * W, dst.data() + y * pitch, W);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(W * H * 4));
}
BENCHMARK(BM_Convert)
    ->ArgsProduct({benchmark::CreateDenseRange(0, int64_t(pixconv::layout_count) - 1, 1),
                   {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
