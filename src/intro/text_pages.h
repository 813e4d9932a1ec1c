// Text pages: the intro's text typed page by page in the bitmap font with a
// black drop shadow, each finished page held briefly, five pages in a cycle.
#pragma once

#include <cstdint>
#include <string>

#include "intro/scene.h"

inline constexpr int kTextEntries = 81;  // intro_text[0..80]

// The text table filled by the driver; page p shows entries 10p+1..10p+9.
extern std::string intro_text[kTextEntries];

struct TextPageState {
  int32_t text_phase;  // 0 typing, 1 holding the finished page
  int32_t tick;        // frames towards the next typed column (0..3)
  int32_t column;      // characters typed in the current line (0..21)
  int32_t line;        // complete lines of the page (0..9)
  int32_t hold;        // typing: frames after line 9; holding: +5 up to 200
  int32_t page;        // page shown (0..5; 5 wraps to 0)
  Picture font;
};

extern TextPageState text_pages;

// Puts the page state back to its start-of-run value and drops the font.
void text_pages_reset();

void load_font_picture();
void type_page_step();
void hold_page_step();
void draw_glyph(int32_t x, int32_t y, int32_t ch);
