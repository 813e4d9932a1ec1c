// Typewriter text pages drawn over the scene with put_pixel.
#include "intro/text_pages.h"

#include "assets/pictures.h"

std::string intro_text[kTextEntries];
TextPageState text_pages;

namespace {

constexpr int kLinesPerPage = 9;
constexpr int kPages = 5;
constexpr int kTicksPerColumn = 4;
constexpr int kColumnsPerLine = 22;  // the 22nd column completes the line
constexpr int kCompleteLineChars = 25;
constexpr int kHoldBeforeHolding = 10;  // typing frames counted after line 9
constexpr int kHoldStep = 5;
constexpr int kHoldEnd = 200;
constexpr double kTypingStartClock = 150;

constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 13;
constexpr int kGlyphAdvance = 10;
constexpr int kShadowOffset = 2;
constexpr int32_t kTransparent = 1;  // font palette index never drawn
constexpr int kFontStride = 360;

int32_t upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// Character c (from 1) of line L of the current page, upper-cased; 0 past
// the end of the text.
int32_t line_char(const std::string &s, int c) {
  return c <= static_cast<int>(s.size()) ? upper(static_cast<unsigned char>(s[c - 1])) : 0;
}

const std::string &line_text(int L) { return intro_text[text_pages.page * 10 + L]; }

int32_t line_x(const std::string &s) { return 410 - 5 * static_cast<int32_t>(s.size()); }
int32_t line_y(int L) { return 200 + 20 * L; }

void draw_complete_lines() {
  for (int L = 1; L <= text_pages.line; ++L) {
    const std::string &s = line_text(L);
    int32_t x = line_x(s);
    for (int c = 1; c <= kCompleteLineChars; ++c, x += kGlyphAdvance)
      draw_glyph(x, line_y(L), line_char(s, c));
  }
}

}  // namespace

void text_pages_reset() { text_pages = TextPageState{}; }

void load_font_picture() {
  load_picture(text_pages.font, asset_font_pixels, kFontWidth, kFontHeight, asset_font_palette);
}

void type_page_step() {
  TextPageState &t = text_pages;
  if (t.line < kLinesPerPage && scene.scene_clock > kTypingStartClock) ++t.tick;
  if (t.tick == kTicksPerColumn) {
    ++t.column;
    t.tick = 0;
  }
  if (t.column == kColumnsPerLine) {
    ++t.line;
    t.column = 0;
    t.tick = 0;
  }
  if (t.line == kLinesPerPage) ++t.hold;
  if (t.hold == kHoldBeforeHolding) {
    t.hold = 0;
    t.text_phase = 1;
  }
  if (t.page == kPages) {
    t.page = 0;
    t.line = 0;
    t.column = 0;
    t.tick = 0;
  }
  draw_complete_lines();

  // The line being typed: a character is shown only while x stays left of
  // 300 + 20 * column, so short lines (which start further right) lag.
  const int L = t.line + 1;
  const std::string &s = line_text(L);
  int32_t x = line_x(s);
  for (int c = 1; c <= t.column; ++c) {
    if (x < 300 + 20 * t.column) {
      draw_glyph(x, line_y(L), line_char(s, c));
      x += kGlyphAdvance;
    }
  }
}

void hold_page_step() {
  TextPageState &t = text_pages;
  t.hold += kHoldStep;
  if (t.hold >= kHoldEnd) {
    t.hold = 0;
    ++t.page;
    t.line = 0;
    t.column = 0;
    t.tick = 0;
    t.text_phase = 0;
    return;
  }
  draw_complete_lines();
}

void draw_glyph(int32_t x, int32_t y, int32_t ch) {
  int32_t cell = 20, band = 1;
  if (ch >= 'A' && ch <= 'Z') {
    cell = ch - 20;
    band = 0;
  } else if (ch >= '0' && ch <= '9') {
    cell = ch - 22;
    band = 0;
  }
  // The index runs past the 360-pixel row: letters come from rows 1..13,
  // digits from rows 0..12, everything else from the empty cell in 13..25.
  const Picture &font = text_pages.font;
  for (int32_t r = kGlyphHeight * band; r < kGlyphHeight * band + kGlyphHeight; ++r) {
    for (int32_t j = 1; j <= kGlyphWidth; ++j) {
      const int32_t v = font.pixels[cell * 8 + j + kFontStride * r];
      if (v == kTransparent) continue;
      put_pixel(x + j + kShadowOffset, y + r + kShadowOffset, 0);
      put_pixel(x + j, y + r, font.colour(v));
    }
  }
}
