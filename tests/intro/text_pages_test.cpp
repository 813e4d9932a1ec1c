// Text pages: glyph cells and shadow, the typewriter and the page cycle.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "intro/driver.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"

namespace {

constexpr uint32_t kSentinel = 0x123456;

uint32_t fb(int x, int y) { return scene.frame_buffer[y * 800 + x]; }
void fill_frame(uint32_t v) {
  std::fill(std::begin(scene.frame_buffer), std::end(scene.frame_buffer), v);
}

// A font sheet of its own: palette index v has colour v (blue channel only),
// so a drawn pixel tells which font pixel it came from.
struct TestFont {
  std::vector<uint8_t> sheet = std::vector<uint8_t>(360 * 51, 1);
  uint8_t palette[768] = {};
  TestFont() {
    for (int v = 0; v < 256; ++v) palette[3 * v + 2] = static_cast<uint8_t>(v);
  }
  void set(int x, int y, uint8_t v) { sheet[y * 360 + x] = v; }
  // Letter n: columns 8n+1..8n+8, rows 1..13; digit d: columns
  // 8(26+d)+1..8(26+d)+8, rows 0..12. Every pixel of the cell gets `v`,
  // except the last row of U: it is the first row of the blank cell that
  // every other character reads (columns 161..168, rows 13..25).
  void fill_letter(int n, uint8_t v) {
    for (int r = 1; r <= (n == 20 ? 12 : 13); ++r)
      for (int c = 1; c <= 8; ++c) set(8 * n + c, r, v);
  }
  void fill_digit(int d, uint8_t v) {
    for (int r = 0; r <= 12; ++r)
      for (int c = 1; c <= 8; ++c) set(8 * (26 + d) + c, r, v);
  }
  void load() { load_picture(text_pages.font, sheet.data(), 360, 51, palette); }
};

// Letters get index 100 + n, digits 200 + d, every cell fully inked.
void load_identifying_font() {
  TestFont f;
  for (int n = 0; n < 26; ++n) f.fill_letter(n, static_cast<uint8_t>(100 + n));
  for (int d = 0; d < 10; ++d) f.fill_digit(d, static_cast<uint8_t>(200 + d));
  f.load();
}

// What the glyph cell with its reference at x, y shows: the character whose
// colour is at its top-left glyph pixel, or 0 when nothing was drawn there.
char glyph_at(int x, int y, uint32_t background) {
  const uint32_t p = fb(x + 1, y);
  if (p == background) return 0;
  if (p >= 100 && p < 126) return static_cast<char>('A' + (p - 100));
  if (p >= 200 && p < 210) return static_cast<char>('0' + (p - 200));
  return '?';
}

class TextPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_reset();
    text_pages_reset();
    random_reset();
  }
};

TEST_F(TextPagesTest, GlyphPixelAndShadowPlacement) {
  TestFont f;
  f.set(8 * ('K' - 'A') + 4, 1 + 5, 77);  // letter K, glyph column 4, glyph row 5
  f.set(8 * (26 + 7) + 1, 0, 88);         // digit 7, glyph column 1, glyph row 0
  f.set(161, 13, 99);                     // the cell of every other character
  f.load();

  fill_frame(kSentinel);
  draw_glyph(100, 200, 'K');
  EXPECT_EQ(fb(104, 205), 77u);
  EXPECT_EQ(fb(106, 207), 0u);  // shadow two right, two down
  int changed = 0;
  for (uint32_t p : scene.frame_buffer) changed += p != kSentinel;
  EXPECT_EQ(changed, 2);

  fill_frame(kSentinel);
  draw_glyph(300, 100, '7');
  EXPECT_EQ(fb(301, 100), 88u);
  EXPECT_EQ(fb(303, 102), 0u);

  // Every code that is no letter or digit reads the same cell, 13 rows down.
  for (int ch : {0, int{' '}, int{'*'}, int{':'}, int{'-'}, int{'a'}, int{'z'}, 200}) {
    fill_frame(kSentinel);
    draw_glyph(50, 50, ch);
    EXPECT_EQ(fb(51, 63), 99u) << ch;
    EXPECT_EQ(fb(53, 65), 0u) << ch;
  }
}

TEST_F(TextPagesTest, FullCellGlyphKeepsItsPixelsOverTheShadow) {
  TestFont f;
  f.fill_letter(0, 42);
  f.load();
  fill_frame(kSentinel);
  draw_glyph(100, 100, 'A');
  for (int y = 95; y < 120; ++y)
    for (int x = 95; x < 120; ++x) {
      const bool glyph = x >= 101 && x <= 108 && y >= 100 && y <= 112;
      const bool shadow = x >= 103 && x <= 110 && y >= 102 && y <= 114;
      const uint32_t expect = glyph ? 42u : (shadow ? 0u : kSentinel);
      ASSERT_EQ(fb(x, y), expect) << x << "," << y;
    }
}

TEST_F(TextPagesTest, RealFontHasLettersAndDigitsAndABlankOtherCell) {
  load_font_picture();
  for (int ch = 0; ch < 256; ++ch) {
    fill_frame(kSentinel);
    draw_glyph(100, 100, ch);
    int inked = 0;
    for (uint32_t p : scene.frame_buffer) inked += p != kSentinel;
    const bool alnum = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    if (alnum) {
      EXPECT_GT(inked, 20) << ch;
    } else {
      EXPECT_EQ(inked, 0) << ch;
    }
  }
}

// Runs the text part of one scene frame as the driver does.
void text_frame() {
  if (text_pages.text_phase == 0) type_page_step();
  if (text_pages.text_phase == 1) hold_page_step();
}

TEST_F(TextPagesTest, FirstGlyphIsTypedElevenFramesAfterTheClockPasses150) {
  fill_intro_text();
  load_identifying_font();
  build_shade_palette();
  // The clock passes 150 at the first frame where the running sum of 1.2
  // exceeds it; ticks count from that frame, a column every 4 ticks. Line 1,
  // " V A R N  K O L " (16 bytes), starts at x = 410 - 80 = 330 and its
  // character c is shown only while x < 300 + 20 * column: column 3 is the
  // first to show a character, the V at x = 340.
  double clock = 0;
  int start = 0;
  for (int f = 1; !start; ++f)
    if ((clock += 1.2) > 150) start = f;
  const uint32_t bg = 0x601335;
  for (int frame = 1; frame <= start + 11; ++frame) {
    update_horizon();
    shade_to_frame();
    text_frame();
    bool any = false;
    for (int y = 200; y < 416; ++y)
      for (int x = 0; x < 800 && !any; ++x) any = fb(x, y) != bg;
    EXPECT_EQ(any, frame == start + 11) << "frame " << frame;
  }
  EXPECT_EQ(glyph_at(340, 220, bg), 'V');
  EXPECT_EQ(text_pages.column, 3);
  EXPECT_EQ(text_pages.line, 0);
}

TEST_F(TextPagesTest, TypedLinesShowAtMost21ThenAtMost25Characters) {
  for (auto &s : intro_text) s.clear();
  intro_text[1] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 bytes: x = 260
  intro_text[2] = "a1*b";                            // x = 390
  load_identifying_font();
  scene.scene_clock = 1000;
  const int x1 = 410 - 5 * 30;
  for (int frame = 1; frame <= 84; ++frame) {
    fill_frame(kSentinel);
    text_frame();
  }
  ASSERT_EQ(text_pages.column, 21);
  for (int c = 1; c <= 25; ++c)
    EXPECT_EQ(glyph_at(x1 + 10 * (c - 1), 220, kSentinel), c <= 21 ? intro_text[1][c - 1] : 0) << c;

  for (int frame = 85; frame <= 88 + 88; ++frame) {
    fill_frame(kSentinel);
    text_frame();
  }
  ASSERT_EQ(text_pages.line, 2);
  for (int c = 1; c <= 27; ++c)
    EXPECT_EQ(glyph_at(x1 + 10 * (c - 1), 220, kSentinel), c <= 25 ? intro_text[1][c - 1] : 0) << c;
  // Upper case on screen; '*' leaves a gap but still takes its 10 pixels.
  const int x2 = 410 - 5 * 4;
  EXPECT_EQ(glyph_at(x2, 240, kSentinel), 'A');
  EXPECT_EQ(glyph_at(x2 + 10, 240, kSentinel), '1');
  EXPECT_EQ(glyph_at(x2 + 20, 240, kSentinel), 0);
  EXPECT_EQ(glyph_at(x2 + 30, 240, kSentinel), 'B');
}

TEST_F(TextPagesTest, PageCycleTiming) {
  fill_intro_text();
  load_font_picture();
  scene.scene_clock = 1000;  // typing runs from the first frame
  // Per page, by hand: a column every 4 frames, a line every 88, line 9 at
  // frame 792, which also counts the first of 10 hold frames; the tenth (801)
  // hands over to holding, whose first step runs in that frame; 40 hold
  // steps of 5 end at frame 840, which draws nothing; the next page types
  // from frame 841. After page 4 the index is 5; the next typing frame only
  // wraps to page 0 and throws its tick away, so the cycle is one frame late.
  std::vector<int> holds, pages;
  int last_page = 0;
  for (int frame = 1; frame <= 5100; ++frame) {
    const int phase_before = text_pages.text_phase;
    fill_frame(kSentinel);
    text_frame();
    if (phase_before == 0 && text_pages.text_phase == 1) holds.push_back(frame);
    if (text_pages.page != last_page) {
      pages.push_back(frame);
      last_page = text_pages.page;
      if (text_pages.page == 1) {
        // The frame that ends holding draws nothing.
        for (uint32_t p : scene.frame_buffer) ASSERT_EQ(p, kSentinel);
      }
    }
  }
  EXPECT_EQ(holds, (std::vector<int>{801, 1641, 2481, 3321, 4161, 5002}));
  EXPECT_EQ(pages, (std::vector<int>{840, 1680, 2520, 3360, 4200, 4201, 5041}));
}

TEST_F(TextPagesTest, NothingIsTypedBeforeTheClockPasses150) {
  fill_intro_text();
  load_font_picture();
  scene.scene_clock = 150;
  for (int frame = 0; frame < 500; ++frame) {
    fill_frame(kSentinel);
    text_frame();
  }
  EXPECT_EQ(text_pages.tick, 0);
  EXPECT_EQ(text_pages.column, 0);
  for (uint32_t p : scene.frame_buffer) ASSERT_EQ(p, kSentinel);
}

}  // namespace
