// The display's parts that need no window: the row converters against a
// reference built from each layout's masks alone (white, the bar colour and
// other edge values among random ones) at every width 0-40, misaligned,
// with canaries around the row; which formats get a converter; the key
// queue against a model; frame pacing on a fake clock; the screen mode.
// Then the display under SDL's dummy video driver: presenting, keyboard
// events through the key queue to key strings, the window without the
// focus, a lost renderer, and closing.
#include <gtest/gtest.h>

#include <SDL.h>

#include <bit>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/display_info.h"
#include "display/frame_pacer.h"
#include "display/key_queue.h"
#include "display/pixconv.h"
#include "display/screen_mode.h"

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

class DisplayDummy : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("VARNKOL_UNPACED", "1", 1);
    ASSERT_EQ(display_open("VARN KOL", 800, 600), 1) << display_error();
  }
  void TearDown() override { display_close(); }
};

// Presents a frame of one colour; returns the window's middle pixel.
uint32_t present(uint32_t colour) {
  std::vector<uint32_t> frame(800 * 600, colour);
  EXPECT_EQ(display_update(frame.data()), 1);
  SDL_Surface *s = SDL_GetWindowSurface(SDL_GetWindowFromID(display_info().window_id));
  uint32_t v;
  std::memcpy(&v, static_cast<uint8_t *>(s->pixels) + s->h / 2 * s->pitch + s->w / 2 * 4, 4);
  Uint8 r, g, b;
  SDL_GetRGB(v, s->format, &r, &g, &b);
  return uint32_t(r << 16 | g << 8 | b);
}

// Pushes the events, presents, and returns the keys read, each followed by '|'.
std::string keys_after(std::vector<SDL_Event> events) {
  for (SDL_Event &e : events) EXPECT_EQ(SDL_PushEvent(&e), 1);
  EXPECT_EQ(display_key_waiting(), 0) << "keys arrive only while the window is pumped";
  present(0);
  std::string keys;
  while (display_key_waiting()) keys += std::string(display_read_key()) + "|";
  EXPECT_STREQ(display_read_key(), "");
  return keys;
}

SDL_Event key(SDL_Keycode sym, Uint16 mod = 0) {
  SDL_Event e{SDL_KEYDOWN};
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}
SDL_Event text(const char *utf8) {
  SDL_Event e{SDL_TEXTINPUT};
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return e;
}
SDL_Event window(SDL_WindowEventID what) {
  SDL_Event e{SDL_WINDOWEVENT};
  e.window.event = Uint8(what);
  e.window.windowID = display_info().window_id;
  return e;
}

TEST_F(DisplayDummy, KeyboardEventsBecomeKeyStrings) {
  // Navigation and function keys: byte 255 and a scan letter, with or
  // without modifiers; the keypad's only while Num Lock is off.
  const SDL_Keycode nav[] = {SDLK_UP,     SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT,  SDLK_INSERT,
                             SDLK_DELETE, SDLK_HOME, SDLK_END,  SDLK_PAGEUP, SDLK_PAGEDOWN};
  const char scan[] = "HPKMRSGOIQ;<=>?@ABCD";
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(keys_after({key(i < 10 ? nav[i] : SDLK_F1 + i - 10, i % 3 ? 0 : KMOD_SHIFT)}),
              std::string("\xff") + scan[i] + "|")
        << i;
  EXPECT_EQ(keys_after({key(SDLK_KP_8), key(SDLK_KP_3), key(SDLK_KP_8, KMOD_NUM), key(SDLK_F11)}),
            "\xffH|\xffQ|");
  // Keys typing control characters; a letter's own character comes as text.
  EXPECT_EQ(keys_after({key(SDLK_ESCAPE), key(SDLK_RETURN), key(SDLK_KP_ENTER), key(SDLK_BACKSPACE),
                        key(SDLK_TAB), key(SDLK_a, KMOD_LCTRL), key(SDLK_z, KMOD_RCTRL),
                        key(SDLK_e, KMOD_LCTRL | KMOD_RALT), key(SDLK_a), text("a")}),
            "\x1b|\r|\r|\b|\t|\x01|\x1a|a|");
  // Text of exactly one Latin-1 character; a dead key's two, the euro sign,
  // an overlong or cut-off sequence give nothing.
  EXPECT_EQ(keys_after({text("\xc3\xa9"), text("\xc3\xbf"), text("^e"), text("\xe2\x82\xac"),
                        text("\xc1\x81"), text("\xc3"), text("B")}),
            "\xe9|\xff|B|");
  // Close requests are ignored.
  EXPECT_EQ(keys_after({SDL_Event{SDL_QUIT}, window(SDL_WINDOWEVENT_CLOSE)}), "");
  EXPECT_TRUE(display_info().open);
}

TEST_F(DisplayDummy, WithoutTheFocusNothingIsDrawnAndKeysAreLost) {
  present(0xFF0000);
  EXPECT_EQ(keys_after({key(SDLK_F2), window(SDL_WINDOWEVENT_FOCUS_LOST), text("x")}), "\xff<|");
  EXPECT_EQ(present(0x00FF00), 0xFF0000u);
  EXPECT_EQ(keys_after({text("y"), window(SDL_WINDOWEVENT_FOCUS_GAINED), text("z")}), "z|");
  EXPECT_EQ(present(0x00FF00), 0x00FF00u);
}

TEST_F(DisplayDummy, PresentsThenCloseGivesBackScreenSaverAndPointer) {
  EXPECT_EQ(display_open("VARN KOL", 800, 600), 0);
  EXPECT_STREQ(display_error(), "the display is already open");
  EXPECT_EQ(present(0xF71F00), 0xF71F00u);
  EXPECT_EQ(display_update(nullptr), 0);
  EXPECT_EQ(keys_after({SDL_Event{SDL_RENDER_DEVICE_RESET}}), "");  // the texture is lost
  EXPECT_EQ(present(0x123456), 0x123456u);
  // The video subsystem outlives the display, so that what it gives back can be read.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  EXPECT_FALSE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  SDL_Event q = text("q");
  SDL_PushEvent(&q);
  present(0);
  display_close();
  EXPECT_TRUE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  EXPECT_EQ(display_key_waiting(), 0) << "the queue goes with the display";
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
