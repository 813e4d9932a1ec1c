#include "ym_test_util.h"

#include <algorithm>

#include "chips/ym2149.h"

namespace ymtest {

int32_t scaled(uint32_t stored) {
  // (0xD000 << 14) / 65536: the stored table's peak is 65535.
  constexpr uint32_t kFactor = 13312;
  return static_cast<int32_t>(std::min<uint32_t>((stored * kFactor) >> 14, 0xD000));
}

int32_t centred(uint32_t level, uint32_t peak) {
  return scaled(level) - ((scaled(peak) + 1) >> 1);
}

void fresh() {
  ym_init();
  ym_sampling_rate(44100);
  ym_voice_mask(7);
}

void write_reg(int reg, int value, uint32_t cycle) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), cycle);
  ym_io_plugin.write_b(kData, static_cast<uint32_t>(value), cycle);
}

uint32_t read_reg(int reg) {
  ym_io_plugin.write_b(kSelect, static_cast<uint32_t>(reg), 0);
  return ym_io_plugin.read_b(kSelect, 0);
}

std::vector<int32_t> frame(uint32_t cycles) {
  int n = ym_render_frame(cycles);
  std::vector<int32_t> out(ym_output_buffer(), ym_output_buffer() + n);
  ym_io_plugin.adjust_cycles(cycles);
  return out;
}

std::vector<int32_t> frames(int count, uint32_t cycles) {
  std::vector<int32_t> all;
  for (int i = 0; i < count; ++i) {
    auto f = frame(cycles);
    all.insert(all.end(), f.begin(), f.end());
  }
  return all;
}

}  // namespace ymtest
