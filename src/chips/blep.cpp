// Band-limited steps: the kernel table, the rate setting and the read-out.
//
// Slots: a delta whose position (blep_position) falls in slot J with
// fraction f adds the differences of the band-limited step H(x - f - 6.5) at
// x = 0..15 to slots J..J+15, so slot J shows the step at offset J - p - 7
// from its true position p = position - 1/2. Output sample k is therefore
// slot k + 7, and slots 0-6 (before sample 0) are dropped after a reset.
#include "chips/blep.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace chips {

namespace {

constexpr int kPhases = 1 << kBlepPhaseBits;
// Half-width of the window in samples: the step rises over 15 samples, which
// at any fraction touch 16 slots (see the top of this file).
constexpr double kHalfWidth = (kBlepTaps - 1) / 2.0;
// Slots from the one a change falls in to its centre, the half sample added
// in blep_position included: output sample k is slot k + kLead.
constexpr int kLead = kBlepTaps / 2 - 1;
// Cutoff in cycles per output sample (0.5 is the output's Nyquist frequency)
// and the Kaiser window's shape parameter; see the note in blep.h.
constexpr double kCutoff = 0.45;
constexpr double kBeta = 5.0;

// sin(pi x) from its Taylor series on [-1/2, 1/2].
double sin_pi(double x) {
  const double n = std::floor(x + 0.5);
  const double t = std::numbers::pi * (x - n);
  double term = t, sum = t;
  for (int i = 1; i <= 12; ++i) {
    term *= -t * t / ((2 * i) * (2 * i + 1));
    sum += term;
  }
  return std::fmod(n, 2.0) == 0 ? sum : -sum;
}

// Modified Bessel function of the first kind, order 0, from its series.
double bessel_i0(double x) {
  double term = 1, sum = 1;
  for (int k = 1; k <= 40; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

// The kernel's impulse response at time t (in output samples, centred).
double impulse(double t) {
  const double u = t / kHalfWidth;
  if (u <= -1 || u >= 1) return 0;
  const double sinc = t == 0 ? 2 * kCutoff : sin_pi(2 * kCutoff * t) / (std::numbers::pi * t);
  return sinc * bessel_i0(kBeta * std::sqrt(1 - u * u)) / bessel_i0(kBeta);
}

struct Kernel {
  int16_t taps[kPhases * kBlepRow * 2];
};

// The step H is integrated from the impulse with Simpson's rule on a grid of
// 1/(2 * kPhases) sample, on which every point the taps need lies: point n is
// at -kHalfWidth + n / (2 * kPhases). Phase j stands for fraction
// (j + 1/2) / kPhases, so tap m of phase j is H at point
// 2 * kPhases * (m + 1) - 2j - 1 minus H one sample earlier.
Kernel build_kernel() {
  constexpr int kGrid = 2 * kPhases;
  constexpr int kPoints = static_cast<int>(2 * kHalfWidth) * kGrid;
  constexpr double kStep = 1.0 / kGrid;
  std::vector<double> step(kPoints + 1);
  for (int n = 0; n < kPoints; ++n) {
    const double t = -kHalfWidth + n * kStep;
    step[n + 1] =
        step[n] + kStep / 6 * (impulse(t) + 4 * impulse(t + kStep / 2) + impulse(t + kStep));
  }
  const double scale = (1 << kBlepShift) / step[kPoints];
  auto fixed = [&](int n) -> int32_t {
    if (n <= 0) return 0;
    if (n >= kPoints) return 1 << kBlepShift;
    return static_cast<int32_t>(std::floor(step[n] * scale + 0.5));
  };
  Kernel k{};
  for (int j = 0; j < kPhases; ++j) {
    for (int m = 0; m < kBlepTaps; ++m) {
      const int n = kGrid * (m + 1) - 2 * j - 1;
      const auto tap = static_cast<int16_t>(fixed(n) - fixed(n - kGrid));
      int16_t *pair = k.taps + 2 * (j * kBlepRow + kBlepPad + m);
      pair[0] = pair[1] = tap;
    }
  }
  return k;
}

const int16_t *kernel() {
  static const Kernel k = build_kernel();
  return k.taps;
}

}  // namespace

void blep_init(Blep &b, uint64_t clock_num, uint64_t clock_den, uint32_t rate) {
  const unsigned __int128 scaled = static_cast<unsigned __int128>(uint64_t{rate} * clock_den) << 64;
  b.ratio = static_cast<uint64_t>(scaled / clock_num);
  b.kernel = kernel();
  blep_reset(b);
}

void blep_reset(Blep &b, uint64_t sample, int32_t level) {
  // The buffer starts early enough for a change 8 samples before `sample`
  // to reach it with all 16 taps (at sample 0: from slot 0, step 0).
  b.first = sample + kLead;
  b.origin = b.first - std::min<uint64_t>(b.first, kBlepTaps);
  b.sum = static_cast<uint32_t>(level) << kBlepShift;
  b.pending = 0;
  std::fill(std::begin(b.buf), std::end(b.buf), 0u);
}

namespace {

// Reads n slots (n <= kBlepSpan): those before the first sample only pass
// into the sum, the others become samples. Returns the samples written.
int read_slots(Blep &b, int n, int32_t *out) {
  const uint64_t before = b.origin < b.first ? b.first - b.origin : 0;
  const int skip = static_cast<int>(std::min<uint64_t>(before, static_cast<uint64_t>(n)));
  constexpr uint32_t kRound = 1u << (kBlepShift - 1);
  b.origin += n;
  if (b.pending == 0) {  // no change waiting: the level holds
    std::fill_n(out, n - skip, static_cast<int32_t>(b.sum + kRound) >> kBlepShift);
    return n - skip;
  }
  uint32_t sum = b.sum;
  int i = 0;
  for (; i < skip; ++i) sum += b.buf[i];
  for (; i < n; ++i) {
    sum += b.buf[i];
    *out++ = static_cast<int32_t>(sum + kRound) >> kBlepShift;
  }
  b.sum = sum;
  // The slots not read move to the front; beyond `pending` all are 0.
  const uint64_t un = static_cast<uint64_t>(n);
  const uint64_t keep = b.pending > un ? b.pending - un : 0;
  std::memmove(b.buf, b.buf + n, keep * sizeof b.buf[0]);
  std::fill_n(b.buf + keep, n, 0u);
  b.pending = keep;
  return n - skip;
}

}  // namespace

int blep_read(Blep &b, uint64_t step, int32_t *out) {
  const auto end = static_cast<uint64_t>(blep_position(b, step) >> 64);
  const auto ahead = static_cast<int64_t>(end - b.origin);
  return read_slots(b, static_cast<int>(std::clamp<int64_t>(ahead, 0, kBlepSpan)), out);
}

void blep_read_samples(Blep &b, int n, int32_t *out) {
  const uint64_t before = b.origin < b.first ? b.first - b.origin : 0;
  read_slots(b, static_cast<int>(before) + n, out);
}

}  // namespace chips
