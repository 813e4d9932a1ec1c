// Render speed of an Amiga module through the engine: a module whose four
// channels play all the time (looped and one-shot samples, arpeggio,
// vibrato, slides and a new note on every row), from vk68_process in
// buffers of 11025 samples. Reported as seconds of audio per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "file/mod68.h"
#include "modtext.h"
#include "vk68/vk68.h"

namespace {

constexpr char kInstruments[] = R"(
instrument 1 "lead"
  length 256
  loop 0 256
  wave saw 64
  wave square 32 30
instrument 2 "bass"
  length 2048
  loop 1024 1024
  wave triangle 128
  decay 1024 60
instrument 3 "pluck"
  length 12000
  wave saw 32
  decay exp 3000
instrument 4 "pad"
  length 512
  loop 0 512
  wave sine 64
  wave sine 32 40
)";

std::string module_text() {
  std::string text = std::string("title \"bench\"\norder 0\n") + kInstruments + "pattern 0\n";
  const char *notes[] = {"C-2", "E-2", "G-2", "C-3", "A-1", "D-2", "F-2", "B-2"};
  const char *effects[] = {"037", "446", "A02", "103", "047", "E91", "202", "000"};
  for (int row = 0; row < 64; ++row) {
    const std::string n = notes[row % 8], e = effects[row % 8];
    text += "  " + n + " 01 " + e + "  " + notes[(row + 3) % 8] + " 02 " + effects[(row + 5) % 8] +
            "  " + notes[(row + 5) % 8] + " 03 000  " + notes[(row + 1) % 8] + " 04 " +
            effects[(row + 2) % 8] + "\n";
  }
  return text;
}

void BM_FourVoiceModule(benchmark::State &state) {
  modgen::Module m;
  std::string error;
  if (!modgen::parse_module(module_text(), m, error)) return state.SkipWithError(error.c_str());
  const std::vector<uint8_t> bytes = modgen::build_module(m);
  VK68init init{};
  init.alloc = std::malloc;
  init.free = std::free;
  init.user_path = init.shared_path = "/nonexistent";
  Player68 *player = vk68_init(&init);
  const Mod68Track track{0, nullptr};
  Disk68 *disk = mod68_disk(bytes.data(), int32_t(bytes.size()), nullptr, nullptr, &track, 1);
  if (!player || !disk || vk68_load_disk(player, disk) != 0)
    return state.SkipWithError("cannot load the module");
  std::vector<uint32_t> buffer(11025);
  int64_t samples = 0;
  for (auto _ : state) {
    const int status = vk68_process(player, buffer.data(), int(buffer.size()));
    if (status & VK68_PROCESS_END) vk68_restart(player);
    benchmark::DoNotOptimize(buffer.data());
    samples += int64_t(buffer.size());
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(samples) / 44100.0, benchmark::Counter::kIsRate);
  vk68_shutdown(player);
}
BENCHMARK(BM_FourVoiceModule)->Unit(benchmark::kMillisecond);

}  // namespace
