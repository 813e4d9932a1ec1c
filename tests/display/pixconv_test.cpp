// Row converters: every layout and implementation against a reference built
// from the layout's masks alone, at every width 0-40, misaligned, with
// canaries around the row; known colours; which formats get a converter.
#include "display/pixconv.h"
#include "display/screen_mode.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

namespace {

// The destination bytes of one pixel from the layout's bit count and masks:
// each 8-bit channel keeps its top bits; the plain copy keeps the top byte.
std::vector<uint8_t> reference(const pixconv::Layout &l, uint32_t p) {
  auto place = [](uint32_t ch, uint32_t mask) {
    return (ch >> (8 - std::popcount(mask))) << std::countr_zero(mask);
  };
  uint32_t v = place(p >> 16 & 0xFF, l.red_mask) | place(p >> 8 & 0xFF, l.green_mask) |
               place(p & 0xFF, l.blue_mask);
  if (l.bits == 32 && l.red_mask == 0xFF0000) v = p;
  std::vector<uint8_t> out;
  for (int i = 0; i < l.bits / 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
  return out;
}

TEST(PixConv, EveryLayoutImplementationAndWidthMatchesItsMasks) {
  const uint32_t edges[] = {0,          0x00FFFFFF, 0xFFFFFFFF, 0x00F71F00,
                            0xFF000000, 0x00070307, 0x00F8FCF8, 0x80808080};
  std::mt19937 rng(1234);
  for (size_t li = 0; li < pixconv::layout_count; ++li) {
    const pixconv::Layout &l = pixconv::layouts()[li];
    const size_t bpp = size_t(l.bits / 8);
    for (size_t width = 0; width <= 40; ++width) {
      std::vector<uint32_t> src(width);
      for (size_t x = 0; x < width; ++x)
        src[x] = x % 3 ? uint32_t(rng()) : edges[(x / 3 + width) % std::size(edges)];
      for (auto conv : {l.per_pixel, l.grouped, l.fastest})
        for (size_t misalign : {0, 1, 3}) {
          std::vector<uint8_t> buf(16 + misalign + width * bpp + 16, 0xA5);
          conv(src.data(), buf.data() + 16 + misalign, width);
          std::vector<uint8_t> want(16 + misalign, 0xA5);
          for (uint32_t p : src)
            for (uint8_t b : reference(l, p)) want.push_back(b);
          want.resize(buf.size(), 0xA5);
          ASSERT_EQ(buf, want) << l.name << " width " << width << " misalign " << misalign;
        }
    }
  }
}

TEST(PixConv, KnownColours) {
  struct {
    int bits;
    uint32_t r, g, b, src, want;
  } cases[] = {
      {16, 0xF800, 0x7E0, 0x1F, 0xFFFFFF, 0xFFFF},
      {16, 0x1F, 0x7E0, 0xF800, 0xFFFFFF, 0xFFFF},
      {16, 0x7C00, 0x3E0, 0x1F, 0xFFFFFFFF, 0x7FFF},
      {16, 0x1F, 0x3E0, 0x7C00, 0xFFFFFF, 0x7FFF},
      {16, 0xF800, 0x7E0, 0x1F, 0xF71F00, 0xF0E0},
      {16, 0x1F, 0x7E0, 0xF800, 0xF71F00, 0x00FE},
      {32, 0xFF0000, 0xFF00, 0xFF, 0xAB123456, 0xAB123456},
      {32, 0xFF, 0xFF00, 0xFF0000, 0xAB123456, 0x563412},
      {24, 0xFF, 0xFF00, 0xFF0000, 0x00112233, 0x332211},  // bytes 11 22 33
  };
  for (const auto &c : cases) {
    const uint32_t src[9] = {c.src, c.src, c.src, c.src, c.src, c.src, c.src, c.src, c.src};
    uint8_t out[36];
    pixconv::choose_converter(c.bits, c.r, c.g, c.b)(src, out, 9);  // a group and the tail
    for (int i = 0; i < 9; ++i) {
      uint32_t v = 0;
      for (int k = 0; k < c.bits / 8; ++k) v |= uint32_t(out[i * c.bits / 8 + k]) << (8 * k);
      EXPECT_EQ(v, c.want) << c.bits << " bits, pixel " << i;
    }
  }
}

TEST(PixConv, WhichFormatsGetAConverter) {
  struct {
    Uint32 format;
    const char *layout;  // nullptr: none
  } cases[] = {
      {SDL_PIXELFORMAT_RGB888, "32 XRGB"},     {SDL_PIXELFORMAT_ARGB8888, "32 XRGB"},
      {SDL_PIXELFORMAT_BGR888, "32 XBGR"},     {SDL_PIXELFORMAT_BGR24, "24 BGR bytes"},
      {SDL_PIXELFORMAT_RGB24, "24 RGB bytes"}, {SDL_PIXELFORMAT_RGB565, "16 RGB565"},
      {SDL_PIXELFORMAT_BGR565, "16 BGR565"},   {SDL_PIXELFORMAT_RGB555, "16 RGB555"},
      {SDL_PIXELFORMAT_BGR555, "16 BGR555"},   {SDL_PIXELFORMAT_ARGB1555, "16 RGB555"},
      {SDL_PIXELFORMAT_INDEX8, nullptr},       {SDL_PIXELFORMAT_RGB332, nullptr},
      {SDL_PIXELFORMAT_RGB444, nullptr},       {SDL_PIXELFORMAT_RGBA8888, nullptr},
      {SDL_PIXELFORMAT_ARGB2101010, nullptr},  {SDL_PIXELFORMAT_YV12, nullptr},
      {SDL_PIXELFORMAT_UNKNOWN, nullptr},
  };
  for (const auto &c : cases) {
    const pixconv::Layout *l = screen_mode::layout_for_format(c.format);
    EXPECT_STREQ(l ? l->name : nullptr, c.layout) << SDL_GetPixelFormatName(c.format);
  }
  // Masks must match exactly, in the right bit count.
  EXPECT_EQ(pixconv::choose_converter(16, 0xF800, 0x3E0, 0x1F), nullptr);
  EXPECT_EQ(pixconv::choose_converter(24, 0xF800, 0x7E0, 0x1F), nullptr);
  EXPECT_EQ(pixconv::choose_converter(32, 0xFF00, 0xFF0000, 0xFF), nullptr);
}

}  // namespace
