// The intro. Scene renderer and text pages: clipping and the protected
// colour, the shade ramp, the horizon, discs, pictures, glyphs, the
// typewriter and the page cycle, against values worked out by hand (or with
// a calculator) from their description. The driver end to end against the
// off-screen display, a virtual clock and a recording music stand-in;
// random numbers and the sleep rule; the varnkol-capture program on the
// same driver, its PNGs read back.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "assets/music_data.h"
#include "assets/pictures.h"
#include "audio/music.h"
#include "intro/driver.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"
#include "offscreen.h"

namespace {

// "start", "resume", "stop", each with the number of frames presented before it.
std::vector<std::pair<std::string, uint64_t>> music_calls;
bool music_start_result = true;
const void *music_file;
size_t music_size;

}  // namespace

extern "C" int music_start(const void *file, size_t size) {
  music_calls.push_back({"start", offscreen::frames_presented()});
  music_file = file;
  music_size = size;
  return music_start_result;
}
extern "C" void music_resume(void) {
  music_calls.push_back({"resume", offscreen::frames_presented()});
}
extern "C" void music_stop(void) { music_calls.push_back({"stop", offscreen::frames_presented()}); }

namespace {

constexpr uint32_t kSentinel = 0x123456;

void fill_frame(uint32_t v) {
  std::fill(std::begin(scene.frame_buffer), std::end(scene.frame_buffer), v);
}
uint32_t fb(int x, int y) { return scene.frame_buffer[y * 800 + x]; }
// Every pixel of the top `rows` rows against want(x, y).
template <class Want>
void expect_rows(int rows, Want want) {
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < 800; ++x) ASSERT_EQ(fb(x, y), want(x, y)) << x << "," << y;
}
uint32_t colour(const unsigned char *palette, int v) {
  return uint32_t(palette[3 * v]) << 16 | uint32_t(palette[3 * v + 1]) << 8 | palette[3 * v + 2];
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_reset();
    text_pages_reset();
    random_reset();
  }
};

TEST_F(SceneTest, PixelsClipAndTheKeyedOneKeepsTheProtectedColour) {
  fill_frame(kSentinel);
  for (int y = -2; y <= 601; ++y)
    for (int x = -2; x <= 801; ++x) put_pixel(x, y, 1);
  expect_rows(600, [](int x, int y) { return x % 799 && y % 599 ? 1u : kSentinel; });
  // The keyed pixel writes rows 0 and 599 too, but never columns 0 and 799
  // nor a pixel of the protected colour; rows outside are refused.
  fill_frame(kSentinel);
  scene.frame_buffer[300 * 800 + 400] = kProtectedColour;
  for (int y : {-100000, -1, 600})
    for (int x = 0; x < 800; ++x) put_pixel_keyed(x, y, 2);
  for (int y = 0; y < 600; ++y)
    for (int x = -2; x <= 801; ++x) put_pixel_keyed(x, y, 2);
  expect_rows(600, [](int x, int y) {
    return x == 400 && y == 300 ? kProtectedColour : x % 799 ? 2u : kSentinel;
  });
}

TEST_F(SceneTest, ShadeRampAndHorizonRows) {
  build_shade_palette();
  const std::pair<int, uint32_t> entries[] = {{0, 0x501030},   {10, 0x541031},  {40, 0x601335},
                                              {436, 0xFE326D}, {437, 0xFF336D}, {3999, 0xFFFFFF},
                                              {4000, 0},       {5000, 0}};
  for (auto [i, c] : entries) EXPECT_EQ(scene.shade_palette[i], c) << i;
  for (int i = 437; i < 4000; ++i) ASSERT_EQ(scene.shade_palette[i] >> 16, 0xFFu) << i;
  // The horizon: (frame, column, first row below it), with a calculator.
  const int cases[][3] = {{1, 0, 470},     {1, 400, 438},   {1, 799, 447},   {44, 480, 484},
                          {149, 457, 416}, {500, 157, 465}, {2000, 799, 426}};
  int frame = 0;
  for (const auto &c : cases) {
    while (frame < c[0]) update_horizon(), ++frame;
    shade_to_frame();
    for (int y = 0; y < 600; ++y)
      ASSERT_EQ(fb(c[1], y), y < c[2] ? 0x601335u : 0x541031u) << c[0] << ": " << c[1] << "," << y;
  }
}

TEST_F(SceneTest, DiscRowsAndClipping) {
  fill_frame(0);
  draw_disc(100, 100, 5);  // half-widths by hand: 0 3 4 5 5 5 5 5 4 3 0
  draw_disc(2, 300, 5);    // left end raised to column 0
  draw_disc(797, 200, 5);  // right end lowered to 799, so it stops at 798
  draw_disc(400, -3, 5);   // rows 0 and 1 only
  draw_disc(400, 598, 5);  // rows 593..599 (598 + 1: half-width 5)
  draw_disc(600, 300, 0);  // nothing
  const int w[] = {0, 3, 4, 5, 5, 5, 5, 5, 4, 3, 0};
  auto row = [](int y, int from, int to) {
    int first = -1, count = 0;
    for (int x = from; x < to; ++x)
      if (fb(x, y)) first = first < 0 ? x : first, ++count;
    return std::pair{first, count};
  };
  for (int dy = -6; dy <= 6; ++dy) {
    const int hw = std::abs(dy) > 5 ? 0 : w[dy + 5];
    EXPECT_EQ(row(100 + dy, 0, 800), (hw > 0 ? std::pair{100 - hw, 2 * hw - 1} : std::pair{-1, 0}))
        << dy;
  }
  EXPECT_EQ(row(300, 0, 20), (std::pair{0, 6}));
  EXPECT_EQ(row(200, 780, 800), (std::pair{792, 7}));
  EXPECT_EQ(row(0, 300, 500), (std::pair{396, 7}));
  EXPECT_EQ(row(1, 300, 500), (std::pair{397, 5}));
  EXPECT_EQ(row(599, 300, 500), (std::pair{395, 9}));
  for (int x = 0; x < 800; ++x) ASSERT_EQ(fb(x, 300) == kDiscColour, x <= 5) << x;
}

TEST_F(SceneTest, DiscTablesTakeFourRandomValuesEachInOrder) {
  std::vector<double> r;
  for (int i = 0; i < 4 * 200 + 4 * 50; ++i) r.push_back(random_unit());
  random_reset();
  init_discs();
  for (int i = 1; i <= 200; ++i) {
    const double *v = &r[(i - 1) * 4];
    ASSERT_EQ(scene.disc_y[i], 600);
    ASSERT_EQ(scene.disc_x[i], std::nearbyint(v[0] * 800)) << i;
    ASSERT_EQ(scene.disc_swing[i], std::nearbyint(v[1] * 20)) << i;
    ASSERT_EQ(scene.disc_rise[i], std::nearbyint(v[2] * 2)) << i;
    ASSERT_EQ(scene.disc_size[i], std::nearbyint(v[3] * 10 + 1)) << i;
  }
  // A disc that reached row 0 restarts with the smaller ranges.
  scene.scene_clock = 5000;
  for (int round = 0; round < 50; ++round) {
    for (int i = 1; i <= 10; ++i) scene.disc_y[i] = i == 1 ? 0 : 600;
    update_discs();
    const double *v = &r[800 + round * 4];
    ASSERT_EQ(scene.disc_y[1], 600);
    ASSERT_EQ(scene.disc_x[1], std::nearbyint(v[0] * 800));
    ASSERT_EQ(scene.disc_swing[1], std::nearbyint(v[1] * 10));
    ASSERT_EQ(scene.disc_rise[1], std::nearbyint(v[2] + 1));
    ASSERT_EQ(scene.disc_size[1], std::nearbyint(v[3] * 5 + 1));
    for (int i = 2; i <= 10; ++i) ASSERT_EQ(scene.disc_y[i], 599 - scene.disc_rise[i]) << i;
  }
}

TEST_F(SceneTest, DiscsEnterOneAfterAnother) {
  init_discs();
  for (int i = 1; i <= 20; ++i) {
    scene.disc_x[i] = 20 + 36 * i;
    scene.disc_swing[i] = 0;
    scene.disc_size[i] = 0;
    scene.disc_y[i] = 300;
  }
  // Disc i is drawn once the clock (a running sum of 1.2 per frame) passes
  // 80i + 50 and moves once it passes 80i + 100: worked out by hand, disc 1
  // is first drawn at frame 109 (130.8), disc 20 at 1375 (1650.00000000004),
  // and disc 1 moves from frame 151, disc 10 from 750.
  int first_drawn[21] = {}, first_moved[11] = {};
  for (int frame = 1; frame <= 1500; ++frame) {
    update_horizon();
    fill_frame(0);
    int before[11];
    for (int i = 1; i <= 10; ++i) before[i] = scene.disc_y[i];
    draw_discs();
    update_discs();
    for (int i = 1; i <= 20; ++i)
      if (!first_drawn[i] && fb(20 + 36 * i, i <= 10 ? before[i] : 300)) first_drawn[i] = frame;
    for (int i = 1; i <= 10; ++i)
      if (!first_moved[i] && scene.disc_y[i] != before[i]) first_moved[i] = frame;
  }
  EXPECT_EQ(first_drawn[1], 109);
  EXPECT_EQ(first_drawn[2], 176);
  EXPECT_EQ(first_drawn[20], 1375);
  EXPECT_EQ(first_moved[1], 151);
  EXPECT_EQ(first_moved[10], 750);
  for (int i = 11; i <= 20; ++i) EXPECT_EQ(scene.disc_y[i], 300) << "never moved: " << i;
}

TEST_F(SceneTest, PicturesTitleLogoAndBar) {
  load_title_picture();
  load_logo_picture();
  EXPECT_EQ(scene.logo.stride, 780);
  fill_frame(0);
  draw_title_picture(0, 0);
  expect_rows(600, [](int x, int y) {
    const bool inside = y >= 1 && x >= 2 && x <= 798;
    return inside ? colour(asset_title_palette, asset_title_pixels[800 * y + x]) : 0u;
  });
  fill_frame(kSentinel);
  scene.frame_buffer[40 * 800 + 400] = kProtectedColour;
  draw_logo(15, 10);
  expect_rows(100, [](int x, int y) {
    const bool inside = x >= 16 && x <= 787 && y >= 11 && y <= 84;
    return x == 400 && y == 40 ? kProtectedColour
           : inside ? colour(asset_logo_palette, asset_logo_pixels[780 * (y - 10) + x - 15])
                    : kSentinel;
  });
  fill_frame(kSentinel);
  draw_bar();
  expect_rows(100, [](int x, int y) {
    return x >= 1 && x <= 798 && y >= 1 && y <= 95 ? kBarColour : kSentinel;
  });
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

TEST_F(SceneTest, TextGlyphCellsAndShadow) {
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

TEST_F(SceneTest, TextTypingStartsAfterTheClockPasses150AndShows21Then25Characters) {
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

TEST_F(SceneTest, TextPageCycle) {
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

constexpr uint16_t kEsc = 27;

// Fifteen-bit values (the same in every run: the disc tables' test).
TEST(Random, FifteenBitValues) {
  random_reset();
  std::set<double> seen;
  for (int i = 0; i < 100000; ++i) seen.insert(random_unit() * 32768);
  EXPECT_GT(seen.size(), 30000u);
  for (double k : seen) ASSERT_TRUE(k >= 0 && k < 32768 && k == std::floor(k)) << k;
}

TEST(Sleep, LongSleepsEndAtTheFirst50MsStepAfterAConsoleKey) {
  const uint64_t never = ~uint64_t{0};
  const struct {
    uint32_t ms;
    uint64_t key_at, slept;
  } cases[] = {{99, 0, 99},     {100, 0, 0},        {6000, never, 6000}, {6000, 50, 50},
               {6000, 51, 100}, {6000, 1234, 1250}, {130, never, 130},   {3000, 2999, 3000}};
  for (const auto &c : cases) {
    offscreen::reset();
    offscreen::set_console_key_at(c.key_at);
    sleep_ms(c.ms);
    EXPECT_EQ(offscreen::clock_ms(), c.slept) << c.ms << " key at " << c.key_at;
  }
}

class DriverTest : public ::testing::Test {
 protected:
  // Per presented frame: the clock and the bar, logo and middle pixels; the
  // whole of frames 1 and 2.
  std::vector<uint64_t> clock_at;
  std::vector<std::array<uint32_t, 3>> probes;
  std::vector<uint32_t> frames[3];
  void SetUp() override {
    offscreen::reset();
    music_calls.clear();
    music_start_result = true;
    clock_at.clear();
    probes.clear();
    offscreen::set_frame_hook([this](uint64_t f, const uint32_t *px) {
      clock_at.push_back(offscreen::clock_ms());
      probes.push_back({px[50 * 800 + 5], px[40 * 800 + 400], px[300 * 800 + 400]});
      if (f < 3) frames[f].assign(px, px + kScreenPixels);
    });
    offscreen::set_frame_limit(2000, [] {  // a driver that never ends
      std::fputs("driver did not end\n", stderr);
      std::_Exit(99);
    });
  }
  // Runs the intro with keys pressed in the window at the given frames.
  int run(std::vector<std::pair<uint64_t, uint16_t>> keys, uint64_t console_key_at = ~0ull) {
    for (auto [frame, code] : keys) offscreen::schedule_key(frame, code);
    offscreen::set_console_key_at(console_key_at);
    return intro_run();
  }
};

TEST_F(DriverTest, TitleSceneAndClosingEndedByEscapes) {
  const struct {
    std::vector<std::pair<uint64_t, uint16_t>> keys;
    uint64_t console_key_at, title_ms, stop_frame, frames;
  } cases[] = {
      // One scene frame, one closing frame; the title takes its 6 s.
      {{{1, kEsc}, {2, kEsc}}, ~0ull, 6000, 2, 3},
      // ESC during the title neither shortens it nor lets a second scene
      // frame pass; a console key does shorten it.
      {{{0, kEsc}, {2, kEsc}}, 1234, 1250, 2, 3},
      // Keys are read one per frame; only ESC counts, not 'a', Up or F1.
      {{{0, 'a'}, {0, 257}, {0, 267}, {0, kEsc}, {5, kEsc}}, ~0ull, 6000, 5, 6},
      // ESC held down: the closing loop may end on its first frame.
      {{{0, kEsc}, {0, kEsc}}, ~0ull, 6000, 2, 3},
  };
  for (const auto &c : cases) {
    SetUp();
    ASSERT_EQ(run(c.keys, c.console_key_at), 0);
    ASSERT_EQ(clock_at.size(), c.frames);
    EXPECT_EQ(clock_at[1], c.title_ms);
    EXPECT_EQ(music_calls,
              (decltype(music_calls){{"start", 0}, {"resume", 1}, {"stop", c.stop_frame}}));
    EXPECT_EQ(music_file, asset_music);
    EXPECT_EQ(music_size, 51464u);
    EXPECT_EQ(std::string(offscreen::open_title()) + std::to_string(offscreen::open_width()) + "x" +
                  std::to_string(offscreen::open_height()),
              "VARN KOL800x600");
    EXPECT_FALSE(offscreen::is_open()) << "the screen is given back at the end";
  }
}

TEST_F(DriverTest, ClosingFramesShowTheBlinkingBarAndTheLogo) {
  ASSERT_EQ(run({{0, kEsc}, {2 + 620, kEsc}}), 0);
  ASSERT_EQ(probes.size(), 623u);
  // The first closing frame is drawn over the last scene frame: below the
  // bar and in column 0 it still shows.
  for (int i = 96 * 800; i < kScreenPixels; ++i) ASSERT_EQ(frames[2][i], frames[1][i]) << i;
  EXPECT_EQ(frames[2][50 * 800], frames[1][50 * 800]);
  EXPECT_EQ(frames[1][300 * 800 + 400], 0x601335u);
  const unsigned char *logo = asset_logo_palette + 3 * asset_logo_pixels[780 * 30 + 385];
  for (int i = 0; i <= 620; ++i) {
    const auto [bar, logo_pixel, middle] = probes[2 + i];
    EXPECT_EQ(bar, i % 300 < 150 ? kBarColour : 0u) << "closing frame " << i;
    EXPECT_EQ(logo_pixel, uint32_t(logo[0] << 16 | logo[1] << 8 | logo[2])) << i;
    EXPECT_TRUE(i == 0 || middle == 0) << i;
  }
}

TEST_F(DriverTest, StartUpFailuresEndWithMinusOne) {
  music_start_result = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({}), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error loading song...\n");
  EXPECT_EQ(offscreen::clock_ms(), 3000u);
  EXPECT_FALSE(offscreen::is_open());
  SetUp();
  offscreen::set_open_result(false);
  EXPECT_EQ(run({}), -1);
  EXPECT_EQ(offscreen::clock_ms() + offscreen::frames_presented(), 0u);
  EXPECT_EQ(music_calls.size(), 1u);  // started, never resumed
}

namespace fs = std::filesystem;

TEST(Capture, WritesTheListedFramesAndEndsWithTheIntrosStatus) {
  const fs::path dir = fs::temp_directory_path() / ("varnkol-capture-" + std::to_string(getpid()));
  auto run = [&](const std::string &args) {
    const std::string cmd = std::string(CAPTURE_TOOL) + " --out " + dir.string() + " " + args;
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  // Frame n as 0x00RRGGBB pixels; empty unless an 800x600 PNG.
  auto frame = [&](int n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", n);
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    std::vector<png_byte> rgb(800 * 600 * 3);
    std::vector<uint32_t> px;
    if (!png_image_begin_read_from_file(&img, (dir / name).c_str()) || img.width != 800 ||
        img.height != 600)
      return px;
    img.format = PNG_FORMAT_RGB;
    if (png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr))
      for (size_t i = 0; i < rgb.size(); i += 3)
        px.push_back(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return px;
  };
  ASSERT_EQ(run("--frames 0,2-3,9 --keys 0:Esc,3:ESC"), 0);
  // Frame 9 never came: the second ESC ended the run at frame 3.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
  const std::vector<uint32_t> title = frame(0), closing = frame(3);
  ASSERT_FALSE(title.empty() || frame(2).empty() || closing.empty());
  const unsigned char *c = asset_title_palette + 3 * asset_title_pixels[800 * 300 + 400];
  EXPECT_EQ(title[300 * 800 + 400], uint32_t(c[0] << 16 | c[1] << 8 | c[2]));
  EXPECT_EQ(title[0], 0u);
  EXPECT_EQ(closing[50 * 800 + 5], 0xF71F00u);  // the bar of the second closing frame
  EXPECT_EQ(closing[300 * 800 + 400], 0u);

  fs::remove_all(dir);
  EXPECT_EQ(run("--frames 4,5 --max-frames 5"), 3);
  EXPECT_FALSE(frame(4).empty());
  EXPECT_FALSE(fs::exists(dir / "frame-000005.png"));
  for (const char *bad : {"--keys 3:nosuchkey", "--frames 5-2", "--max-frames 0", "--bogus"})
    EXPECT_EQ(run(bad), 2) << bad;
  fs::remove_all(dir);
}

}  // namespace
