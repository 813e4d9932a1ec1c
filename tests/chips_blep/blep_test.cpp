// Band-limited steps: spectra of square waves rendered at two output rates,
// the shape of a low square wave and the step-to-sample mapping over a
// minute. (The same samples whatever the read-out pieces: the YM's test
// against its reference, read in pieces of every size.)
#include "chips/blep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/fft.h"

namespace {

using chips::Blep;

// The input clocks: the 68000's 8 MHz / 32, and a PAL machine's YM clock
// (2,002,653 Hz) / 8 as the fraction 2002653 / 8.
struct Clock {
  uint64_t num, den;
  double hz() const { return double(num) / double(den); }
};
constexpr Clock kCpuClock{250000, 1};
constexpr Clock kPalClock{2002653, 8};

std::unique_ptr<Blep> make_blep(Clock clock, uint32_t rate) {
  auto b = std::make_unique<Blep>();
  chips::blep_init(*b, clock.num, clock.den, rate);
  return b;
}

// Appends the samples complete at `step`.
void read_to(Blep &b, uint64_t step, std::vector<int32_t> &out) {
  int32_t chunk[chips::kBlepSpan];
  const int n = chips::blep_read(b, step, chunk);
  out.insert(out.end(), chunk, chunk + n);
}

// A square wave from step 0, `half` steps at height/2 then `half` steps
// `height` lower, read out every 5008 steps (a 50 Hz frame) until `samples`
// samples are there.
std::vector<int32_t> square(Clock clock, uint32_t rate, uint64_t half, int32_t height,
                            size_t samples) {
  auto b = make_blep(clock, rate);
  std::vector<int32_t> out;
  chips::blep_add_delta(*b, 0, height / 2);
  int32_t sign = -1;
  uint64_t next = half;
  for (uint64_t frame = 5008; out.size() < samples; frame += 5008) {
    for (; next < frame; next += half, sign = -sign) chips::blep_add_delta(*b, next, sign * height);
    read_to(*b, frame, out);
  }
  out.resize(samples);
  return out;
}

// Amplitude spectrum of the last 2^17 samples under a 4-term Blackman-Harris
// window (side lobes below -92 dB): bin k holds the amplitude of a sine at
// k * rate / 2^17 Hz.
constexpr size_t kFftSize = size_t{1} << 17;
std::vector<double> spectrum(const std::vector<int32_t> &s) {
  std::vector<std::complex<double>> a(kFftSize);
  const size_t first = s.size() - kFftSize;
  double gain = 0;
  for (size_t i = 0; i < kFftSize; ++i) {
    const double x = 2 * M_PI * double(i) / double(kFftSize);
    const double w =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    a[i] = w * s[first + i];
    gain += w;
  }
  dsptest::fft(a, false);
  std::vector<double> amp(kFftSize / 2);
  for (size_t k = 0; k < amp.size(); ++k) amp[k] = 2 * std::abs(a[k]) / gain;
  return amp;
}

// YM tone period 7 at 250 kHz: 7 steps high, 7 low, 17,857 Hz.
constexpr uint64_t kHighHalf = 7;
constexpr int32_t kHeight = 30001;
// Fundamental of a square wave of that peak-to-peak height: 4/pi of half of it.
const double kSquareFundamental = 2 * kHeight / M_PI;
constexpr double kAliasRatio = 0.01;  // -40 dB

// Its fundamental at 44,100 Hz is the loudest component, at 17,857 Hz and
// barely filtered; all else (the aliases of its harmonics, errors of the
// step positions) stays 40 dB below it. At 30,000 Hz and 22,050 Hz, where
// even the fundamental lies beyond the Nyquist frequency (just past the
// filter's transition, and far beyond it), everything stays 40 dB below the
// fundamental the square wave has.
TEST(Blep, HighSquareWaveDoesNotAlias) {
  const double tone = kCpuClock.hz() / (2 * kHighHalf);
  {
    const auto amp = spectrum(square(kCpuClock, 44100, kHighHalf, kHeight, kFftSize + 1000));
    const auto top = std::max_element(amp.begin(), amp.end()) - amp.begin();
    const double bin = 44100.0 / kFftSize;
    EXPECT_NEAR(double(top) * bin, tone, 1.5 * bin);
    EXPECT_GT(amp[top], 0.7 * kSquareFundamental);
    double worst = 0;
    for (size_t k = 0; k < amp.size(); ++k) {
      if (std::abs(double(k) - double(top)) > 6) worst = std::max(worst, amp[k]);
    }
    EXPECT_LT(worst, kAliasRatio * amp[top])
        << "worst alias " << 20 * std::log10(worst / amp[top]) << " dB";
  }
  for (const uint32_t rate : {30000u, 22050u}) {
    const auto amp = spectrum(square(kCpuClock, rate, kHighHalf, kHeight, kFftSize + 1000));
    const double worst = *std::max_element(amp.begin(), amp.end());
    EXPECT_LT(worst, kAliasRatio * kSquareFundamental)
        << rate << " Hz: worst alias " << 20 * std::log10(worst / kSquareFundamental) << " dB";
  }
}

// The centre of the step whose rise spans samples [first, last): the
// centroid of its differences, which for a symmetric kernel is the step's
// position plus half a sample.
double step_centre(const std::vector<int32_t> &s, size_t first, size_t last) {
  double moment = 0;
  for (size_t k = first + 1; k < last; ++k) moment += double(k) * (s[k] - s[k - 1]);
  return moment / (s[last - 1] - s[first]) - 0.5;
}

// A 440 Hz square wave (YM period 284) at 44,100 Hz: every edge is centred
// on its exact time (step * 44100 / 250000 samples), so both halves of each
// period last equally long, and away from the edges (beyond the kernel's 7.5
// samples) the tops are flat at exactly the two levels.
TEST(Blep, LowSquareWaveKeepsItsShape) {
  constexpr uint64_t kHalf = 284;
  const auto s = square(kCpuClock, 44100, kHalf, kHeight, 44100);
  const double period = double(kHalf) * 44100 / 250000;  // samples per half
  int flat = 0;
  for (int edge = 1; (edge + 1) * period < double(s.size()) - 1; ++edge) {
    const double at = edge * period;
    const auto k = static_cast<size_t>(at);
    EXPECT_NEAR(step_centre(s, k - 9, k + 10), at, 0.01) << "edge " << edge;
    const int32_t level = edge % 2 ? kHeight / 2 - kHeight : kHeight / 2;
    for (auto i = static_cast<size_t>(std::ceil(at + 8)); double(i) < at + period - 8; ++i) {
      ASSERT_EQ(s[i], level) << "sample " << i;
      ++flat;
    }
  }
  EXPECT_GT(flat, 29000);
}

// A single step late in a minute of output, read in 50 Hz frames: as many
// samples as the minute has (less the 7.5 the kernel still waits for), and
// the step centred on its exact position, for a whole and a fractional
// input clock. The step is higher than the largest one added in one go, and
// settles at exactly its height.
TEST(Blep, StepsMapExactlyOverAMinute) {
  for (const Clock clock : {kCpuClock, kPalClock}) {
    for (const uint32_t rate : {44100u, 48000u, 6000u}) {
      SCOPED_TRACE(testing::Message() << clock.hz() << " Hz to " << rate << " Hz");
      auto b = make_blep(clock, rate);
      const uint64_t steps = 60 * clock.num / clock.den;
      const uint64_t late = steps - clock.num / (3 * clock.den);  // 20 s before the end
      constexpr int32_t kStep = 100001;
      std::vector<int32_t> out;
      for (uint64_t t = 5008, last = 0; last < steps; last = t, t = std::min(t + 5008, steps)) {
        if (last <= late && late < t) chips::blep_add_delta(*b, late, kStep);
        read_to(*b, t, out);
      }

      // The samples before position p(steps) - 7.5, p(s) = s * rate / clock
      // (the products stay below 2^53).
      const uint64_t whole = steps * rate * clock.den;
      EXPECT_EQ(out.size(), (2 * whole + clock.num) / (2 * clock.num) - 7);
      ASSERT_EQ(out.front(), 0);
      ASSERT_EQ(out.back(), kStep);
      EXPECT_NEAR(step_centre(out, 0, out.size()),
                  double(late * rate * clock.den) / double(clock.num), 0.01);
    }
  }
}

}  // namespace
