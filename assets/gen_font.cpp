// Turns font.txt into the text font picture: 360x51, one palette index per
// byte. Sheet layout (what the text pages read):
//   letter n (A = 0) at columns 8n+1..8n+8, rows 1..13
//   digit d          at columns 8(26+d)+1..8(26+d)+8, rows 0..12
//   punctuation k    at columns 8k+1..8k+8, rows 27..39 (kept on the sheet)
// Everything else is index 1, the transparent index; in particular columns
// 161..168 of rows 13..25, the cell drawn for every other character.
// Ink is coloured by its row in the cell (a white-to-blue ice gradient) with
// a bevel: lit on top and left edges, darker on bottom and right edges.
// Usage: gen_font <font.txt> <out.c> [preview.png]
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "art.h"

namespace {

constexpr int kWidth = 360, kHeight = 51;
constexpr int kCellW = 8, kCellH = 13;
constexpr uint8_t kTransparent = 1, kInkBase = 2;
constexpr int kShades = 3;  // normal, lit, dark
constexpr int kPunctuationRow = 27;
constexpr uint32_t kKeyColour = 0xFF00FF;  // shown where nothing is drawn

using Glyph = std::vector<std::string>;  // kCellH rows of kCellW characters

// Reads "<char>" lines each followed by kCellH rows of '.'/'#'.
bool read_glyphs(const char *path, std::map<char, Glyph> &out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.size() != 1) {
      std::fprintf(stderr, "gen_font: expected a character line, got '%s'\n", line.c_str());
      return false;
    }
    const char ch = line[0];
    Glyph g;
    while (static_cast<int>(g.size()) < kCellH && std::getline(in, line)) {
      if (static_cast<int>(line.size()) != kCellW ||
          line.find_first_not_of(".#") != std::string::npos) {
        std::fprintf(stderr, "gen_font: bad row '%s' in glyph '%c'\n", line.c_str(), ch);
        return false;
      }
      g.push_back(line);
    }
    if (static_cast<int>(g.size()) != kCellH) return false;
    out[ch] = g;
  }
  return true;
}

bool ink(const Glyph &g, int r, int c) {
  return r >= 0 && r < kCellH && c >= 0 && c < kCellW && g[r][c] == '#';
}

// Palette index of an ink pixel: its row picks the colour, its edges the shade.
uint8_t ink_index(const Glyph &g, int r, int c) {
  int shade = 0;
  if (!ink(g, r - 1, c))
    shade = 1;
  else if (!ink(g, r + 1, c))
    shade = 2;
  else if (!ink(g, r, c - 1))
    shade = 1;
  else if (!ink(g, r, c + 1))
    shade = 2;
  return static_cast<uint8_t>(kInkBase + r * kShades + shade);
}

void place(std::vector<uint8_t> &sheet, const Glyph &g, int left, int top) {
  for (int r = 0; r < kCellH; ++r)
    for (int c = 0; c < kCellW; ++c)
      if (ink(g, r, c))
        sheet[static_cast<size_t>(top + r) * kWidth + left + c] = ink_index(g, r, c);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_font <font.txt> <out.c> [preview.png]\n");
    return 2;
  }
  std::map<char, Glyph> glyphs;
  if (!read_glyphs(argv[1], glyphs)) {
    std::fprintf(stderr, "gen_font: cannot read %s\n", argv[1]);
    return 1;
  }

  Palettised p;
  p.width = p.stride = kWidth;
  p.height = kHeight;
  p.pixels.assign(static_cast<size_t>(kWidth) * kHeight, kTransparent);
  for (int n = 0; n < 26; ++n) {
    const auto it = glyphs.find(static_cast<char>('A' + n));
    if (it == glyphs.end())
      return std::fprintf(stderr, "gen_font: letter %c missing\n", 'A' + n), 1;
    place(p.pixels, it->second, 8 * n + 1, 1);
  }
  for (int d = 0; d < 10; ++d) {
    const auto it = glyphs.find(static_cast<char>('0' + d));
    if (it == glyphs.end()) return std::fprintf(stderr, "gen_font: digit %d missing\n", d), 1;
    place(p.pixels, it->second, 8 * (26 + d) + 1, 0);
  }
  int k = 0;
  for (const auto &[ch, g] : glyphs)
    if (!(ch >= 'A' && ch <= 'Z') && !(ch >= '0' && ch <= '9'))
      place(p.pixels, g, 8 * k++ + 1, kPunctuationRow);

  // The cell shared by every other character must stay empty.
  for (int r = 13; r <= 25; ++r)
    for (int c = 161; c <= 168; ++c)
      if (p.pixels[static_cast<size_t>(r) * kWidth + c] != kTransparent) {
        std::fprintf(stderr, "gen_font: ink in the blank cell at (%d, %d)\n", c, r);
        return 1;
      }

  // Palette: 0 black, 1 the key colour, then per cell row normal/lit/dark.
  const std::vector<Rgb> ice = {rgb_hex(0xFFFFFF), rgb_hex(0xD6F7FF), rgb_hex(0x8FE3FF),
                                rgb_hex(0x4CC4FF), rgb_hex(0x3D8CFF), rgb_hex(0x5A5CF0)};
  const Rgb key = rgb_hex(kKeyColour);
  p.palette[3] = static_cast<uint8_t>(key.r);
  p.palette[4] = static_cast<uint8_t>(key.g);
  p.palette[5] = static_cast<uint8_t>(key.b);
  for (int r = 0; r < kCellH; ++r) {
    // Ink spans cell rows 1..11.
    const Rgb base = ramp(ice, static_cast<float>(r - 1) / 10.0f);
    const Rgb shades[kShades] = {
        base, mix(base, rgb_hex(0xFFFFFF), 0.55f), {base.r * 0.6f, base.g * 0.6f, base.b * 0.7f}};
    for (int s = 0; s < kShades; ++s) {
      const int v = kInkBase + r * kShades + s;
      p.palette[3 * v] = static_cast<uint8_t>(shades[s].r + 0.5f);
      p.palette[3 * v + 1] = static_cast<uint8_t>(shades[s].g + 0.5f);
      p.palette[3 * v + 2] = static_cast<uint8_t>(shades[s].b + 0.5f);
    }
  }

  if (!write_c_source(argv[2], "asset_font", p, "gen_font")) return 1;
  if (argc > 3 && !write_png_preview(argv[3], p)) return 1;
  return 0;
}
