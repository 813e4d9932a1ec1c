// Text pages: glyph cells and their shadow, the typewriter, the page cycle.
#include <gtest/gtest.h>

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

// A font sheet whose palette index v has colour v, so that a drawn pixel
// tells where in the sheet it came from. Letter n fills columns 8n+1..8n+8 of
// rows 1..13 with 100 + n, digit d columns 8(26+d)+1.. of rows 0..12 with
// 200 + d; the rest is transparent (index 1) but for the pixel at column
// 161, row 13: the first of the blank cell that every other code reads,
// which is why U's last row stays empty.
void load_identifying_font() {
  std::vector<uint8_t> sheet(360 * 51, 1);
  uint8_t palette[768] = {};
  for (int v = 0; v < 256; ++v) palette[3 * v + 2] = uint8_t(v);
  for (int n = 0; n < 26; ++n)
    for (int r = 1; r <= (n == 20 ? 12 : 13); ++r)
      for (int c = 1; c <= 8; ++c) sheet[r * 360 + 8 * n + c] = uint8_t(100 + n);
  for (int d = 0; d < 10; ++d)
    for (int r = 0; r <= 12; ++r)
      for (int c = 1; c <= 8; ++c) sheet[r * 360 + 8 * (26 + d) + c] = uint8_t(200 + d);
  sheet[13 * 360 + 161] = 99;
  load_picture(text_pages.font, sheet.data(), 360, 51, palette);
}

// The character shown in the cell whose reference is (x, y), from its
// top-left glyph pixel; 0 when none.
char glyph_at(int x, int y) {
  const uint32_t p = fb(x + 1, y);
  return p >= 100 && p < 126 ? char('A' + p - 100) : p >= 200 && p < 210 ? char('0' + p - 200) : 0;
}

void text_frame() {  // as the driver runs it
  if (text_pages.text_phase == 0) type_page_step();
  if (text_pages.text_phase == 1) hold_page_step();
}

class TextPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_reset();
    text_pages_reset();
    random_reset();
  }
};

TEST_F(TextPagesTest, GlyphCellsAndShadow) {
  load_identifying_font();
  const struct {
    int ch;
    uint32_t colour;
  } cases[] = {{'A', 100}, {'K', 110}, {'Z', 125}, {'0', 200}, {'7', 207},
               {' ', 99},  {0, 99},    {'a', 99},  {'*', 99}};
  for (const auto &c : cases) {
    fill_frame(kSentinel);
    draw_glyph(100, 100, c.ch);
    for (int y = 95; y < 130; ++y)
      for (int x = 95; x < 120; ++x) {
        // Every code but letters and digits reads the blank cell, 13 rows down.
        const bool blank = c.colour == 99;
        const bool glyph =
            blank ? x == 101 && y == 113 : x >= 101 && x <= 108 && y >= 100 && y <= 112;
        const bool shadow =
            blank ? x == 103 && y == 115 : x >= 103 && x <= 110 && y >= 102 && y <= 114;
        ASSERT_EQ(fb(x, y), glyph    ? c.colour
                            : shadow ? 0
                                     : kSentinel)
            << c.ch << ": " << x << "," << y;
      }
  }
  // The real font: letters and digits inked, every other code blank.
  load_font_picture();
  for (int ch = 0; ch < 256; ++ch) {
    fill_frame(kSentinel);
    draw_glyph(100, 100, ch);
    int inked = 0;
    for (uint32_t p : scene.frame_buffer) inked += p != kSentinel;
    const bool alnum = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    EXPECT_TRUE(alnum ? inked > 20 : inked == 0) << ch;
  }
}

TEST_F(TextPagesTest, TypingStartsAfterTheClockPasses150AndShows21Then25Characters) {
  for (auto &s : intro_text) s.clear();
  intro_text[1] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 bytes: x = 410 - 150
  intro_text[2] = "a1*b";                            // x = 390
  load_identifying_font();
  // The clock passes 150 at frame 126 (a running sum of 1.2); a column is
  // typed every 4 frames from then, and the first character shows once
  // x < 300 + 20 * column, at column 1 here: frame 129.
  for (int frame = 1; frame <= 129 + 80; ++frame) {
    update_horizon();
    fill_frame(kSentinel);
    text_frame();
    ASSERT_EQ(glyph_at(260, 220) != 0, frame >= 129) << frame;
  }
  ASSERT_EQ(text_pages.column, 21);
  for (int c = 1; c <= 26; ++c)
    EXPECT_EQ(glyph_at(250 + 10 * c, 220), c <= 21 ? intro_text[1][c - 1] : 0) << c;
  for (int frame = 0; frame < 4 + 88; ++frame) fill_frame(kSentinel), text_frame();
  ASSERT_EQ(text_pages.line, 2);
  for (int c = 1; c <= 27; ++c)
    EXPECT_EQ(glyph_at(250 + 10 * c, 220), c <= 25 ? intro_text[1][c - 1] : 0) << c;
  // Capitals on screen; '*' leaves its 10 pixels empty.
  EXPECT_EQ(
      std::string({glyph_at(390, 240), glyph_at(400, 240), glyph_at(410, 240), glyph_at(420, 240)}),
      std::string({'A', '1', 0, 'B'}));
}

TEST_F(TextPagesTest, PageCycle) {
  fill_intro_text();
  load_font_picture();
  scene.scene_clock = 1000;  // typing from the first frame
  // By hand: a line every 88 frames, line 9 at frame 792, which is the first
  // of 10 counted frames; the tenth (801) hands over to holding, whose first
  // step runs in that frame; 40 steps of 5 end at 840, which draws nothing,
  // and the next page types from 841. After page 4 the index is 5; the next
  // typing frame only wraps it to 0, so that cycle is one frame late.
  std::vector<int> holds, pages;
  for (int frame = 1, page = 0; frame <= 5100; ++frame) {
    const int phase = text_pages.text_phase;
    fill_frame(kSentinel);
    text_frame();
    if (phase == 0 && text_pages.text_phase == 1) holds.push_back(frame);
    if (text_pages.page != page) {
      pages.push_back(frame);
      page = text_pages.page;
      for (uint32_t p : scene.frame_buffer)
        ASSERT_EQ(p, kSentinel) << "drawn at the page's end " << frame;
    }
  }
  EXPECT_EQ(holds, (std::vector<int>{801, 1641, 2481, 3321, 4161, 5002}));
  EXPECT_EQ(pages, (std::vector<int>{840, 1680, 2520, 3360, 4200, 4201, 5041}));
}

}  // namespace
