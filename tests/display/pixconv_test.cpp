// Row converters: every layout and every implementation against a reference
// built from the layout's masks, on every width 0-70, with canaries around
// the destination row; and the choice of converter from bit count and masks.
#include "display/pixconv.h"
#include "display/screen_mode.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Places an 8-bit channel into a mask by keeping its top bits.
uint32_t place(uint32_t channel, uint32_t mask) {
  int width = std::popcount(mask);
  int shift = std::countr_zero(mask);
  return (channel >> (8 - width)) << shift;
}

// The destination bytes of one pixel, from the layout's description alone.
std::vector<uint8_t> reference_bytes(const pixconv::Layout &l, uint32_t p) {
  uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  uint32_t v = place(r, l.red_mask) | place(g, l.green_mask) | place(b, l.blue_mask);
  if (l.bits == 32 && l.red_mask == 0xFF0000) v = p;  // the plain copy keeps the top byte too
  std::vector<uint8_t> out;
  for (int i = 0; i < l.bits / 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
  return out;
}

struct Impl {
  const char *name;
  pixconv::RowConverter pixconv::Layout::*member;
};
const Impl impls[] = {{"per_pixel", &pixconv::Layout::per_pixel},
                      {"grouped", &pixconv::Layout::grouped},
                      {"fastest", &pixconv::Layout::fastest}};

const uint32_t edge_values[] = {0x00000000, 0x00FFFFFF, 0xFFFFFFFF, 0x00F71F00,
                                0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF,
                                0x00070307, 0x00F8FCF8, 0x80808080, 0x7F7F7F7F};

constexpr uint8_t canary = 0xA5;
constexpr size_t guard = 24;

void check_row(const pixconv::Layout &l, const Impl &impl, const std::vector<uint32_t> &src,
               size_t misalign) {
  size_t bpp = size_t(l.bits / 8);
  size_t width = src.size();
  std::vector<uint8_t> buf(guard + misalign + width * bpp + guard, canary);
  uint8_t *dst = buf.data() + guard + misalign;
  (l.*impl.member)(src.data(), dst, width);

  std::string where = std::string(l.name) + " " + impl.name + " width " + std::to_string(width) +
                      " misalign " + std::to_string(misalign);
  for (size_t i = 0; i < guard + misalign; ++i)
    ASSERT_EQ(buf[i], canary) << where << ": byte before the row touched";
  for (size_t x = 0; x < width; ++x) {
    std::vector<uint8_t> want = reference_bytes(l, src[x]);
    for (size_t k = 0; k < bpp; ++k)
      ASSERT_EQ(dst[x * bpp + k], want[k])
          << where << " pixel " << x << " byte " << k << " src " << std::hex << src[x];
  }
  for (size_t i = 0; i < guard; ++i)
    ASSERT_EQ(dst[width * bpp + i], canary) << where << ": byte past the row touched";
}

TEST(PixConv, EveryLayoutEveryImplementationEveryWidth) {
  std::mt19937 rng(1234);
  for (size_t li = 0; li < pixconv::layout_count; ++li) {
    const pixconv::Layout &l = pixconv::layouts()[li];
    for (size_t width = 0; width <= 70; ++width) {
      std::vector<uint32_t> src(width);
      for (size_t x = 0; x < width; ++x)
        src[x] =
            (x % 5 == 0) ? edge_values[(x / 5 + width) % std::size(edge_values)] : uint32_t(rng());
      for (const Impl &impl : impls)
        for (size_t misalign : {0u, 1u, 3u}) check_row(l, impl, src, misalign);
    }
  }
}

TEST(PixConv, GroupedAndPerPixelAgreeOnLongRandomRows) {
  std::mt19937 rng(99);
  for (size_t li = 0; li < pixconv::layout_count; ++li) {
    const pixconv::Layout &l = pixconv::layouts()[li];
    size_t width = 800 + li;  // full rows and rows with a remainder
    std::vector<uint32_t> src(width);
    for (uint32_t &p : src) p = uint32_t(rng());
    size_t bytes = width * size_t(l.bits / 8);
    std::vector<uint8_t> a(bytes), b(bytes), c(bytes);
    l.per_pixel(src.data(), a.data(), width);
    l.grouped(src.data(), b.data(), width);
    l.fastest(src.data(), c.data(), width);
    EXPECT_EQ(a, b) << l.name;
    EXPECT_EQ(a, c) << l.name;
  }
}

uint16_t convert16(pixconv::RowConverter conv, uint32_t p) {
  uint32_t src[9];
  for (uint32_t &s : src) s = p;
  uint16_t out[9];
  conv(src, out, 9);  // covers a grouped step and the per-pixel tail
  for (uint16_t v : out) EXPECT_EQ(v, out[8]);
  return out[0];
}

TEST(PixConv, KnownColoursInThe16BitLayouts) {
  auto rgb565 = pixconv::choose_converter(16, 0xF800, 0x7E0, 0x1F);
  auto bgr565 = pixconv::choose_converter(16, 0x1F, 0x7E0, 0xF800);
  auto rgb555 = pixconv::choose_converter(16, 0x7C00, 0x3E0, 0x1F);
  auto bgr555 = pixconv::choose_converter(16, 0x1F, 0x3E0, 0x7C00);
  ASSERT_TRUE(rgb565 && bgr565 && rgb555 && bgr555);
  EXPECT_EQ(convert16(rgb565, 0xFFFFFF), 0xFFFF);
  EXPECT_EQ(convert16(bgr565, 0xFFFFFF), 0xFFFF);
  EXPECT_EQ(convert16(rgb555, 0xFFFFFF), 0x7FFF);
  EXPECT_EQ(convert16(bgr555, 0xFFFFFF), 0x7FFF);
  EXPECT_EQ(convert16(rgb565, 0xF71F00), 0xF0E0);
  EXPECT_EQ(convert16(bgr565, 0xF71F00), 0x00FE);
  // Bit 15 stays clear in 5-5-5 even when the source's top byte is set.
  EXPECT_EQ(convert16(rgb555, 0xFFFFFFFF), 0x7FFF);
  EXPECT_EQ(convert16(bgr555, 0xFF123456), (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | (0x12 >> 3));
}

TEST(PixConv, ThirtyTwoBitLayouts) {
  const uint32_t src[5] = {0xFF123456, 0x00F71F00, 0xAB000000, 0x00FFFFFF, 0x01020304};
  uint32_t out[5];
  pixconv::choose_converter(32, 0xFF0000, 0xFF00, 0xFF)(src, out, 5);
  EXPECT_EQ(0, std::memcmp(src, out, sizeof src)) << "the plain copy keeps every byte";
  pixconv::choose_converter(32, 0xFF, 0xFF00, 0xFF0000)(src, out, 5);
  EXPECT_EQ(out[0], 0x00563412u);
  EXPECT_EQ(out[1], 0x00001FF7u);
  EXPECT_EQ(out[2], 0x00000000u);
  EXPECT_EQ(out[3], 0x00FFFFFFu);
  EXPECT_EQ(out[4], 0x00040302u);
}

TEST(PixConv, TwentyFourBitByteOrder) {
  const uint32_t src[5] = {0x00112233, 0xFF445566, 0x00778899, 0x00AABBCC, 0x00DDEEFF};
  uint8_t bgr[15], rgb[15];
  pixconv::choose_converter(24, 0xFF0000, 0xFF00, 0xFF)(src, bgr, 5);
  pixconv::choose_converter(24, 0xFF, 0xFF00, 0xFF0000)(src, rgb, 5);
  const uint8_t want_bgr[15] = {0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88,
                                0x77, 0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD};
  const uint8_t want_rgb[15] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(0, std::memcmp(bgr, want_bgr, 15));
  EXPECT_EQ(0, std::memcmp(rgb, want_rgb, 15));
}

TEST(PixConvChoice, TheEightLayoutsAndNothingElse) {
  struct Case {
    int bits;
    uint32_t r, g, b;
    const char *name;
  } accepted[] = {
      {32, 0xFF0000, 0xFF00, 0xFF, "32 XRGB"},      {32, 0xFF, 0xFF00, 0xFF0000, "32 XBGR"},
      {24, 0xFF0000, 0xFF00, 0xFF, "24 BGR bytes"}, {24, 0xFF, 0xFF00, 0xFF0000, "24 RGB bytes"},
      {16, 0xF800, 0x7E0, 0x1F, "16 RGB565"},       {16, 0x1F, 0x7E0, 0xF800, "16 BGR565"},
      {16, 0x7C00, 0x3E0, 0x1F, "16 RGB555"},       {16, 0x1F, 0x3E0, 0x7C00, "16 BGR555"},
  };
  for (const Case &c : accepted) {
    const pixconv::Layout *l = pixconv::find_layout(c.bits, c.r, c.g, c.b);
    ASSERT_NE(l, nullptr) << c.name;
    EXPECT_STREQ(l->name, c.name);
    EXPECT_EQ(pixconv::choose_converter(c.bits, c.r, c.g, c.b), l->fastest);
  }
  const Case rejected[] = {
      {8, 0xE0, 0x1C, 0x03, "8-bit 3-3-2"},
      {8, 0, 0, 0, "8-bit palettised"},
      {16, 0xFF0000, 0xFF00, 0xFF, "16 bits with 32-bit masks"},
      {32, 0xF800, 0x7E0, 0x1F, "32 bits with 5-6-5 masks"},
      {24, 0xF800, 0x7E0, 0x1F, "24 bits with 5-6-5 masks"},
      {15, 0x7C00, 0x3E0, 0x1F, "15 bits"},
      {32, 0xFF000000, 0xFF0000, 0xFF00, "32 RGBX"},
      {32, 0xFF00, 0xFF0000, 0xFF, "green and red swapped"},
      {16, 0xF800, 0x3E0, 0x1F, "mixed 5-6-5 and 5-5-5"},
      {16, 0xF00, 0xF0, 0xF, "4-4-4"},
      {32, 0x3FF00000, 0xFFC00, 0x3FF, "10-10-10"},
  };
  for (const Case &c : rejected) {
    EXPECT_EQ(pixconv::find_layout(c.bits, c.r, c.g, c.b), nullptr) << c.name;
    EXPECT_EQ(pixconv::choose_converter(c.bits, c.r, c.g, c.b), nullptr) << c.name;
  }
}

TEST(PixConvChoice, FromSdlPixelFormats) {
  struct Case {
    Uint32 format;
    const char *name;  // nullptr: no converter
  } cases[] = {
      {SDL_PIXELFORMAT_RGB888, "32 XRGB"},     {SDL_PIXELFORMAT_ARGB8888, "32 XRGB"},
      {SDL_PIXELFORMAT_BGR888, "32 XBGR"},     {SDL_PIXELFORMAT_ABGR8888, "32 XBGR"},
      {SDL_PIXELFORMAT_BGR24, "24 BGR bytes"}, {SDL_PIXELFORMAT_RGB24, "24 RGB bytes"},
      {SDL_PIXELFORMAT_RGB565, "16 RGB565"},   {SDL_PIXELFORMAT_BGR565, "16 BGR565"},
      {SDL_PIXELFORMAT_RGB555, "16 RGB555"},   {SDL_PIXELFORMAT_BGR555, "16 BGR555"},
      {SDL_PIXELFORMAT_ARGB1555, "16 RGB555"}, {SDL_PIXELFORMAT_INDEX8, nullptr},
      {SDL_PIXELFORMAT_RGB332, nullptr},       {SDL_PIXELFORMAT_RGB444, nullptr},
      {SDL_PIXELFORMAT_RGBA8888, nullptr},     {SDL_PIXELFORMAT_ARGB2101010, nullptr},
      {SDL_PIXELFORMAT_YV12, nullptr},         {SDL_PIXELFORMAT_UNKNOWN, nullptr},
  };
  for (const Case &c : cases) {
    const pixconv::Layout *l = screen_mode::layout_for_format(c.format);
    if (c.name) {
      ASSERT_NE(l, nullptr) << SDL_GetPixelFormatName(c.format);
      EXPECT_STREQ(l->name, c.name) << SDL_GetPixelFormatName(c.format);
    } else {
      EXPECT_EQ(l, nullptr) << SDL_GetPixelFormatName(c.format);
    }
  }
}

}  // namespace
