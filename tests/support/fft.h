// An in-place radix-2 FFT for the tests that look at spectra.
#ifndef TESTS_SUPPORT_FFT_H
#define TESTS_SUPPORT_FFT_H

#include <cmath>
#include <complex>
#include <utility>
#include <vector>

namespace dsptest {

// n a power of two; the inverse without the 1/n.
inline void fft(std::vector<std::complex<double>> &a, bool inverse) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = (inverse ? 2 : -2) * M_PI / double(len);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

}  // namespace dsptest

#endif
