// The display's parts that need no window: the row converters against a
// reference built from each layout's masks alone (white, the bar colour and
// other edge values among random ones) at every width 0-40, misaligned,
// with canaries around the row; which formats get a converter; the key
// queue against a model; frame pacing on a fake clock; the screen mode.
#include "display/frame_pacer.h"
#include "display/key_queue.h"
#include "display/pixconv.h"
#include "display/screen_mode.h"

#include <gtest/gtest.h>

#include <bit>
#include <deque>
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

TEST(KeyQueue, MatchesAFifoThatKeepsTheNewestFifteen) {
  keys::KeyQueue q{};
  std::deque<uint16_t> model;
  std::mt19937 rng(5);
  uint16_t next = 1;
  for (int step = 0; step < 5000; ++step) {
    // Runs of pushes long enough to overflow, and of pops past empty.
    const bool push = (step / 20) % 2 ? rng() % 4 != 0 : rng() % 4 == 0;
    if (push) {
      keys::push(q, next);
      model.push_back(next++);
      if (model.size() > 15) model.pop_front();
    } else {
      ASSERT_EQ(keys::pop(q), model.empty() ? 0 : model.front()) << step;
      if (!model.empty()) model.pop_front();
    }
    ASSERT_EQ(keys::waiting(q), !model.empty()) << step;
  }
}

using pacing::Clock;
using std::chrono::milliseconds;
constexpr Clock::duration kPeriod = milliseconds(16);
const Clock::time_point t0{milliseconds(1000)};

TEST(FramePacer, TimerKeepsItsGridAndRestartsAfterAStall) {
  pacing::FramePacer p(pacing::Mode::timer, kPeriod);
  EXPECT_EQ(p.after_present(t0), t0 + kPeriod);
  // Frames ending anywhere in their period get deadlines on the grid.
  int k = 1;
  for (int finish : {3, 15, 1, 9, 0}) {
    EXPECT_EQ(p.after_present(t0 + kPeriod * k + milliseconds(finish)), t0 + kPeriod * (k + 1));
    ++k;
  }
  // Late by less than a period: no wait, the grid stays.
  const Clock::time_point late = t0 + kPeriod * (k + 1) + milliseconds(8);
  EXPECT_EQ(p.after_present(late), late);
  EXPECT_EQ(p.after_present(late + milliseconds(1)), t0 + kPeriod * (k + 2));
  // A stall of a second: no burst of catch-up frames, a fresh grid.
  const Clock::time_point stalled = late + milliseconds(1000);
  EXPECT_EQ(p.after_present(stalled), stalled);
  EXPECT_EQ(p.after_present(stalled + milliseconds(5)), stalled + kPeriod);
}

TEST(FramePacer, VsyncIsTrustedOnlyWhenPresentingWaits) {
  Clock::time_point t = t0;
  pacing::FramePacer real(pacing::Mode::vsync, kPeriod), fake(pacing::Mode::vsync, kPeriod);
  for (int i = 0; i < 3 * pacing::FramePacer::vsync_probe_frames; ++i) {
    t += kPeriod;
    EXPECT_EQ(real.after_present(t), t);
  }
  EXPECT_EQ(real.mode(), pacing::Mode::vsync);
  // Presents 2 ms apart: nothing waits for the retrace, the timer takes over.
  for (int i = 1; i < pacing::FramePacer::vsync_probe_frames; ++i) {
    t += milliseconds(2);
    EXPECT_EQ(fake.after_present(t), t);
  }
  t += milliseconds(2);
  EXPECT_EQ(fake.after_present(t), t + kPeriod);
  EXPECT_EQ(fake.mode(), pacing::Mode::timer);
}

SDL_DisplayMode mode(int w, int h, Uint32 format, int hz) {
  SDL_DisplayMode m{};
  m.w = w;
  m.h = h;
  m.format = format;
  m.refresh_rate = hz;
  return m;
}

TEST(ScreenMode, ExactSizeThenDepthThenNearestSixtyHertz) {
  const SDL_DisplayMode modes[] = {
      mode(800, 600, SDL_PIXELFORMAT_INDEX8, 60),    // 0 palettised: never
      mode(800, 600, SDL_PIXELFORMAT_UNKNOWN, 60),   // 1 no converter: SDL's
      mode(1920, 1080, SDL_PIXELFORMAT_RGB888, 60),  // 2 wrong size
      mode(800, 600, SDL_PIXELFORMAT_RGB565, 60),    // 3
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 75),    // 4
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 59),    // 5
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 56),    // 6
  };
  const std::pair<int, int> best_among_first[] = {{1, -1}, {2, 1}, {3, 1}, {4, 3}, {5, 4}, {7, 5}};
  for (auto [count, best] : best_among_first)
    EXPECT_EQ(screen_mode::choose_mode(modes, count, 800, 600), best) << count;
  EXPECT_EQ(screen_mode::choose_mode(modes, 7, 640, 480), -1);
  EXPECT_TRUE(screen_mode::is_60_hz(59) && screen_mode::is_60_hz(60));
  EXPECT_FALSE(screen_mode::is_60_hz(0) || screen_mode::is_60_hz(61) || screen_mode::is_60_hz(120));
}

}  // namespace
