// Drawing kit shared by the picture generators: a floating-point RGB canvas,
// a stroke lettering set, reduction to a 256-colour palette and output of the
// palettised picture as C source (plus an optional PNG preview).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
  float r = 0, g = 0, b = 0;
};

Rgb rgb_hex(uint32_t hex);
Rgb mix(Rgb a, Rgb b, float t);  // a at t = 0, b at t = 1
float clamp01(float v);
float smoothstep(float e0, float e1, float v);

// Colour ramp through evenly spaced stops, t in 0..1.
Rgb ramp(const std::vector<Rgb> &stops, float t);

struct Canvas {
  int width, height;
  std::vector<Rgb> px;
  Canvas(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h) {}
  Rgb &at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
  // Blends `c` over pixel (x, y) with opacity `a`; outside pixels are ignored.
  void blend(int x, int y, Rgb c, float a);
};

// Integer hash for deterministic sprinkles (stars, grain).
uint32_t hash2(int x, int y, uint32_t salt);

// --- Stroke lettering -------------------------------------------------------
// Letters are polylines in a box 4 units wide and 6 high (y grows downward),
// drawn with round pens. `dist` is the distance from a point to the nearest
// stroke centre line, with the direction away from it.
struct Segment {
  float x0, y0, x1, y1;
};
struct StrokeText {
  std::vector<Segment> segs;  // in pixels
  float left, top, right, bottom;
  // Distance from (x, y) to the nearest segment; (nx, ny) is the unit vector
  // from that segment towards the point (0, 0 on the line itself).
  float dist(float x, float y, float *nx = nullptr, float *ny = nullptr) const;
};
// Lays out `text` with its top-left corner at (x, y); a unit is `scale`
// pixels, letters are `advance` units apart, a space is `space` units wide.
StrokeText layout_strokes(const std::string &text, float x, float y, float scale, float advance,
                          float space);
// Width in pixels that layout_strokes would give `text`.
float strokes_width(const std::string &text, float scale, float advance, float space);

// --- Set pieces shared by the title and the logo ---------------------------
// Chrome lettering: sky-blue upper half, copper lower half with a hard line
// between them, a bevel lit from the top left, a dark outline, a drop
// extrusion towards the bottom right and a pink glow around it all.
void draw_chrome_text(Canvas &c, const StrokeText &t, float thickness, float extrude);
// Neon lettering: a pale core in `core` with a soft glow in `glow`.
void draw_neon_text(Canvas &c, const StrokeText &t, float thickness, Rgb core, Rgb glow,
                    float glow_radius);
// A sun disc of radius r at (cx, cy), yellow at the top to pink at the
// bottom, its lower half cut by horizontal gaps that widen downwards; only
// rows above `clip_y` are drawn.
void draw_striped_sun(Canvas &c, float cx, float cy, float r, float clip_y);

// --- Output -----------------------------------------------------------------
struct Palettised {
  int width, stride, height;
  std::vector<uint8_t> pixels;  // stride * height
  uint8_t palette[768] = {};
};

// Reduces the canvas to at most 256 colours (median cut, deterministic) with
// a light ordered dither; row padding is filled with index 0.
Palettised quantise(const Canvas &c, int stride);

// Writes `symbol`_pixels and `symbol`_palette as C arrays.
bool write_c_source(const std::string &path, const std::string &symbol, const Palettised &p,
                    const std::string &generator);
// Writes an RGB PNG of the palettised picture, for looking at it.
bool write_png_preview(const std::string &path, const Palettised &p);
