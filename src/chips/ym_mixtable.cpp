/* Builds the YM-2149 mixing table from a model of the chip's output stage.
 *
 * The three channel outputs of the chip are tied together, so two channels at
 * the same level do not give twice the level of one. The model: a channel at
 * 5-bit level k contributes a current v[k] (v[31] = 1); the three currents
 * add up to x; an output curve F turns x into the 16-bit level. Three rows,
 * measured over the sixteen fixed volumes L (5-bit level 2L + 1), fix the
 * model at the odd levels:
 *   single[L]  one channel at L, the others at 0:     F(v[2L+1])      = single[L]
 *   equal[L]   all three channels at L:               F(3 v[2L+1])    = equal[L]
 *   pair[L]    two channels at 15, the third at L:    F(2 + v[2L+1])  = pair[L]
 * F is drawn through all of these points as straight pieces in log-log scale
 * (power laws between neighbouring points), and v comes from the first two
 * rows: equal[L] (L <= 13) lies between single[M] and single[M + 1] for some
 * M > L, so 3 v[2L+1] is where the single-channel curve reaches equal[L],
 * found from the currents of the higher levels. Only v[29] (volume 14) is
 * not fixed by the rows; it is taken to draw half the current of level 31.
 *
 * The even levels, which only the envelope reaches, were not measured. The
 * DAC is close to logarithmic (each volume step about 3 dB), so an even level
 * draws the geometric mean of its two neighbours' currents. At the bottom
 * level 1 (volume 0) is silent, as is level 0, and a mean with silence would
 * be silence: level 2 continues the ratio of the step above it instead,
 * v[2] = v[3]^2 / v[4]. So a sawtooth envelope sounds 31 distinct levels.
 *
 * Every measured row is then met exactly; the table is symmetric because x is
 * a sum (each sorted triple of levels is computed once and written to all its
 * orders), and grows with each level because v and F both grow.
 */
#include "chips/ym_mixtable.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kVolumes = 16;
constexpr int kLevels = YM_MIX_LEVELS;

// Measured output levels over the fixed volumes (see above).
constexpr std::array<double, kVolumes> kSingle = {
    0, 110, 230, 355, 582, 801, 1227, 1701, 2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr std::array<double, kVolumes> kEqual = {0,     414,   832,   1261, 1860,  2616,
                                                 3741,  5139,  7224,  9906, 13892, 18898,
                                                 26359, 35979, 50235, 65535};
constexpr std::array<double, kVolumes> kPair = {56457, 56460, 56463, 56471, 56477, 56480,
                                                56486, 56497, 56511, 56534, 56594, 56767,
                                                57247, 58506, 61273, 65535};

// Current of a channel at volume 14, relative to volume 15.
constexpr double kCurrent14 = 0.5;

struct Point {
  double x, y;
};

// The power law through a and b, at x (a.x <= x <= b.x, all positive).
double power_piece(double x, Point a, Point b) {
  return a.y * std::pow(x / a.x, std::log(b.y / a.y) / std::log(b.x / a.x));
}

// Current of each fixed volume.
std::array<double, kVolumes> volume_currents() {
  std::array<double, kVolumes> v{};
  v[15] = 1.0;
  v[14] = kCurrent14;
  for (int l = 13; l >= 1; --l) {
    int m = l + 1;
    while (kSingle[m + 1] <= kEqual[l]) ++m;
    Point lo{kSingle[m], v[m]};
    Point hi{kSingle[m + 1], v[m + 1]};
    // Inverse of the single-channel curve: the same power law with x and y swapped.
    v[l] = power_piece(kEqual[l], lo, hi) / 3.0;
  }
  return v;
}

// Current of each 5-bit level: the volumes at the odd levels, geometric
// means between them, level 2 by the ratio above it (see the top).
std::array<double, kLevels> level_currents(const std::array<double, kVolumes> &v) {
  std::array<double, kLevels> c{};
  for (int l = 0; l < kVolumes; ++l) c[2 * l + 1] = v[l];
  for (int k = 4; k < kLevels; k += 2) c[k] = std::sqrt(c[k - 1] * c[k + 1]);
  c[2] = c[3] * c[3] / c[4];
  return c;
}

// Points of the output curve F, sorted by current.
constexpr int kPoints = 15 + 14 + 16;

std::array<Point, kPoints> curve_points(const std::array<double, kVolumes> &v) {
  std::array<Point, kPoints> p{};
  int n = 0;
  for (int l = 1; l <= 15; ++l) p[n++] = {v[l], kSingle[l]};
  for (int l = 1; l <= 14; ++l) p[n++] = {3.0 * v[l], kEqual[l]};  // equal[15] is pair[15]
  for (int l = 0; l <= 15; ++l) p[n++] = {2.0 + v[l], kPair[l]};
  std::sort(p.begin(), p.end(), [](Point a, Point b) { return a.x < b.x; });
  return p;
}

double output_curve(const std::array<Point, kPoints> &p, double x) {
  if (x <= 0.0) return 0.0;
  if (x < p[0].x) return p[0].y * x / p[0].x;  // straight to the origin
  auto hi = std::lower_bound(p.begin(), p.end(), x, [](Point a, double v) { return a.x < v; });
  if (hi == p.end()) return p[kPoints - 1].y;
  if (hi->x == x) return hi->y;
  return power_piece(x, *(hi - 1), *hi);
}

}  // namespace

extern "C" void ym_mix_table_build(uint16_t table[YM_MIX_TABLE_SIZE]) {
  const auto v = volume_currents();
  const auto c = level_currents(v);
  const auto points = curve_points(v);
  auto index = [](int a, int b, int d) {
    return (a << (2 * YM_MIX_LEVEL_BITS)) | (b << YM_MIX_LEVEL_BITS) | d;
  };
  for (int a = 0; a < kLevels; ++a) {
    for (int b = a; b < kLevels; ++b) {
      for (int d = b; d < kLevels; ++d) {
        const double y = std::nearbyint(output_curve(points, c[a] + c[b] + c[d]));
        const auto level = static_cast<uint16_t>(std::clamp(y, 0.0, 65535.0));
        for (int i : {index(a, b, d), index(a, d, b), index(b, a, d), index(b, d, a),
                      index(d, a, b), index(d, b, a)}) {
          table[i] = level;
        }
      }
    }
  }
}
