// Paints the closing logo (779x75, stride 780, 256 colours): a dark banner
// edged with neon lines, a small striped sun, VARN KOL in chrome letters and
// the motto THE ENGINE SINGS in neon on the right. Only columns 1..772 and
// rows 1..74 are ever shown; the rest is plain banner.
// Usage: gen_logo <out.c> [preview.png]
#include <cmath>
#include <cstdio>

#include "art.h"

namespace {

constexpr int kWidth = 779, kStride = 780, kHeight = 75;
constexpr float kShownRight = 772;  // last column drawn on screen

void paint_banner(Canvas &c) {
  const std::vector<Rgb> body = {rgb_hex(0x12041F), rgb_hex(0x2B0B45), rgb_hex(0x1C0731),
                                 rgb_hex(0x0B0214)};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb col = ramp(body, y / (kHeight - 1.0f));
      if (y % 3 == 0) col = {col.r * 0.8f, col.g * 0.8f, col.b * 0.8f};  // scanlines
      c.at(x, y) = col;
    }
  // Neon rules along the top and bottom edge, fading out at both ends.
  for (float rule : {4.5f, 70.5f})
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const float ends =
            smoothstep(0, 60, static_cast<float>(x)) * smoothstep(0, 60, kShownRight - x);
        const float d = std::fabs(y + 0.5f - rule);
        c.blend(x, y, rgb_hex(0x2FD8FF), ends * (clamp01(1.2f - d) + 0.45f * std::exp(-d / 1.8f)));
      }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gen_logo <out.c> [preview.png]\n");
    return 2;
  }
  Canvas c(kWidth, kHeight);
  paint_banner(c);
  // Sun emblem sitting on a short horizon line.
  draw_striped_sun(c, 52, 56, 30, 56);
  for (int x = 14; x <= 90; ++x)
    for (int y = 54; y <= 58; ++y)
      c.blend(x, y, rgb_hex(0xFF8FC8),
              std::exp(-std::fabs(y + 0.5f - 56.5f) / 0.9f) *
                  smoothstep(14, 30, static_cast<float>(x)) *
                  smoothstep(90, 74, static_cast<float>(x)));

  constexpr float kScale = 7.5f, kAdvance = 5.3f, kSpace = 4.5f;
  draw_chrome_text(c, layout_strokes("VARN KOL", 104, 15, kScale, kAdvance, kSpace), 9, 4);

  // A thin divider, then the motto right-aligned to the shown area.
  for (int y = 14; y <= 62; ++y)
    for (int x = 418; x <= 424; ++x)
      c.blend(x, y, rgb_hex(0xFF3FA4),
              std::exp(-std::fabs(x + 0.5f - 421.5f) / 0.8f) *
                  smoothstep(14, 24, static_cast<float>(y)) *
                  smoothstep(62, 52, static_cast<float>(y)));
  constexpr float kMottoScale = 3.0f, kMottoAdvance = 6.2f, kMottoSpace = 6.0f;
  const std::string motto = "THE ENGINE SINGS";
  const float mw = strokes_width(motto, kMottoScale, kMottoAdvance, kMottoSpace);
  draw_neon_text(
      c, layout_strokes(motto, kShownRight - 24 - mw, 29, kMottoScale, kMottoAdvance, kMottoSpace),
      2.8f, rgb_hex(0xFFF0FA), rgb_hex(0xFF3FA4), 3);

  const Palettised p = quantise(c, kStride);
  if (!write_c_source(argv[1], "asset_logo", p, "gen_logo")) return 1;
  if (argc > 2 && !write_png_preview(argv[2], p)) return 1;
  return 0;
}
