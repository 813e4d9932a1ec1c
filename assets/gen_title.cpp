// Paints the title picture (800x600, 256 colours): a night sky with stars
// over a striped setting sun, mountain ridges on both sides, a glowing
// perspective grid floor, the group name VARN KOL in chrome letters and the
// motto THE ENGINE SINGS in neon underneath.
// Usage: gen_title <out.c> [preview.png]
#include <cmath>
#include <cstdio>

#include "art.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr float kHorizon = 392;  // row of the horizon line
constexpr float kCentre = 400;   // vanishing column
constexpr float kSunRadius = 150;

void paint_sky(Canvas &c) {
  const std::vector<Rgb> sky = {rgb_hex(0x06031A), rgb_hex(0x120936), rgb_hex(0x2A0E52),
                                rgb_hex(0x581766), rgb_hex(0xA3236E), rgb_hex(0xFF5A7E)};
  for (int y = 0; y < kHorizon; ++y)
    for (int x = 0; x < kWidth; ++x) c.at(x, y) = ramp(sky, std::pow(y / kHorizon, 1.6f));
  // Stars: sparse, fewer towards the horizon glow; a few larger ones with rays.
  for (int y = 0; y < 330; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t h = hash2(x, y, 7);
      const float fade = 1 - y / 330.0f;
      if (h % 1000 < 3) {
        c.blend(x, y, rgb_hex(0xFFFFFF), (0.35f + (h >> 20) % 64 / 100.0f) * fade);
      } else if (h % 20000 < 3) {
        for (int k = -4; k <= 4; ++k) {
          const float a = fade * (1 - std::abs(k) / 5.0f);
          c.blend(x + k, y, rgb_hex(0xCFE8FF), a);
          c.blend(x, y + k, rgb_hex(0xCFE8FF), a);
        }
      }
    }
  // Haze around the sun.
  for (int y = 0; y < kHorizon; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const float d = std::hypot(x - kCentre, (y - kHorizon) * 1.3f);
      c.blend(x, y, rgb_hex(0xFF4F8B), 0.45f * std::exp(-std::max(0.0f, d - kSunRadius) / 70));
    }
}

// Ridge height above the horizon at column x; zero in the middle so the sun
// stays clear, rising towards the sides.
float ridge(float x, float phase, float amp) {
  const float side = smoothstep(110, 340, std::fabs(x - kCentre));
  const float n = std::sin(x * 0.013f + phase) * 0.45f +
                  std::sin(x * 0.037f + phase * 2.1f) * 0.3f +
                  std::sin(x * 0.091f + phase * 0.7f) * 0.12f + 0.9f;
  return side * amp * n;
}

void paint_mountains(Canvas &c) {
  struct Layer {
    float phase, amp;
    uint32_t fill, rim;
  };
  const Layer layers[] = {{1.0f, 95, 0x2A0C40, 0xFF6FB0}, {2.6f, 52, 0x14061F, 0xC040FF}};
  for (const Layer &l : layers)
    for (int x = 0; x < kWidth; ++x) {
      const float top = kHorizon - ridge(static_cast<float>(x), l.phase, l.amp);
      for (int y = static_cast<int>(top); y < kHorizon; ++y) {
        const float depth = y + 0.5f - top;
        Rgb col = mix(rgb_hex(l.fill), rgb_hex(l.rim), 0.8f * std::exp(-depth / 2.5f));
        col = mix(col, rgb_hex(0x000000), 0.25f * (depth / 100));
        c.blend(x, y, col, clamp01(depth + 0.5f));
      }
    }
}

void paint_floor(Canvas &c) {
  constexpr float kFocal = 400, kEyeHeight = 60, kCell = 30;
  const float k = kFocal * kEyeHeight;
  for (int y = static_cast<int>(kHorizon); y < kHeight; ++y) {
    const float dy = y + 0.5f - kHorizon;
    const float z = k / dy;  // distance of this row on the ground
    const float near = clamp01(dy / 208);
    for (int x = 0; x < kWidth; ++x) {
      Rgb col = mix(rgb_hex(0x220838), rgb_hex(0x050108), std::pow(near, 0.6f));
      // Sun reflection: a soft vertical streak under the sun.
      const float sx = std::fabs(x + 0.5f - kCentre);
      col = mix(col, rgb_hex(0xFF5A8C), 0.35f * std::exp(-sx / 60) * std::exp(-dy / 90));
      // Grid lines across (constant depth) and along (constant world x).
      const float zline = std::round(z / kCell) * kCell;
      const float across = std::fabs(dy - k / std::max(zline, 1.0f));
      const float wx = (x + 0.5f - kCentre) * z / kFocal;
      const float along = std::fabs(wx - std::round(wx / kCell) * kCell) * kFocal / z;
      const float line = std::min(across, along);
      const Rgb lc = mix(rgb_hex(0xFF3FB4), rgb_hex(0x39E6FF), near);
      // Lines closer together than a few pixels melt into the glow band.
      const float spacing = k * kCell / (z * (z + kCell));
      const float fade = (1 - std::exp(-dy / 18)) * (0.35f + 0.65f * smoothstep(2, 6, spacing));
      col = mix(col, lc, fade * (clamp01(1.3f - line) + 0.35f * std::exp(-line / 2.5f)));
      c.at(x, y) = col;
    }
  }
  // The horizon line itself glows.
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      c.blend(x, y, rgb_hex(0xFFB0DA), 0.9f * std::exp(-std::fabs(y + 0.5f - kHorizon) / 2.5f));
}

void paint_lettering(Canvas &c) {
  constexpr float kScale = 17, kAdvance = 5.3f, kSpace = 4.5f;
  const std::string name = "VARN KOL";
  const float w = strokes_width(name, kScale, kAdvance, kSpace);
  draw_chrome_text(c, layout_strokes(name, (kWidth - w) / 2, 66, kScale, kAdvance, kSpace), 21, 9);

  constexpr float kMottoScale = 4.6f, kMottoAdvance = 6.2f, kMottoSpace = 6;
  const std::string motto = "THE ENGINE SINGS";
  const float mw = strokes_width(motto, kMottoScale, kMottoAdvance, kMottoSpace);
  draw_neon_text(
      c, layout_strokes(motto, (kWidth - mw) / 2, 206, kMottoScale, kMottoAdvance, kMottoSpace),
      3.6f, rgb_hex(0xE8FFFF), rgb_hex(0x19C6FF), 4);

  // Glints on the chrome.
  const float glints[][3] = {{kWidth / 2 - w / 2 + 0.6f * kScale * 4 + 5.3f * kScale, 58, 22},
                             {kWidth / 2 + w / 2 - 20, 160, 14}};
  for (const auto &g : glints)
    for (int dy = -30; dy <= 30; ++dy)
      for (int dx = -30; dx <= 30; ++dx) {
        const float fx = std::fabs(static_cast<float>(dx)), fy = std::fabs(static_cast<float>(dy));
        const float a = std::max(clamp01(1 - fx / g[2]) * std::exp(-fy * 0.9f),
                                 clamp01(1 - fy / g[2]) * std::exp(-fx * 0.9f));
        c.blend(static_cast<int>(g[0]) + dx, static_cast<int>(g[1]) + dy, rgb_hex(0xFFFFFF), a);
      }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gen_title <out.c> [preview.png]\n");
    return 2;
  }
  Canvas c(kWidth, kHeight);
  paint_sky(c);
  draw_striped_sun(c, kCentre, kHorizon, kSunRadius, kHorizon);
  paint_mountains(c);
  paint_floor(c);
  paint_lettering(c);
  const Palettised p = quantise(c, kWidth);
  if (!write_c_source(argv[1], "asset_title", p, "gen_title")) return 1;
  if (argc > 2 && !write_png_preview(argv[2], p)) return 1;
  return 0;
}
