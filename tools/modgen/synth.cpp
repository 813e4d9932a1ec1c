// Synthesis of instrument samples from their partials and envelope, in
// integer arithmetic only, so every compiler and machine produces the same
// bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "modtext.h"

namespace modgen {
namespace {

constexpr int64_t kOne = 65536;   // 1.0 in the Q16 numbers below
constexpr int32_t kFull = 32767;  // wave peak (Q15)

// sin(pi/2 x) on x in [0, 1] as a x - b x^3 + c x^5 (Q16), fitted with
// s(1) = 1: worst error 1.4e-4, far below one step of an 8-bit sample.
constexpr int64_t kSinA = 102944, kSinB = 42166, kSinC = 4759;
// ln 2 in Q16, for 2^-f = e^(-f ln 2).
constexpr int64_t kLn2 = 45426;

int32_t sine(uint32_t phase) {
  const uint32_t quarter = phase >> 30;
  int64_t x = (phase >> 14) & 0xFFFF;  // position within the quarter wave, Q16
  if (quarter & 1) x = kOne - x;
  const int64_t x2 = (x * x) >> 16;
  const int64_t s = (x * (kSinA - ((x2 * (kSinB - ((kSinC * x2) >> 16))) >> 16))) >> 16;
  const int32_t q15 = static_cast<int32_t>(std::min<int64_t>((s + 1) >> 1, kFull));
  return quarter >= 2 ? -q15 : q15;
}

// One period of a waveform, Q15, phase 0 to 2^32 for one cycle. Every
// waveform but the square starts at 0 and rises.
int32_t wave_value(const Partial &p, uint32_t phase) {
  switch (p.wave) {
    case Wave::kSine: return sine(phase);
    case Wave::kSquare: return phase < 0x80000000u ? kFull : -kFull;
    case Wave::kPulse:
      return phase < static_cast<uint32_t>((uint64_t{1} << 32) * p.duty / 100) ? kFull : -kFull;
    case Wave::kSaw: return static_cast<int32_t>((phase + 0x80000000u) >> 16) - 32768;
    case Wave::kTriangle: {
      const int32_t t = static_cast<int32_t>((phase + 0x40000000u) >> 15);  // 0..131071
      return t < 65536 ? t - 32768 : 98303 - t;
    }
    case Wave::kNoise: break;  // drawn by the caller
  }
  return 0;
}

// 2^(-d / half_life) in Q16: whole halvings as a shift, the rest from the
// series of e^-y to the fifth power (error below 2e-4).
int64_t halvings(int64_t d, int64_t half_life) {
  const int64_t whole = d / half_life;
  if (whole >= 31) return 0;
  const int64_t y = ((d % half_life) * kOne / half_life) * kLn2 >> 16;
  int64_t t = kOne;
  for (int64_t k = 5; k >= 1; --k) t = kOne - (y * t) / (kOne * k);
  return t >> whole;
}

// Envelope gain (Q16) at byte e.
int64_t envelope(const Instrument &ins, int64_t e) {
  if (e < ins.attack) return e * kOne / ins.attack;
  const int64_t d = e - ins.attack;
  if (ins.half_life > 0) return halvings(d, ins.half_life);
  const int64_t sustain = ins.sustain * kOne / 100;
  if (d < ins.decay) return kOne - (kOne - sustain) * d / ins.decay;
  return sustain;
}

// Phase step for a cycle length in 1/1000 byte, rounded: 2^32 * 1000 / cycle.
int64_t phase_step(int64_t cycle) { return ((int64_t{1} << 32) * 1000 + cycle / 2) / cycle; }

}  // namespace

std::vector<int8_t> render_sample(const Instrument &ins, int slot) {
  std::vector<int8_t> out;
  if (!ins.data.empty()) {
    out = ins.data;
  } else {
    const int n = ins.length;
    std::vector<int64_t> mix(n, 0);
    for (size_t k = 0; k < ins.partials.size(); ++k) {
      const Partial &p = ins.partials[k];
      const int64_t step0 = phase_step(p.cycle), step1 = phase_step(p.end_cycle);
      uint64_t phase = 0;
      uint32_t noise = 0x9E3779B9u * static_cast<uint32_t>(slot * 16 + k + 1) | 1u;
      int32_t held = 0;
      for (int i = 0; i < n; ++i) {
        if (p.wave == Wave::kNoise) {
          if (i == 0 || phase >= (uint64_t{1} << 32)) {  // xorshift32, a new value per cycle
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            held = static_cast<int32_t>(noise >> 16) - 32768;
          }
          phase &= 0xFFFFFFFFu;
        }
        mix[i] +=
            int64_t{p.wave == Wave::kNoise ? held : wave_value(p, static_cast<uint32_t>(phase))} *
            p.amplitude;
        const int64_t step =
            i < p.sweep ? step0 + (step1 - step0) * i / p.sweep : (p.sweep ? step1 : step0);
        phase += static_cast<uint64_t>(step);
        if (p.wave != Wave::kNoise) phase &= 0xFFFFFFFFu;
      }
    }
    const bool loops = ins.loop_length > 0;
    int64_t peak = 0;
    for (int i = 0; i < n; ++i) {
      mix[i] = (mix[i] * envelope(ins, loops ? std::min(i, ins.loop_start) : i)) >> 16;
      peak = std::max(peak, std::abs(mix[i]));
    }
    out.resize(n);
    const int64_t den = 100 * peak;
    for (int i = 0; i < n && peak > 0; ++i) {
      // Rounded to nearest, halves away from zero.
      const int64_t num = std::abs(mix[i]) * ins.gain * 127;
      const int64_t q = (2 * num + den) / (2 * den);
      out[i] = static_cast<int8_t>(mix[i] < 0 ? -q : q);
    }
  }
  if (out.size() % 2) out.push_back(0);
  if (ins.loop_length == 0)
    for (size_t i = 0; i < 2 && i < out.size(); ++i) out[i] = 0;
  return out;
}

}  // namespace modgen
