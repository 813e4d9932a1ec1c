// Module text descriptions: a readable tracker notation for four-channel
// ProTracker modules with synthesized instruments, parsed into a Module and
// turned into module bytes. The notation is described at the top of
// modtext.cpp; the synthesis of instrument samples lives in synth.cpp.
#ifndef TOOLS_MODGEN_MODTEXT_H
#define TOOLS_MODGEN_MODTEXT_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace modgen {

enum class Wave { kSine, kSquare, kPulse, kSaw, kTriangle, kNoise };

// One partial of a synthesized instrument.
struct Partial {
  Wave wave = Wave::kSine;
  int duty = 50;          // pulse: percent of the cycle spent high
  int64_t cycle = 0;      // bytes per cycle, in 1/1000 byte (noise: bytes per value)
  int64_t end_cycle = 0;  // cycle reached at the end of a sweep (= cycle without one)
  int sweep = 0;          // bytes over which the cycle glides to end_cycle
  int amplitude = 100;    // percent
};

struct Instrument {
  bool defined = false;
  std::string name;
  int volume = 64;
  int finetune = 0;  // -8..7
  int length = 0;    // bytes, even
  int loop_start = 0;
  int loop_length = 0;  // bytes; 0: no loop
  std::vector<Partial> partials;
  int attack = 0;            // bytes of linear rise
  int decay = 0;             // bytes of linear fall to sustain percent
  int sustain = 100;         // percent
  int half_life = 0;         // bytes; > 0: exponential decay instead of the linear one
  int gain = 100;            // peak of the mixed partials, percent of full scale
  std::vector<int8_t> data;  // explicit sample values (used when there are no partials)
};

struct Cell {
  uint16_t period = 0;  // 0: no note
  uint8_t instrument = 0;
  uint16_t effect = 0;  // command nibble and parameter byte
};
using Pattern = std::array<std::array<Cell, 4>, 64>;

struct Module {
  std::string title;
  int slots = 31;  // 31 or 15 sample slots
  std::string signature = "M.K.";
  int restart = 127;
  std::vector<int> order;
  std::array<Instrument, 32> instruments;  // by slot number, 1-based
  std::vector<Pattern> patterns;
  std::vector<bool> pattern_defined;
};

// Parses a description. On failure returns false and sets error to
// "line N: what is wrong".
bool parse_module(const std::string &text, Module &module, std::string &error);

// The 8-bit sample of an instrument: its explicit data, or the synthesis of
// its partials (deterministic integer arithmetic).
std::vector<int8_t> render_sample(const Instrument &instrument, int slot);

// The module file: header, song positions, patterns 0 to the highest one
// ordered, samples.
std::vector<uint8_t> build_module(const Module &module);

}  // namespace modgen

#endif
