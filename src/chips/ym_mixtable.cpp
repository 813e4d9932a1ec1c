/* Builds the YM-2149 mixing table from a model of the chip's output stage.
 *
 * The three channel outputs of the chip are tied together, so two channels at
 * the same level do not give twice the level of one. The model: a channel at
 * level l contributes a current v[l] (v[15] = 1); the three currents add up to
 * x; an output curve F turns x into the 16-bit level. Three measured rows fix
 * the model:
 *   single[l]  one channel at l, the others at 0:     F(v[l])        = single[l]
 *   equal[l]   all three channels at l:               F(3 v[l])      = equal[l]
 *   pair[l]    two channels at 15, the third at l:    F(2 + v[l])    = pair[l]
 * F is drawn through all of these points as straight pieces in log-log scale
 * (power laws between neighbouring points), and v comes from the first two
 * rows: equal[l] (l <= 13) lies between single[m] and single[m + 1] for some
 * m > l, so 3 v[l] is where the single-channel curve reaches equal[l], found
 * from the currents of the higher levels. Only v[14] is not fixed by the
 * rows; a channel at 14 is taken to draw half the current of one at 15.
 *
 * Every measured row is then met exactly; the table is symmetric because x is
 * a sum, and grows with each level because v and F both grow.
 */
#include "chips/ym_mixtable.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kLevels = 16;

// Measured output levels (see above).
constexpr std::array<double, kLevels> kSingle = {
    0, 110, 230, 355, 582, 801, 1227, 1701, 2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};
constexpr std::array<double, kLevels> kEqual = {0,     414,   832,   1261, 1860,  2616,
                                                3741,  5139,  7224,  9906, 13892, 18898,
                                                26359, 35979, 50235, 65535};
constexpr std::array<double, kLevels> kPair = {56457, 56460, 56463, 56471, 56477, 56480,
                                               56486, 56497, 56511, 56534, 56594, 56767,
                                               57247, 58506, 61273, 65535};

// Current of a channel at level 14, relative to level 15.
constexpr double kCurrent14 = 0.5;

struct Point {
  double x, y;
};

// The power law through a and b, at x (a.x <= x <= b.x, all positive).
double power_piece(double x, Point a, Point b) {
  return a.y * std::pow(x / a.x, std::log(b.y / a.y) / std::log(b.x / a.x));
}

// Current of each level.
std::array<double, kLevels> level_currents() {
  std::array<double, kLevels> v{};
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

// Points of the output curve F, sorted by current.
constexpr int kPoints = 15 + 14 + 16;

std::array<Point, kPoints> curve_points(const std::array<double, kLevels> &v) {
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
  const auto v = level_currents();
  const auto points = curve_points(v);
  for (int i = 0; i < YM_MIX_TABLE_SIZE; ++i) {
    double c[3] = {v[i >> 8], v[(i >> 4) & 15], v[i & 15]};
    std::sort(c, c + 3);  // the same sum whatever the channel order
    double y = std::nearbyint(output_curve(points, c[0] + c[1] + c[2]));
    table[i] = static_cast<uint16_t>(std::clamp(y, 0.0, 65535.0));
  }
}
