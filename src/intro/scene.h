// The scene renderer: the intro's frame buffer and every drawing operation
// except the text. One instance (module state), advanced once per frame.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kScreenWidth = 800;
inline constexpr int kScreenHeight = 600;
inline constexpr int kScreenPixels = kScreenWidth * kScreenHeight;

inline constexpr int kShadePaletteSize = 5001;  // entries 0..5000
inline constexpr int kShadeRampSize = 4000;     // entries filled by the ramp
inline constexpr int kDiscCount = 200;          // disc tables use 1..200

inline constexpr uint32_t kBarColour = 0xF71F00;
inline constexpr uint32_t kDiscColour = 0x541031;
inline constexpr uint32_t kProtectedColour = 0x06305F;  // kept by put_pixel_keyed

// Shade indices of the two halves of the horizon.
inline constexpr uint32_t kShadeAbove = 40;
inline constexpr uint32_t kShadeBelow = 10;

// A palettised picture after loading: one integer per stored byte, rows of
// `stride` entries, and its palette split into three channel tables.
struct Picture {
  int stride = 0;
  int height = 0;
  std::vector<int32_t> pixels;
  int32_t red[256] = {};
  int32_t green[256] = {};
  uint16_t blue[256] = {};

  uint32_t colour(int32_t v) const {
    return static_cast<uint32_t>(red[v] * 65536 + green[v] * 256 + blue[v]);
  }
};

// Expands `width` x `height` bytes (rows padded to a multiple of 4) and the
// 768-byte palette (red, green, blue per index) into `pic`.
void load_picture(Picture &pic, const uint8_t *bytes, int width, int height,
                  const uint8_t *palette);

struct SceneState {
  uint32_t frame_buffer[kScreenPixels];
  uint32_t shade_buffer[kScreenPixels];
  uint32_t shade_palette[kShadePaletteSize];
  double scene_clock;
  double wave_clock;
  int32_t disc_x[kDiscCount + 1];
  int32_t disc_y[kDiscCount + 1];
  int32_t disc_swing[kDiscCount + 1];
  int32_t disc_rise[kDiscCount + 1];
  int32_t disc_size[kDiscCount + 1];
  Picture title;
  Picture logo;
};

// The one scene of the program.
extern SceneState scene;

// Puts every field back to its start-of-run value (all zero, no pictures).
void scene_reset();

void put_pixel(int32_t x, int32_t y, uint32_t colour);
void put_pixel_keyed(int32_t x, int32_t y, uint32_t colour);

void build_shade_palette();
void load_title_picture();
void load_logo_picture();
void draw_title_picture(int32_t ox, int32_t oy);
void draw_logo(int32_t ox, int32_t oy);
void draw_bar();

void update_horizon();
void shade_to_frame();

void init_discs();
void update_discs();
void draw_discs();
void draw_disc(int32_t cx, int32_t cy, int32_t r);
