// Scene renderer: clipping, keyed pixels, the shade ramp, the horizon, discs
// and pictures, checked against values derived by hand or recomputed here.
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

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_reset();
    random_reset();
  }
};

TEST_F(SceneTest, PutPixelWritesOnlyInsideTheInnerRectangle) {
  const int xs[] = {-5, -1, 0, 1, 2, 400, 797, 798, 799, 800, 900};
  const int ys[] = {-5, -1, 0, 1, 2, 300, 597, 598, 599, 600, 700};
  fill_frame(kSentinel);
  for (int y : ys)
    for (int x : xs) put_pixel(x, y, 0xABCDEF);
  for (int y : ys)
    for (int x : xs) {
      if (x < 0 || x > 799 || y < 0 || y > 599) continue;
      const bool inside = x >= 1 && x <= 798 && y >= 1 && y <= 598;
      EXPECT_EQ(fb(x, y), inside ? 0xABCDEFu : kSentinel) << x << "," << y;
    }
}

TEST_F(SceneTest, KeyedPixelSkipsEdgeColumnsAndTheProtectedColour) {
  fill_frame(kSentinel);
  for (int y : {0, 1, 300, 598, 599})
    for (int x : {-1, 0, 1, 400, 798, 799, 800}) put_pixel_keyed(x, y, 0x00FF00);
  for (int y : {0, 1, 300, 598, 599}) {
    EXPECT_EQ(fb(0, y), kSentinel);
    EXPECT_EQ(fb(799, y), kSentinel);
    // Rows are not clipped like put_pixel's: rows 0 and 599 are written.
    EXPECT_EQ(fb(1, y), 0x00FF00u);
    EXPECT_EQ(fb(400, y), 0x00FF00u);
    EXPECT_EQ(fb(798, y), 0x00FF00u);
  }
  scene.frame_buffer[200 * 800 + 200] = kProtectedColour;
  put_pixel_keyed(200, 200, 0xFFFFFF);
  put_pixel_keyed(200, 200, 0);
  EXPECT_EQ(fb(200, 200), kProtectedColour);
  // Rows outside the buffer are refused instead of written out of bounds.
  fill_frame(kSentinel);
  put_pixel_keyed(10, -1, 1);
  put_pixel_keyed(10, 600, 1);
  put_pixel_keyed(10, -100000, 1);
  for (uint32_t p : scene.frame_buffer) ASSERT_EQ(p, kSentinel);
}

TEST_F(SceneTest, ShadePaletteRampValues) {
  build_shade_palette();
  EXPECT_EQ(scene.shade_palette[0], 0x501030u);
  EXPECT_EQ(scene.shade_palette[10], 0x541031u);
  EXPECT_EQ(scene.shade_palette[40], 0x601335u);
  // Red: 80 + 0.4 * 437 = 254.8 at entry 436, clamped to 255 at entry 437.
  EXPECT_EQ(scene.shade_palette[436], 0xFE326Du);
  EXPECT_EQ(scene.shade_palette[437], 0xFF336Du);
  for (int i = 437; i < 4000; ++i) EXPECT_EQ(scene.shade_palette[i] >> 16, 0xFFu) << i;
  EXPECT_EQ(scene.shade_palette[3999], 0xFFFFFFu);
  for (int i = 4000; i <= 5000; ++i) EXPECT_EQ(scene.shade_palette[i], 0u) << i;
}

TEST_F(SceneTest, HorizonRowOfEveryColumn) {
  build_shade_palette();
  double sc = 0, wc = 0;
  const int checks[] = {1, 2, 37, 500, 3001};
  int frame = 0;
  for (int target : checks) {
    while (frame < target) {
      update_horizon();
      sc += 1.2;
      wc += 3.2;
      ++frame;
    }
    shade_to_frame();
    for (int x = 0; x < 800; ++x) {
      const int h = static_cast<int>(
          std::nearbyint(std::sin(sc / 40) * 14 + std::cos((wc + x) / 100) * 20 + 450));
      ASSERT_GE(h, 416);
      ASSERT_LE(h, 484);
      for (int y = 0; y < 600; ++y) {
        const bool above = y < h;
        ASSERT_EQ(scene.shade_buffer[y * 800 + x], above ? 40u : 10u)
            << "frame " << frame << " x " << x << " y " << y;
        ASSERT_EQ(fb(x, y), above ? 0x601335u : 0x541031u);
      }
    }
  }
  EXPECT_DOUBLE_EQ(scene.scene_clock, sc);
  EXPECT_DOUBLE_EQ(scene.wave_clock, wc);
}

// Widths of the rows of a disc of radius 5, by hand: w = round(sqrt(25 - dy^2))
// is 0,3,4,5,5,5,5,5,4,3,0 and a row holds 2w - 1 pixels from cx - w.
TEST_F(SceneTest, DiscRowsAndWidths) {
  fill_frame(0);
  draw_disc(100, 100, 5);
  const int w[] = {0, 3, 4, 5, 5, 5, 5, 5, 4, 3, 0};
  for (int dy = -7; dy <= 7; ++dy) {
    int count = 0, first = -1;
    for (int x = 0; x < 800; ++x)
      if (fb(x, 100 + dy) != 0) {
        EXPECT_EQ(fb(x, 100 + dy), kDiscColour);
        if (first < 0) first = x;
        ++count;
      }
    const int expect = (dy < -5 || dy > 5) ? 0 : std::max(0, 2 * w[dy + 5] - 1);
    EXPECT_EQ(count, expect) << "dy " << dy;
    if (expect > 0) {
      EXPECT_EQ(first, 100 - w[dy + 5]) << "dy " << dy;
    }
  }
  fill_frame(0);
  draw_disc(300, 300, 0);
  for (uint32_t p : scene.frame_buffer) ASSERT_EQ(p, 0u);
}

TEST_F(SceneTest, DiscClipsAtTheEdges) {
  fill_frame(0);
  draw_disc(2, 300, 5);  // x0 raised to 0, x1 = 6: columns 0..5
  for (int x = 0; x < 10; ++x) EXPECT_EQ(fb(x, 300), x <= 5 ? kDiscColour : 0u) << x;
  draw_disc(797, 200, 5);  // x1 lowered to 799: columns 792..798, never 799
  for (int x = 785; x < 800; ++x)
    EXPECT_EQ(fb(x, 200), (x >= 792 && x <= 798) ? kDiscColour : 0u) << x;
  fill_frame(0);
  draw_disc(400, -3, 5);  // rows 0 (w 4) and 1 (w 3) only
  int row0 = 0, row1 = 0, row2 = 0;
  for (int x = 0; x < 800; ++x) {
    row0 += fb(x, 0) != 0;
    row1 += fb(x, 1) != 0;
    row2 += fb(x, 2) != 0;
  }
  EXPECT_EQ(row0, 7);
  EXPECT_EQ(row1, 5);
  EXPECT_EQ(row2, 0);
  draw_disc(400, 598, 5);  // rows 600..603 are skipped
  EXPECT_EQ(fb(400, 599), kDiscColour);
}

TEST_F(SceneTest, InitDiscsDrawsFourValuesPerDiscInOrder) {
  std::vector<double> r;
  for (int i = 0; i < 12; ++i) r.push_back(random_unit());
  random_reset();
  init_discs();
  for (int i = 1; i <= 3; ++i) {
    const double *v = &r[(i - 1) * 4];
    EXPECT_EQ(scene.disc_y[i], 600);
    EXPECT_EQ(scene.disc_x[i], std::nearbyint(v[0] * 800));
    EXPECT_EQ(scene.disc_swing[i], std::nearbyint(v[1] * 20));
    EXPECT_EQ(scene.disc_rise[i], std::nearbyint(v[2] * 2));
    EXPECT_EQ(scene.disc_size[i], std::nearbyint(v[3] * 10 + 1));
  }
  for (int i = 1; i <= 200; ++i) {
    EXPECT_GE(scene.disc_rise[i], 0);
    EXPECT_LE(scene.disc_rise[i], 2);
    EXPECT_GE(scene.disc_size[i], 1);
    EXPECT_LE(scene.disc_size[i], 11);
  }
}

// Values number `skip` onwards of the never-seeded sequence, leaving the
// generator where it was (`skip` values drawn).
std::vector<double> sequence_at(int skip, int n) {
  random_reset();
  for (int k = 0; k < skip; ++k) random_unit();
  std::vector<double> v;
  for (int k = 0; k < n; ++k) v.push_back(random_unit());
  random_reset();
  for (int k = 0; k < skip; ++k) random_unit();
  return v;
}

TEST_F(SceneTest, DiscRestartUsesTheSmallerRanges) {
  init_discs();
  int drawn = 4 * 200;
  scene.scene_clock = 5000;
  for (int round = 0; round < 300; ++round) {
    for (int i = 1; i <= 10; ++i) scene.disc_y[i] = 600;
    scene.disc_y[1] = 0;
    const std::vector<double> r = sequence_at(drawn, 4);
    update_discs();
    drawn += 4;
    EXPECT_EQ(scene.disc_y[1], 600);
    EXPECT_EQ(scene.disc_x[1], std::nearbyint(r[0] * 800));
    EXPECT_EQ(scene.disc_swing[1], std::nearbyint(r[1] * 10));
    EXPECT_EQ(scene.disc_rise[1], std::nearbyint(r[2] + 1));
    EXPECT_EQ(scene.disc_size[1], std::nearbyint(r[3] * 5 + 1));
    EXPECT_LE(scene.disc_swing[1], 10);
    EXPECT_GE(scene.disc_rise[1], 1);
    EXPECT_LE(scene.disc_rise[1], 2);
    EXPECT_GE(scene.disc_size[1], 1);
    EXPECT_LE(scene.disc_size[1], 6);
    // The others only rose, by their rise plus one.
    for (int i = 2; i <= 10; ++i) EXPECT_EQ(scene.disc_y[i], 600 - scene.disc_rise[i] - 1);
  }
}

TEST_F(SceneTest, MovingDiscReachesRowZeroThenRestarts) {
  init_discs();
  scene.scene_clock = 5000;
  scene.disc_rise[1] = 2;  // 3 rows per frame
  int frames = 0;
  while (scene.disc_y[1] != 0 && frames < 1000) {
    update_discs();
    ++frames;
  }
  EXPECT_EQ(frames, 200);
  update_discs();
  EXPECT_EQ(scene.disc_y[1], 600);
}

TEST_F(SceneTest, DiscsEnterOneAfterAnother) {
  init_discs();
  for (int i = 1; i <= 20; ++i) {
    scene.disc_x[i] = 20 + 36 * i;
    scene.disc_swing[i] = 0;
    scene.disc_size[i] = 0;  // radius 4
    scene.disc_y[i] = 300;
  }
  // First frame at which disc i is drawn (clock > 80i + 50) and moved
  // (clock > 80i + 100), from a clock accumulated here.
  int first_drawn[21] = {}, first_moved[11] = {};
  double clock = 0;
  for (int frame = 1; frame <= 1500; ++frame) {
    clock += 1.2;
    update_horizon();
    fill_frame(0);
    draw_discs();
    for (int i = 1; i <= 20; ++i) {
      const bool drawn = fb(20 + 36 * i, 300) == kDiscColour;
      EXPECT_EQ(drawn, clock > 80 * i + 50) << "disc " << i << " frame " << frame;
      if (drawn && !first_drawn[i]) first_drawn[i] = frame;
    }
  }
  // The clock is a running sum of 1.2, so it is not exactly 1.2 * frame:
  // after 175 frames it is just below 210, after 1375 just above 1650.
  EXPECT_EQ(first_drawn[1], 109);    // 130.8 > 130
  EXPECT_EQ(first_drawn[2], 176);    // 211.2 > 210
  EXPECT_EQ(first_drawn[20], 1375);  // 1650.00000000004 > 1650

  scene_reset();
  random_reset();
  init_discs();
  clock = 0;
  for (int frame = 1; frame <= 1500; ++frame) {
    clock += 1.2;
    update_horizon();
    const int before[11] = {0,
                            scene.disc_y[1],
                            scene.disc_y[2],
                            scene.disc_y[3],
                            scene.disc_y[4],
                            scene.disc_y[5],
                            scene.disc_y[6],
                            scene.disc_y[7],
                            scene.disc_y[8],
                            scene.disc_y[9],
                            scene.disc_y[10]};
    update_discs();
    for (int i = 1; i <= 10; ++i)
      if (!first_moved[i] && scene.disc_y[i] != before[i]) first_moved[i] = frame;
  }
  EXPECT_EQ(first_moved[1], 151);   // after 150 frames the sum is just below 180
  EXPECT_EQ(first_moved[10], 750);  // 900.00000000001 > 900
  for (int i = 11; i <= 20; ++i) EXPECT_EQ(scene.disc_y[i], 600) << i;
}

TEST_F(SceneTest, PictureLoadingRoundsTheStrideAndSplitsThePalette) {
  uint8_t bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(i);
  uint8_t pal[768] = {};
  for (int v = 0; v < 256; ++v) {
    pal[3 * v] = static_cast<uint8_t>(v);
    pal[3 * v + 1] = static_cast<uint8_t>(255 - v);
    pal[3 * v + 2] = static_cast<uint8_t>(v ^ 0x5A);
  }
  Picture pic;
  load_picture(pic, bytes, 5, 2, pal);
  EXPECT_EQ(pic.stride, 8);
  EXPECT_EQ(pic.height, 2);
  ASSERT_EQ(pic.pixels.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(pic.pixels[i], i);
  EXPECT_EQ(pic.colour(3), 0x03FC59u);
  EXPECT_EQ(pic.colour(255), 0xFF00A5u);
}

TEST_F(SceneTest, TitleCoversRowsOneUpAndColumnsTwoTo798) {
  load_title_picture();
  EXPECT_EQ(scene.title.stride, 800);
  draw_title_picture(0, 0);
  auto title_colour = [](int x, int y) {
    const int v = asset_title_pixels[800 * y + x];
    return static_cast<uint32_t>(asset_title_palette[3 * v] << 16 |
                                 asset_title_palette[3 * v + 1] << 8 |
                                 asset_title_palette[3 * v + 2]);
  };
  for (int x = 0; x < 800; ++x) EXPECT_EQ(fb(x, 0), 0u);
  for (int y = 0; y < 600; ++y) {
    EXPECT_EQ(fb(0, y), 0u);
    EXPECT_EQ(fb(1, y), 0u);
    EXPECT_EQ(fb(799, y), 0u);
  }
  for (int y = 1; y < 600; y += 7)
    for (int x = 2; x <= 798; x += 5) ASSERT_EQ(fb(x, y), title_colour(x, y)) << x << "," << y;
}

TEST_F(SceneTest, LogoAndBarAreas) {
  load_logo_picture();
  EXPECT_EQ(scene.logo.stride, 780);
  fill_frame(kSentinel);
  scene.frame_buffer[40 * 800 + 400] = kProtectedColour;
  draw_logo(15, 10);
  auto logo_colour = [](int x, int y) {
    const int v = asset_logo_pixels[780 * y + x];
    return static_cast<uint32_t>(asset_logo_palette[3 * v] << 16 |
                                 asset_logo_palette[3 * v + 1] << 8 |
                                 asset_logo_palette[3 * v + 2]);
  };
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool inside = x >= 16 && x <= 787 && y >= 11 && y <= 84;
      if (x == 400 && y == 40) {
        ASSERT_EQ(fb(x, y), kProtectedColour);
      } else {
        ASSERT_EQ(fb(x, y), inside ? logo_colour(x - 15, y - 10) : kSentinel) << x << "," << y;
      }
    }
  fill_frame(kSentinel);
  draw_bar();
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 800; ++x) {
      const bool inside = x >= 1 && x <= 798 && y >= 1 && y <= 95;
      ASSERT_EQ(fb(x, y), inside ? kBarColour : kSentinel) << x << "," << y;
    }
}

}  // namespace
