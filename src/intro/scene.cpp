// Scene renderer: the wavy horizon between two shades, the rising discs, the
// title and logo pictures and the closing bar, all drawn into frame_buffer.
#include "intro/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "assets/pictures.h"
#include "intro/runtime.h"

SceneState scene;

namespace {

// Doubles become integers by rounding to nearest, ties to even (the default
// floating-point rounding mode).
int32_t nearest(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// Starting colour and per-entry steps of the shade ramp.
constexpr double kRampRed = 80.0, kRampGreen = 16.0, kRampBlue = 48.0;
constexpr double kRampStepRed = 0.4, kRampStepGreen = 0.08, kRampStepBlue = 0.14;

// Horizon: rows around 450, a slow bob of 14 rows and a wave of 20 rows.
constexpr double kSceneClockStep = 1.2;
constexpr double kWaveClockStep = 3.2;
constexpr int kHorizonMin = 450 - 14 - 20;  // 416, the highest the wave gets
constexpr int kHorizonMax = 450 + 14 + 20;  // 484, the lowest

// Discs 1..kMovingDiscs move; 1..kDrawnDiscs are drawn.
constexpr int kMovingDiscs = 10;
constexpr int kDrawnDiscs = 20;
constexpr int32_t kDiscStartRow = 600;

constexpr int kBarRows = 96;      // rows 0..95
constexpr int kBarColumns = 801;  // columns 0..800, clipped by put_pixel

void fill_disc(int32_t i, double swing_range, double rise_range, double rise_base,
               double size_range) {
  scene.disc_y[i] = kDiscStartRow;
  scene.disc_x[i] = nearest(random_unit() * 800);
  scene.disc_swing[i] = nearest(random_unit() * swing_range);
  scene.disc_rise[i] = nearest(random_unit() * rise_range + rise_base);
  scene.disc_size[i] = nearest(random_unit() * size_range + 1);
}

}  // namespace

void scene_reset() {
  std::memset(scene.frame_buffer, 0, sizeof scene.frame_buffer);
  std::memset(scene.shade_buffer, 0, sizeof scene.shade_buffer);
  std::memset(scene.shade_palette, 0, sizeof scene.shade_palette);
  scene.scene_clock = 0;
  scene.wave_clock = 0;
  std::fill(std::begin(scene.disc_x), std::end(scene.disc_x), 0);
  std::fill(std::begin(scene.disc_y), std::end(scene.disc_y), 0);
  std::fill(std::begin(scene.disc_swing), std::end(scene.disc_swing), 0);
  std::fill(std::begin(scene.disc_rise), std::end(scene.disc_rise), 0);
  std::fill(std::begin(scene.disc_size), std::end(scene.disc_size), 0);
  scene.title = Picture{};
  scene.logo = Picture{};
}

void load_picture(Picture &pic, const uint8_t *bytes, int width, int height,
                  const uint8_t *palette) {
  for (int v = 0; v < 256; ++v) {
    pic.red[v] = palette[3 * v];
    pic.green[v] = palette[3 * v + 1];
    pic.blue[v] = palette[3 * v + 2];
  }
  while (width % 4 != 0) ++width;
  pic.stride = width;
  pic.height = height;
  pic.pixels.assign(bytes, bytes + static_cast<size_t>(width) * height);
}

void put_pixel(int32_t x, int32_t y, uint32_t colour) {
  if (x >= 1 && x <= 798 && y >= 1 && y <= 598) scene.frame_buffer[y * kScreenWidth + x] = colour;
}

void put_pixel_keyed(int32_t x, int32_t y, uint32_t colour) {
  // Rows are not clipped like put_pixel's (row 0 and row 599 are written);
  // a row outside the buffer is refused rather than written out of bounds.
  if (x < 1 || x > 798 || y < 0 || y >= kScreenHeight) return;
  uint32_t &px = scene.frame_buffer[y * kScreenWidth + x];
  if (px != kProtectedColour) px = colour;
}

void build_shade_palette() {
  double r = kRampRed, g = kRampGreen, b = kRampBlue;
  for (int i = 0; i < kShadeRampSize; ++i) {
    r += kRampStepRed;
    g += kRampStepGreen;
    b += kRampStepBlue;
    if (r > 255) r = 255;
    if (g > 255) g = 255;
    if (b > 255) b = 255;
    scene.shade_palette[i] = static_cast<uint32_t>(std::floor(r)) * 65536 +
                             static_cast<uint32_t>(std::floor(g)) * 256 +
                             static_cast<uint32_t>(std::floor(b));
  }
}

void load_title_picture() {
  load_picture(scene.title, asset_title_pixels, kTitleWidth, kTitleHeight, asset_title_palette);
}

void load_logo_picture() {
  load_picture(scene.logo, asset_logo_pixels, kLogoWidth, kLogoHeight, asset_logo_palette);
}

void draw_title_picture(int32_t ox, int32_t oy) {
  const Picture &pic = scene.title;
  for (int32_t y = 1; y <= 599; ++y)
    for (int32_t x = 2; x <= 799; ++x)
      put_pixel_keyed(ox + x, oy + y, pic.colour(pic.pixels[800 * y + x]));
}

void draw_logo(int32_t ox, int32_t oy) {
  const Picture &pic = scene.logo;
  const int32_t last_column = pic.stride - 8;
  for (int32_t y = 1; y <= 74; ++y)
    for (int32_t x = 1; x <= last_column; ++x)
      put_pixel_keyed(ox + x, oy + y, pic.colour(pic.pixels[pic.stride * y + x]));
}

void draw_bar() {
  for (int32_t y = 0; y < kBarRows; ++y)
    for (int32_t x = 0; x < kBarColumns; ++x) put_pixel(x, y, kBarColour);
}

void update_horizon() {
  scene.scene_clock += kSceneClockStep;
  scene.wave_clock += kWaveClockStep;
  const double bob = std::sin(scene.scene_clock / 40) * 14;
  int32_t h[kScreenWidth];
  for (int x = 0; x < kScreenWidth; ++x)
    h[x] = nearest(bob + std::cos((scene.wave_clock + x) / 100) * 20 + 450);

  // Every column's horizon lies in rows kHorizonMin..kHorizonMax, so only that
  // band needs a per-column test; above it all is sky, below it all ground.
  uint32_t *row = scene.shade_buffer;
  for (int y = 0; y < kScreenHeight; ++y, row += kScreenWidth) {
    if (y < kHorizonMin) {
      std::fill(row, row + kScreenWidth, kShadeAbove);
    } else if (y > kHorizonMax) {
      std::fill(row, row + kScreenWidth, kShadeBelow);
    } else {
      for (int x = 0; x < kScreenWidth; ++x) row[x] = y < h[x] ? kShadeAbove : kShadeBelow;
    }
  }
}

void shade_to_frame() {
  const uint32_t *pal = scene.shade_palette;
  for (int i = 0; i < kScreenPixels; ++i) scene.frame_buffer[i] = pal[scene.shade_buffer[i]];
}

void init_discs() {
  for (int32_t i = 1; i <= kDiscCount; ++i) fill_disc(i, 20, 2, 0, 10);
}

void update_discs() {
  for (int32_t i = 1; i <= kMovingDiscs; ++i) {
    if (!(scene.scene_clock > 80 * i + 100)) continue;
    if (scene.disc_y[i] == 0)
      fill_disc(i, 10, 1, 1, 5);
    else
      scene.disc_y[i] -= scene.disc_rise[i] + 1;
  }
}

void draw_discs() {
  for (int32_t i = 1; i <= kDrawnDiscs; ++i) {
    if (!(scene.scene_clock > 80 * i + 50)) continue;
    const int32_t cx =
        nearest(scene.disc_x[i] + scene.disc_swing[i] * std::cos(scene.disc_y[i] / 30.0));
    draw_disc(cx, scene.disc_y[i], scene.disc_size[i] + 4);
  }
}

void draw_disc(int32_t cx, int32_t cy, int32_t r) {
  for (int32_t dy = -r; dy <= r; ++dy) {
    const int32_t w = nearest(std::sqrt(static_cast<double>(r * r - dy * dy)));
    const int32_t row = cy + dy;
    if (row < 0 || row >= kScreenHeight) continue;
    const int32_t x0 = std::max(cx - w, 0);
    const int32_t x1 = std::min(cx + w - 1, kScreenWidth - 1);
    if (x1 - x0 > 0) {
      uint32_t *p = scene.frame_buffer + row * kScreenWidth;
      std::fill(p + x0, p + x1, kDiscColour);
    }
  }
}
