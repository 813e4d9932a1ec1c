// Intro driver: start-up, the six-second title, the scene loop until ESC,
// the closing loop with the blinking bar until the next ESC.
#include "intro/driver.h"

#include <cstring>

#include "assets/music_data.h"
#include "audio/music.h"
#include "display/display.h"
#include "intro/host.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"

namespace {

constexpr uint32_t kTitleMs = 6000;
constexpr uint32_t kMusicErrorMs = 3000;
constexpr int kClosingPeriod = 300;  // closing frames per blink cycle
constexpr int kBarFrames = 150;      // of which the bar is shown on the first
constexpr int kLogoX = 15, kLogoY = 10;

struct TextEntry {
  int index;
  const char *text;
};

// Entries 23..26 greet four pairs of (fictional) groups.
constexpr TextEntry kIntroText[] = {
    {1, " V A R N  K O L "},
    {2, "THE ENGINE SINGS"},
    {4, "PROUDLY PRESENTS"},
    {5, "ON 17-09-2008"},
    {7, "Quillon"},
    {8, "from ZUB"},
    {9, "                     "},
    {12, "DONT FORGET TO BUY"},
    {13, "THE ORIGINAL"},
    {16, "SOFTWARE DEVELOPPERS"},
    {17, "DESERVE YOUR SUPPORT"},
    {21, "* GREETINGS *"},
    {23, "BRAMBLE QUIXOTICA"},
    {24, "CINDERWOLF VELOXIMAR"},
    {25, "ZYGOTRIX FERNHEX"},
    {26, "TUNDRA LOOPKIT"},
    {31, "* CREDITS *"},
    {33, "CODE:  MERLE FROM ORBAX"},
    {34, "SFX:      FROM THE GAME"},
    {35, "          Glimmerod II "},
    {45, "TWICE THE FUN        "},
    {46, "   DOUBLE THE TROUBLE"},
};

bool is_escape(const char *key) { return std::strcmp(key, "\x1b") == 0; }

}  // namespace

void fill_intro_text() {
  for (std::string &s : intro_text) s.clear();
  for (const TextEntry &e : kIntroText) intro_text[e.index] = e.text;
}

void draw_scene_frame() {
  update_horizon();
  shade_to_frame();
  update_discs();
  draw_discs();
  // Two separate tests: on the frame where typing completes a page, the
  // first hold step runs too.
  if (text_pages.text_phase == 0) type_page_step();
  if (text_pages.text_phase == 1) hold_page_step();
}

int intro_run() {
  scene_reset();
  text_pages_reset();
  random_reset();

  fill_intro_text();
  if (!music_start(asset_music, asset_music_size)) {
    print_line("Error loading song...");
    sleep_ms(kMusicErrorMs);
    return -1;
  }
  if (!display_open("VARN KOL", kScreenWidth, kScreenHeight)) {
    print_error("cannot open the display", display_error());
    return -1;
  }

  init_discs();
  build_shade_palette();
  load_font_picture();
  load_title_picture();
  load_logo_picture();
  draw_title_picture(0, 0);
  display_update(scene.frame_buffer);
  sleep_ms(kTitleMs);
  music_resume();

  while (!host_stop_requested()) {
    draw_scene_frame();
    display_update(scene.frame_buffer);
    if (is_escape(display_read_key())) break;
  }
  music_stop();

  for (int c = 0; !host_stop_requested();) {
    if (c < kBarFrames) draw_bar();
    draw_logo(kLogoX, kLogoY);
    if (++c == kClosingPeriod) c = 0;
    display_update(scene.frame_buffer);
    std::memset(scene.frame_buffer, 0, sizeof scene.frame_buffer);
    if (is_escape(display_read_key())) break;
  }
  // The screen mode, pointer and screen saver go back to the desktop.
  display_close();
  return 0;
}
