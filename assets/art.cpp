// Drawing kit of the picture generators (see art.h).
#include "art.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

Rgb rgb_hex(uint32_t hex) {
  return {static_cast<float>((hex >> 16) & 255), static_cast<float>((hex >> 8) & 255),
          static_cast<float>(hex & 255)};
}

Rgb mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float smoothstep(float e0, float e1, float v) {
  const float t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

Rgb ramp(const std::vector<Rgb> &stops, float t) {
  t = clamp01(t) * static_cast<float>(stops.size() - 1);
  const size_t i = std::min(static_cast<size_t>(t), stops.size() - 2);
  return mix(stops[i], stops[i + 1], t - static_cast<float>(i));
}

void Canvas::blend(int x, int y, Rgb c, float a) {
  if (x < 0 || y < 0 || x >= width || y >= height || a <= 0) return;
  Rgb &p = at(x, y);
  p = mix(p, c, clamp01(a));
}

uint32_t hash2(int x, int y, uint32_t salt) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
               salt * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}

// --- Stroke lettering -------------------------------------------------------

namespace {

// Builds a letter's polylines in letter units.
struct Pen {
  std::vector<Segment> segs;
  void line(std::initializer_list<std::array<float, 2>> pts) {
    const std::array<float, 2> *prev = nullptr;
    for (const auto &p : pts) {
      if (prev) segs.push_back({(*prev)[0], (*prev)[1], p[0], p[1]});
      prev = &p;
    }
  }
  // Elliptic arc from angle a0 to a1 (degrees; 0 = right, 90 = down).
  void arc(float cx, float cy, float rx, float ry, float a0, float a1) {
    constexpr int kSteps = 28;
    float px = 0, py = 0;
    for (int i = 0; i <= kSteps; ++i) {
      const float a =
          (a0 + (a1 - a0) * static_cast<float>(i) / kSteps) * std::numbers::pi_v<float> / 180;
      const float x = cx + rx * std::cos(a), y = cy + ry * std::sin(a);
      if (i > 0) segs.push_back({px, py, x, y});
      px = x;
      py = y;
    }
  }
};

// The letters the pictures use; anything else is left blank.
void letter(char c, Pen &p) {
  switch (c) {
    case 'A':
      p.line({{0, 6}, {2, 0}, {4, 6}});
      p.line({{0.7f, 4}, {3.3f, 4}});
      break;
    case 'E':
      p.line({{4, 0}, {0, 0}, {0, 6}, {4, 6}});
      p.line({{0, 3}, {3, 3}});
      break;
    case 'G':
      p.arc(2, 3, 2, 3, -40, -360);
      p.line({{4, 3}, {2.2f, 3}});
      break;
    case 'H':
      p.line({{0, 0}, {0, 6}});
      p.line({{4, 0}, {4, 6}});
      p.line({{0, 3}, {4, 3}});
      break;
    case 'I':
      p.line({{2, 0}, {2, 6}});
      p.line({{1, 0}, {3, 0}});
      p.line({{1, 6}, {3, 6}});
      break;
    case 'K':
      p.line({{0, 0}, {0, 6}});
      p.line({{3.8f, 0}, {0, 3.6f}});
      p.line({{1.4f, 2.4f}, {4, 6}});
      break;
    case 'L': p.line({{0, 0}, {0, 6}, {3.8f, 6}}); break;
    case 'N': p.line({{0, 6}, {0, 0}, {4, 6}, {4, 0}}); break;
    case 'O': p.arc(2, 3, 2, 3, 0, 360); break;
    case 'R':
      p.line({{0, 6}, {0, 0}, {2.4f, 0}});
      p.arc(2.4f, 1.6f, 1.6f, 1.6f, -90, 90);
      p.line({{2.4f, 3.2f}, {0, 3.2f}});
      p.line({{2.1f, 3.2f}, {4, 6}});
      break;
    case 'S':
      p.arc(2, 1.5f, 1.9f, 1.5f, -15, -270);
      p.arc(2, 4.5f, 1.9f, 1.5f, -90, 165);
      break;
    case 'T':
      p.line({{0, 0}, {4, 0}});
      p.line({{2, 0}, {2, 6}});
      break;
    case 'V': p.line({{0, 0}, {2, 6}, {4, 0}}); break;
    default: break;
  }
}

constexpr float kLetterWidth = 4;
constexpr float kLetterHeight = 6;

}  // namespace

float strokes_width(const std::string &text, float scale, float advance, float space) {
  float w = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      w += space;
    } else {
      w += (i + 1 < text.size() && text[i + 1] != ' ') ? advance : kLetterWidth;
    }
  }
  return w * scale;
}

StrokeText layout_strokes(const std::string &text, float x, float y, float scale, float advance,
                          float space) {
  StrokeText t;
  t.left = x;
  t.top = y;
  t.right = x + strokes_width(text, scale, advance, space);
  t.bottom = y + kLetterHeight * scale;
  float pos = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      pos += space;
      continue;
    }
    Pen p;
    letter(text[i], p);
    for (const Segment &s : p.segs)
      t.segs.push_back(
          {x + (pos + s.x0) * scale, y + s.y0 * scale, x + (pos + s.x1) * scale, y + s.y1 * scale});
    pos += (i + 1 < text.size() && text[i + 1] != ' ') ? advance : kLetterWidth;
  }
  return t;
}

float StrokeText::dist(float x, float y, float *nx, float *ny) const {
  float best = 1e30f, bx = 0, by = 0;
  for (const Segment &s : segs) {
    const float dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - s.x0) * dx + (y - s.y0) * dy) / len2 : 0;
    t = clamp01(t);
    const float ex = x - (s.x0 + t * dx), ey = y - (s.y0 + t * dy);
    const float d2 = ex * ex + ey * ey;
    if (d2 < best) {
      best = d2;
      bx = ex;
      by = ey;
    }
  }
  const float d = std::sqrt(best);
  if (nx) *nx = d > 1e-4f ? bx / d : 0;
  if (ny) *ny = d > 1e-4f ? by / d : 0;
  return d;
}

// --- Set pieces -------------------------------------------------------------

namespace {

// Visits the pixels within `margin` of the text's box.
template <typename F>
void for_text_area(Canvas &c, const StrokeText &t, float margin, F f) {
  const int x0 = std::max(0, static_cast<int>(t.left - margin));
  const int x1 = std::min(c.width - 1, static_cast<int>(t.right + margin));
  const int y0 = std::max(0, static_cast<int>(t.top - margin));
  const int y1 = std::min(c.height - 1, static_cast<int>(t.bottom + margin));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) f(x, y);
}

}  // namespace

void draw_chrome_text(Canvas &c, const StrokeText &t, float thickness, float extrude) {
  const float half = thickness / 2;
  const float outline = std::max(2.0f, thickness * 0.14f);
  const Rgb glow = rgb_hex(0xFF3FA4), shadow = rgb_hex(0x1A0428), edge = rgb_hex(0x0D0216);
  const std::vector<Rgb> sky = {rgb_hex(0x1D3D9E), rgb_hex(0x3F7FE0), rgb_hex(0xA9D8FF),
                                rgb_hex(0xF4FBFF)};
  const std::vector<Rgb> copper = {rgb_hex(0x3A1208), rgb_hex(0xA8431A), rgb_hex(0xFF9B3D),
                                   rgb_hex(0xFFE6A3)};
  const float top = t.top - half, height = (t.bottom + half) - top;
  const float ex = extrude * 0.7f, ey = extrude;
  for_text_area(c, t, thickness * 2 + extrude, [&](int x, int y) {
    const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
    float nx = 0, ny = 0;
    const float d = t.dist(px, py, &nx, &ny);
    const float glow_radius = thickness * 0.45f;
    c.blend(x, y, glow, 0.55f * std::exp(-std::max(d - half, 0.0f) / glow_radius));
    // Extrusion: the letter pushed back along the light, a few layers deep.
    for (float k = extrude; k > 0; k -= 1.0f) {
      const float ds = t.dist(px - ex * k / extrude, py - ey * k / extrude);
      c.blend(x, y, mix(shadow, rgb_hex(0x5B1A6E), 1 - k / extrude),
              clamp01(half + outline + 0.5f - ds));
    }
    c.blend(x, y, edge, clamp01(half + outline + 0.5f - d));
    const float cover = clamp01(half + 0.5f - d);
    if (cover <= 0) return;
    const float v = clamp01((py - top) / height);
    Rgb col = v < 0.5f ? ramp(sky, v / 0.5f) : ramp(copper, (v - 0.5f) / 0.5f);
    const float profile = clamp01(d / half);
    const float lit = (-nx * 0.6f - ny * 0.8f) * profile;
    const float gain = 1 + 0.35f * lit;
    col = {col.r * gain, col.g * gain, col.b * gain};
    if (lit > 0.55f) col = mix(col, rgb_hex(0xFFFFFF), std::min(1.0f, (lit - 0.55f) * 1.6f));
    c.blend(x, y, col, cover);
  });
}

void draw_neon_text(Canvas &c, const StrokeText &t, float thickness, Rgb core, Rgb glow,
                    float glow_radius) {
  const float half = thickness / 2;
  for_text_area(c, t, glow_radius * 4 + thickness, [&](int x, int y) {
    const float d = t.dist(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
    c.blend(x, y, glow, 0.8f * std::exp(-std::max(d - half, 0.0f) / glow_radius));
    c.blend(x, y, glow, clamp01(half + 1.5f - d));
    c.blend(x, y, core, clamp01(half - 0.2f - d));
  });
}

void draw_striped_sun(Canvas &c, float cx, float cy, float r, float clip_y) {
  const std::vector<Rgb> body = {rgb_hex(0xFFF27A), rgb_hex(0xFFC446), rgb_hex(0xFF7A4A),
                                 rgb_hex(0xFF3C7E), rgb_hex(0xE02490)};
  for (int y = std::max(0, static_cast<int>(cy - r - 2)); y < std::min<float>(clip_y, cy + r + 2);
       ++y)
    for (int x = std::max(0, static_cast<int>(cx - r - 2));
         x <= std::min<float>(c.width - 1, cx + r + 2); ++x) {
      const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
      const float d = std::hypot(px - cx, py - cy);
      float a = clamp01(r + 0.5f - d);
      if (a <= 0) continue;
      const float v = (py - (cy - r)) / (2 * r);  // 0 at the top
      // Gaps in the lower part of what is shown: one per `period` rows,
      // wider further down.
      const float shown = std::min(clip_y, cy + r) - (cy - r);
      const float s = ((py - (cy - r)) / shown - 0.4f) / 0.6f;
      if (s > 0) {
        const float period = shown * 0.11f;
        const float phase = std::fmod(py - (cy - r) - 0.4f * shown, period);
        const float gap = period * (0.1f + 0.55f * s);
        a *= clamp01(std::fabs(phase - period / 2) - gap / 2 + 0.5f);
      }
      c.blend(x, y, ramp(body, v), a);
    }
}

// --- Colour reduction -------------------------------------------------------

namespace {

constexpr int kBits = 6;  // histogram precision per channel
constexpr int kLevels = 1 << kBits;

struct Box {
  int lo[3], hi[3];  // inclusive bin ranges
  uint64_t count;
};

int bin_index(int r, int g, int b) { return (r * kLevels + g) * kLevels + b; }

// Shrinks a box to the bins it actually holds and counts them.
void fit(Box &box, const std::vector<uint32_t> &hist) {
  int lo[3] = {kLevels, kLevels, kLevels}, hi[3] = {-1, -1, -1};
  uint64_t n = 0;
  for (int r = box.lo[0]; r <= box.hi[0]; ++r)
    for (int g = box.lo[1]; g <= box.hi[1]; ++g)
      for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
        const uint32_t c = hist[bin_index(r, g, b)];
        if (!c) continue;
        n += c;
        const int v[3] = {r, g, b};
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], v[k]);
          hi[k] = std::max(hi[k], v[k]);
        }
      }
  box.count = n;
  if (n)
    for (int k = 0; k < 3; ++k) {
      box.lo[k] = lo[k];
      box.hi[k] = hi[k];
    }
}

uint8_t to_byte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f))); }

}  // namespace

Palettised quantise(const Canvas &c, int stride) {
  // Ordered dither offsets (4x4 Bayer), +-3 levels, applied before binning.
  static constexpr int kBayer[4][4] = {
      {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  std::vector<std::array<uint8_t, 3>> src(c.px.size());
  std::vector<uint32_t> hist(kLevels * kLevels * kLevels, 0);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const Rgb &p = c.px[static_cast<size_t>(y) * c.width + x];
      const float d = (static_cast<float>(kBayer[y & 3][x & 3]) - 7.5f) * 0.4f;
      auto &s = src[static_cast<size_t>(y) * c.width + x];
      s = {to_byte(p.r + d), to_byte(p.g + d), to_byte(p.b + d)};
      ++hist[bin_index(s[0] >> (8 - kBits), s[1] >> (8 - kBits), s[2] >> (8 - kBits))];
    }

  // Median cut: split the box with the most pixels times its widest side.
  std::vector<Box> boxes{{{0, 0, 0}, {kLevels - 1, kLevels - 1, kLevels - 1}, 0}};
  fit(boxes[0], hist);
  while (boxes.size() < 256) {
    int pick = -1, axis = 0;
    double best = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      for (int k = 0; k < 3; ++k) {
        const int side = boxes[i].hi[k] - boxes[i].lo[k];
        const double score = static_cast<double>(boxes[i].count) * side;
        if (side > 0 && score > best) {
          best = score;
          pick = static_cast<int>(i);
          axis = k;
        }
      }
    }
    if (pick < 0) break;
    Box a = boxes[pick];
    // Weighted median along the axis.
    std::vector<uint64_t> slice(kLevels, 0);
    for (int r = a.lo[0]; r <= a.hi[0]; ++r)
      for (int g = a.lo[1]; g <= a.hi[1]; ++g)
        for (int b = a.lo[2]; b <= a.hi[2]; ++b) {
          const int v[3] = {r, g, b};
          slice[v[axis]] += hist[bin_index(r, g, b)];
        }
    uint64_t acc = 0;
    int cut = a.lo[axis];
    for (int v = a.lo[axis]; v < a.hi[axis]; ++v) {
      acc += slice[v];
      cut = v;
      if (acc * 2 >= a.count) break;
    }
    Box b = a;
    a.hi[axis] = cut;
    b.lo[axis] = cut + 1;
    fit(a, hist);
    fit(b, hist);
    boxes[pick] = a;
    boxes.push_back(b);
  }

  Palettised out;
  out.width = c.width;
  out.stride = stride;
  out.height = c.height;
  // Palette: the mean colour of each box, from the dithered source pixels.
  std::vector<int> box_of(hist.size(), 0);
  for (size_t i = 0; i < boxes.size(); ++i)
    for (int r = boxes[i].lo[0]; r <= boxes[i].hi[0]; ++r)
      for (int g = boxes[i].lo[1]; g <= boxes[i].hi[1]; ++g)
        for (int b = boxes[i].lo[2]; b <= boxes[i].hi[2]; ++b)
          box_of[bin_index(r, g, b)] = static_cast<int>(i);
  std::vector<std::array<double, 4>> sum(boxes.size(), {0, 0, 0, 0});
  for (const auto &s : src) {
    auto &a = sum[box_of[bin_index(s[0] >> (8 - kBits), s[1] >> (8 - kBits), s[2] >> (8 - kBits))]];
    a[0] += s[0];
    a[1] += s[1];
    a[2] += s[2];
    a[3] += 1;
  }
  for (size_t i = 0; i < boxes.size(); ++i)
    for (int k = 0; k < 3; ++k)
      out.palette[3 * i + k] =
          sum[i][3] > 0 ? static_cast<uint8_t>(std::lround(sum[i][k] / sum[i][3])) : 0;

  // Each pixel takes the nearest palette colour (memoised per bin).
  std::vector<int16_t> nearest(hist.size(), -1);
  out.pixels.assign(static_cast<size_t>(stride) * c.height, 0);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const auto &s = src[static_cast<size_t>(y) * c.width + x];
      const int bin = bin_index(s[0] >> (8 - kBits), s[1] >> (8 - kBits), s[2] >> (8 - kBits));
      if (nearest[bin] < 0) {
        int best = 0;
        long best_d = -1;
        for (size_t i = 0; i < boxes.size(); ++i) {
          const long dr = out.palette[3 * i] - s[0], dg = out.palette[3 * i + 1] - s[1],
                     db = out.palette[3 * i + 2] - s[2];
          const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
          if (best_d < 0 || d < best_d) {
            best_d = d;
            best = static_cast<int>(i);
          }
        }
        nearest[bin] = static_cast<int16_t>(best);
      }
      out.pixels[static_cast<size_t>(y) * stride + x] = static_cast<uint8_t>(nearest[bin]);
    }
  return out;
}

bool write_c_source(const std::string &path, const std::string &symbol, const Palettised &p,
                    const std::string &generator) {
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "/* Generated by %s; do not edit. */\n#include \"assets/pictures.h\"\n\n",
               generator.c_str());
  auto array = [f](const std::string &name, const uint8_t *data, size_t n) {
    std::fprintf(f, "const unsigned char %s[%zu] = {\n", name.c_str(), n);
    for (size_t i = 0; i < n; ++i)
      std::fprintf(f, "%u%s", data[i], (i % 32 == 31 || i + 1 == n) ? ",\n" : ",");
    std::fprintf(f, "};\n");
  };
  array(symbol + "_pixels", p.pixels.data(), p.pixels.size());
  array(symbol + "_palette", p.palette, sizeof p.palette);
  return std::fclose(f) == 0;
}

bool write_png_preview(const std::string &path, const Palettised &p) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(static_cast<size_t>(p.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const uint8_t v = p.pixels[static_cast<size_t>(y) * p.stride + x];
      for (int k = 0; k < 3; ++k) row[3 * x + k] = p.palette[3 * v + k];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}
