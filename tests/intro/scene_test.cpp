// Scene renderer: clipping and the protected colour, the shade ramp, the
// horizon, discs and pictures, against values worked out by hand (or with a
// calculator) from the scene's description.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/pictures.h"
#include "intro/runtime.h"
#include "intro/scene.h"

namespace {

constexpr uint32_t kSentinel = 0x123456;

void fill_frame(uint32_t v) {
  std::fill(std::begin(scene.frame_buffer), std::end(scene.frame_buffer), v);
}
uint32_t fb(int x, int y) { return scene.frame_buffer[y * 800 + x]; }
uint32_t colour(const unsigned char *palette, int v) {
  return uint32_t(palette[3 * v]) << 16 | uint32_t(palette[3 * v + 1]) << 8 | palette[3 * v + 2];
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_reset();
    random_reset();
  }
};

TEST_F(SceneTest, PixelsClipAndTheKeyedOneKeepsTheProtectedColour) {
  const int xs[] = {-1, 0, 1, 400, 798, 799, 800}, ys[] = {-1, 0, 1, 300, 598, 599, 600};
  auto probed = [](int x, int y) {
    return (x <= 1 || x == 400 || x >= 798) && (y <= 1 || y == 300 || y >= 598);
  };
  fill_frame(kSentinel);
  for (int y : ys)
    for (int x : xs) put_pixel(x, y, 0xABCDEF);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool inner = x >= 1 && x <= 798 && y >= 1 && y <= 598;
      ASSERT_EQ(fb(x, y), inner && probed(x, y) ? 0xABCDEFu : kSentinel) << x << "," << y;
    }
  // The keyed pixel writes rows 0 and 599 too, but never columns 0 and 799
  // nor a pixel of the protected colour; rows outside are refused.
  fill_frame(kSentinel);
  scene.frame_buffer[300 * 800 + 400] = kProtectedColour;
  for (int y : {-100000, -1, 0, 300, 599, 600})
    for (int x : xs) put_pixel_keyed(x, y, 7);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool written = x >= 1 && x <= 798 && (y == 0 || y == 300 || y == 599) && probed(x, y);
      const uint32_t want = x == 400 && y == 300 ? kProtectedColour : written ? 7 : kSentinel;
      ASSERT_EQ(fb(x, y), want) << x << "," << y;
    }
}

TEST_F(SceneTest, ShadeRamp) {
  build_shade_palette();
  const std::pair<int, uint32_t> entries[] = {{0, 0x501030},   {10, 0x541031},  {40, 0x601335},
                                              {436, 0xFE326D}, {437, 0xFF336D}, {3999, 0xFFFFFF},
                                              {4000, 0},       {5000, 0}};
  for (auto [i, c] : entries) EXPECT_EQ(scene.shade_palette[i], c) << i;
  for (int i = 437; i < 4000; ++i) ASSERT_EQ(scene.shade_palette[i] >> 16, 0xFFu) << i;
}

TEST_F(SceneTest, HorizonRows) {
  build_shade_palette();
  // (frame, column, first row below the horizon), with a calculator.
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
  EXPECT_EQ(row(2, 300, 500), (std::pair{-1, 0}));
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

TEST_F(SceneTest, DiscsEnterOneAfterAnotherAndRiseToRowZero) {
  init_discs();
  for (int i = 1; i <= 20; ++i) {
    scene.disc_x[i] = 20 + 36 * i;
    scene.disc_swing[i] = 0;
    scene.disc_size[i] = 0;
    scene.disc_y[i] = 300;
  }
  scene.disc_rise[1] = 2;
  // Disc i is drawn once the clock (a running sum of 1.2 per frame) passes
  // 80i + 50 and moves once it passes 80i + 100: worked out by hand, disc 1
  // is first drawn at frame 109 (130.8), disc 20 at 1375 (1650.00000000004),
  // and disc 1 moves from frame 151, disc 10 from 750.
  int first_drawn[21] = {}, first_moved[11] = {}, rows_to_zero = 0;
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
    if (first_moved[1] && !rows_to_zero && scene.disc_y[1] == 0)
      rows_to_zero = frame - first_moved[1] + 1;
  }
  EXPECT_EQ(first_drawn[1], 109);
  EXPECT_EQ(first_drawn[2], 176);
  EXPECT_EQ(first_drawn[20], 1375);
  EXPECT_EQ(first_moved[1], 151);
  EXPECT_EQ(first_moved[10], 750);
  EXPECT_EQ(rows_to_zero, 100);  // 300 rows, 3 per frame
  for (int i = 11; i <= 20; ++i) EXPECT_EQ(scene.disc_y[i], 300) << "never moved: " << i;
}

TEST_F(SceneTest, PicturesTitleLogoAndBar) {
  uint8_t bytes[16], pal[768];
  for (int i = 0; i < 16; ++i) bytes[i] = uint8_t(i);
  for (int i = 0; i < 768; ++i) pal[i] = uint8_t(i * 7);
  Picture pic;
  load_picture(pic, bytes, 5, 2, pal);
  EXPECT_EQ(pic.stride, 8);
  EXPECT_EQ(pic.pixels, std::vector<int32_t>(bytes, bytes + 16));
  EXPECT_EQ(pic.colour(3), colour(pal, 3));

  load_title_picture();
  load_logo_picture();
  EXPECT_EQ(scene.logo.stride, 780);
  fill_frame(0);
  draw_title_picture(0, 0);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool inside = y >= 1 && x >= 2 && x <= 798;
      ASSERT_EQ(fb(x, y),
                inside ? colour(asset_title_palette, asset_title_pixels[800 * y + x]) : 0u)
          << x << "," << y;
    }
  fill_frame(kSentinel);
  scene.frame_buffer[40 * 800 + 400] = kProtectedColour;
  draw_logo(15, 10);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool inside = x >= 16 && x <= 787 && y >= 11 && y <= 84;
      const uint32_t want =
          x == 400 && y == 40 ? kProtectedColour
          : inside ? colour(asset_logo_palette, asset_logo_pixels[780 * (y - 10) + x - 15])
                   : kSentinel;
      ASSERT_EQ(fb(x, y), want) << x << "," << y;
    }
  fill_frame(kSentinel);
  draw_bar();
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 800; ++x)
      ASSERT_EQ(fb(x, y), x >= 1 && x <= 798 && y >= 1 && y <= 95 ? kBarColour : kSentinel)
          << x << "," << y;
}

}  // namespace
