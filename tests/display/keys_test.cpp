// The key queue, key strings, the mapping of keyboard events to key codes,
// frame pacing and the choice of screen mode.
#include "display/frame_pacer.h"
#include "display/key_queue.h"
#include "display/keymap.h"
#include "display/screen_mode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <string>

namespace {

TEST(KeyQueue, SixteenPushesKeepTheNewestFifteen) {
  keys::KeyQueue q{};
  EXPECT_FALSE(keys::waiting(q));
  for (uint16_t c = 1; c <= 16; ++c) keys::push(q, c);
  for (uint16_t c = 2; c <= 16; ++c) {
    ASSERT_TRUE(keys::waiting(q));
    EXPECT_EQ(keys::pop(q), c);
  }
  EXPECT_FALSE(keys::waiting(q));
  EXPECT_EQ(keys::pop(q), 0);
}

TEST(KeyQueue, MatchesABoundedFifoModel) {
  // Random pushes and pops against a FIFO that keeps the newest 15.
  keys::KeyQueue q{};
  std::deque<uint16_t> model;
  std::mt19937 rng(5);
  uint16_t next = 1;
  for (int step = 0; step < 5000; ++step) {
    if (rng() % 3 != 0) {
      keys::push(q, next);
      model.push_back(next++);
      if (model.size() > 15) model.pop_front();
    } else {
      uint16_t want = model.empty() ? 0 : model.front();
      if (!model.empty()) model.pop_front();
      ASSERT_EQ(keys::pop(q), want) << "step " << step;
    }
    ASSERT_EQ(keys::waiting(q), !model.empty()) << "step " << step;
  }
  // Waiting does not remove.
  keys::clear(q);
  keys::push(q, 300);
  EXPECT_TRUE(keys::waiting(q));
  EXPECT_TRUE(keys::waiting(q));
  EXPECT_EQ(keys::pop(q), 300);
  EXPECT_FALSE(keys::waiting(q));
}

TEST(KeyQueue, OverflowAfterWrapKeepsNewest) {
  keys::KeyQueue q{};
  for (uint16_t c = 1; c <= 10; ++c) keys::push(q, c);
  for (int i = 0; i < 10; ++i) keys::pop(q);
  for (uint16_t c = 100; c < 140; ++c) keys::push(q, c);
  for (uint16_t c = 125; c < 140; ++c) EXPECT_EQ(keys::pop(q), c);
  EXPECT_FALSE(keys::waiting(q));
}

std::string str(uint16_t code) {
  char buf[3];
  return keys::key_string(code, buf);
}

TEST(KeyString, CharactersAndScanLetters) {
  EXPECT_EQ(str(0), "");
  EXPECT_EQ(str(27), "\x1b");
  EXPECT_EQ(str('a'), "a");
  EXPECT_EQ(str(1), "\x01");
  EXPECT_EQ(str(255), "\xff");
  const char *letters = "XHPKMRSGOIQ;<=>?@ABCD";
  for (uint16_t code = 256; code <= 276; ++code)
    EXPECT_EQ(str(code), std::string("\xff") + letters[code - 256]) << code;
  EXPECT_EQ(str(keys::code_up), "\xffH");
  EXPECT_EQ(str(keys::code_page_down), "\xffQ");
  EXPECT_EQ(str(keys::code_f1), "\xff;");
  EXPECT_EQ(str(keys::code_f1 + 9),
            "\xff"
            "D");
  // Codes past F10 stay on the last letter.
  EXPECT_EQ(str(277),
            "\xff"
            "D");
  EXPECT_EQ(str(65535),
            "\xff"
            "D");
}

SDL_Event key_down(SDL_Keycode sym, Uint16 mod = 0) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event text(const char *utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return e;
}

TEST(KeyMap, NavigationAndFunctionKeys) {
  struct {
    SDL_Keycode sym;
    uint16_t code;
  } table[] = {{SDLK_UP, 257},     {SDLK_DOWN, 258},     {SDLK_LEFT, 259}, {SDLK_RIGHT, 260},
               {SDLK_INSERT, 261}, {SDLK_DELETE, 262},   {SDLK_HOME, 263}, {SDLK_END, 264},
               {SDLK_PAGEUP, 265}, {SDLK_PAGEDOWN, 266}, {SDLK_F1, 267},   {SDLK_F2, 268},
               {SDLK_F3, 269},     {SDLK_F4, 270},       {SDLK_F5, 271},   {SDLK_F6, 272},
               {SDLK_F7, 273},     {SDLK_F8, 274},       {SDLK_F9, 275},   {SDLK_F10, 276}};
  for (auto &t : table) {
    EXPECT_EQ(keys::key_code_for_event(key_down(t.sym)), t.code) << SDL_GetKeyName(t.sym);
    EXPECT_EQ(keys::key_code_for_event(key_down(t.sym, KMOD_SHIFT | KMOD_NUM)), t.code);
  }
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_F11)), 0);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_F12)), 0);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_LSHIFT)), 0);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_CAPSLOCK)), 0);
}

TEST(KeyMap, KeypadFollowsNumLock) {
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_KP_8)), keys::code_up);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_KP_3)), keys::code_page_down);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_KP_PERIOD)), keys::code_delete);
  // With Num Lock the digit arrives as text instead.
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_KP_8, KMOD_NUM)), 0);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_KP_ENTER)), '\r');
}

TEST(KeyMap, ControlCharacterKeys) {
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_ESCAPE)), 27);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_RETURN)), 13);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_BACKSPACE)), 8);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_TAB)), 9);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_a, KMOD_LCTRL)), 1);
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_z, KMOD_RCTRL)), 26);
  // AltGr (Ctrl+Alt) types through the layout: text, not a control code.
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_e, KMOD_LCTRL | KMOD_RALT)), 0);
  // A plain letter's character comes from its text event alone, so it is
  // not queued twice.
  EXPECT_EQ(keys::key_code_for_event(key_down(SDLK_a)), 0);
  SDL_Event up = key_down(SDLK_ESCAPE);
  up.type = SDL_KEYUP;
  EXPECT_EQ(keys::key_code_for_event(up), 0);
}

TEST(KeyMap, TextOfExactlyOneCharacter) {
  EXPECT_EQ(keys::key_code_for_event(text("a")), 'a');
  EXPECT_EQ(keys::key_code_for_event(text("A")), 'A');
  EXPECT_EQ(keys::key_code_for_event(text(" ")), ' ');
  EXPECT_EQ(keys::key_code_for_event(text("\xc3\xa9")), 0xE9);   // e acute
  EXPECT_EQ(keys::key_code_for_event(text("\xc2\xa3")), 0xA3);   // pound sign
  EXPECT_EQ(keys::key_code_for_event(text("\xc3\xbf")), 0xFF);   // y diaeresis
  EXPECT_EQ(keys::key_code_for_event(text("\xe2\x82\xac")), 0);  // euro: beyond 255
  EXPECT_EQ(keys::key_code_for_event(text("\xc4\x80")), 0);      // U+0100
  EXPECT_EQ(keys::key_code_for_event(text("\xc1\x81")), 0);      // overlong 'A'
  EXPECT_EQ(keys::key_code_for_event(text("\xc3")), 0);          // truncated
  EXPECT_EQ(keys::key_code_for_event(text("\xa9")), 0);          // stray continuation
  EXPECT_EQ(keys::key_code_for_event(text("^e")), 0);            // dead key + letter
  EXPECT_EQ(keys::key_code_for_event(text("\xc3\xa9x")), 0);
  EXPECT_EQ(keys::key_code_for_event(text("")), 0);
  SDL_Event other{};
  other.type = SDL_MOUSEBUTTONDOWN;
  EXPECT_EQ(keys::key_code_for_event(other), 0);
}

using pacing::Clock;
using std::chrono::milliseconds;

TEST(FramePacer, TimerDeadlinesStayOnTheGrid) {
  const Clock::duration period = milliseconds(16);
  pacing::FramePacer p(pacing::Mode::timer, period);
  Clock::time_point t0{milliseconds(1000)};
  EXPECT_EQ(p.after_present(t0), t0 + period);
  // Frames finishing at varying times within their period still get the
  // deadlines t0 + k * period: no drift.
  const int finish[] = {3, 15, 1, 9, 12, 0, 7};
  for (int k = 1; k <= 7; ++k) {
    Clock::time_point now = t0 + period * k + milliseconds(finish[k - 1]);
    EXPECT_EQ(p.after_present(now), t0 + period * (k + 1)) << k;
  }
  EXPECT_EQ(p.mode(), pacing::Mode::timer);
}

TEST(FramePacer, TimerLateFramesDoNotWaitAndStallsResync) {
  const Clock::duration period = milliseconds(16);
  pacing::FramePacer p(pacing::Mode::timer, period);
  Clock::time_point t0{milliseconds(1000)};
  p.after_present(t0);  // next deadline t0+16
  // Presented at t0+40: the deadline t0+32 has passed, less than a period
  // ago: no wait, the grid is kept.
  Clock::time_point late = t0 + milliseconds(40);
  EXPECT_EQ(p.after_present(late), late);
  EXPECT_EQ(p.after_present(t0 + milliseconds(42)), t0 + milliseconds(48));
  // A stall of a second: no burst of catch-up frames, a fresh grid.
  Clock::time_point stalled = t0 + milliseconds(1050);
  EXPECT_EQ(p.after_present(stalled), stalled);
  EXPECT_EQ(p.after_present(stalled + milliseconds(5)), stalled + period);
}

TEST(FramePacer, VsyncIsTrustedOnlyWhenPresentingWaits) {
  const Clock::duration period = milliseconds(16);
  Clock::time_point t{milliseconds(1000)};

  pacing::FramePacer real(pacing::Mode::vsync, period);
  for (int i = 0; i < 3 * pacing::FramePacer::vsync_probe_frames; ++i) {
    t += period;
    EXPECT_EQ(real.after_present(t), t);
  }
  EXPECT_EQ(real.mode(), pacing::Mode::vsync);

  // Presents 2 ms apart: the retrace wait is not happening.
  pacing::FramePacer fake(pacing::Mode::vsync, period);
  int i = 0;
  for (; i < pacing::FramePacer::vsync_probe_frames - 1; ++i) {
    t += milliseconds(2);
    EXPECT_EQ(fake.after_present(t), t);
  }
  t += milliseconds(2);
  EXPECT_EQ(fake.after_present(t), t + period);
  EXPECT_EQ(fake.mode(), pacing::Mode::timer);
  EXPECT_EQ(fake.after_present(t + milliseconds(3)), t + 2 * period);
}

TEST(FramePacer, UnpacedNeverWaits) {
  pacing::FramePacer p(pacing::Mode::unpaced, milliseconds(16));
  Clock::time_point t{milliseconds(5)};
  for (int i = 0; i < 5; ++i, t += milliseconds(1)) EXPECT_EQ(p.after_present(t), t);
}

SDL_DisplayMode mode(int w, int h, Uint32 format, int hz) {
  SDL_DisplayMode m{};
  m.w = w;
  m.h = h;
  m.format = format;
  m.refresh_rate = hz;
  return m;
}

TEST(ScreenMode, ExactSizePreferringDepthThenSixtyHertz) {
  const SDL_DisplayMode modes[] = {
      mode(1920, 1080, SDL_PIXELFORMAT_RGB888, 60),  // 0 wrong size
      mode(800, 600, SDL_PIXELFORMAT_RGB565, 60),    // 1
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 75),    // 2
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 60),    // 3
      mode(800, 600, SDL_PIXELFORMAT_INDEX8, 60),    // 4 no converter
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 56),    // 5
  };
  EXPECT_EQ(screen_mode::choose_mode(modes, 6, 800, 600), 3);
  EXPECT_EQ(screen_mode::choose_mode(modes, 3, 800, 600), 2);
  EXPECT_EQ(screen_mode::choose_mode(modes, 2, 800, 600), 1);
  EXPECT_EQ(screen_mode::choose_mode(modes, 1, 800, 600), -1);
  EXPECT_EQ(screen_mode::choose_mode(modes + 4, 1, 800, 600), -1);
  EXPECT_EQ(screen_mode::choose_mode(modes, 6, 640, 480), -1);
  EXPECT_EQ(screen_mode::choose_mode(modes, 0, 800, 600), -1);
  const SDL_DisplayMode sixteen[] = {mode(800, 600, SDL_PIXELFORMAT_RGB555, 72),
                                     mode(800, 600, SDL_PIXELFORMAT_BGR565, 60)};
  EXPECT_EQ(screen_mode::choose_mode(sixteen, 2, 800, 600), 1);
  EXPECT_TRUE(screen_mode::is_60_hz(60));
  EXPECT_TRUE(screen_mode::is_60_hz(59));
  EXPECT_FALSE(screen_mode::is_60_hz(0));
  EXPECT_FALSE(screen_mode::is_60_hz(75));
  EXPECT_FALSE(screen_mode::is_60_hz(120));
}

}  // namespace
