// The display under SDL's dummy video driver: presenting, keyboard events
// through the key queue to key strings, the window without the focus, a
// lost renderer, and closing.
#include "display/display.h"
#include "display/display_info.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int W = 800, H = 600;

class DisplayDummy : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("VARNKOL_UNPACED", "1", 1);
    ASSERT_EQ(display_open("VARN KOL", W, H), 1) << display_error();
  }
  void TearDown() override { display_close(); }
  // Presents a frame of one colour; returns what the window shows at its
  // centre, as 0x00RRGGBB.
  static uint32_t present(uint32_t colour) {
    std::vector<uint32_t> frame(size_t(W) * H, colour);
    EXPECT_EQ(display_update(frame.data()), 1);
    SDL_Surface *s = SDL_GetWindowSurface(SDL_GetWindowFromID(display_info().window_id));
    uint32_t v = 0;
    std::memcpy(&v, static_cast<uint8_t *>(s->pixels) + (s->h / 2) * s->pitch + s->w / 2 * 4, 4);
    Uint8 r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  }
  static std::string keys_read() {
    std::string all;
    while (display_key_waiting()) all += std::string(display_read_key()) + "|";
    EXPECT_STREQ(display_read_key(), "");
    return all;
  }
};

SDL_Event key(SDL_Keycode sym, Uint16 mod = 0) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}
SDL_Event text(const char *utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return e;
}
SDL_Event window(SDL_WindowEventID what) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = Uint8(what);
  e.window.windowID = display_info().window_id;
  return e;
}
void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }

TEST_F(DisplayDummy, PresentsAndRefusesASecondOpen) {
  EXPECT_EQ(display_open("VARN KOL", W, H), 0);
  EXPECT_STREQ(display_error(), "the display is already open");
  EXPECT_EQ(present(0xF71F00), 0xF71F00u);
  EXPECT_EQ(present(0x123456), 0x123456u);
  EXPECT_EQ(display_update(nullptr), 0);
  push(SDL_Event{SDL_RENDER_DEVICE_RESET});  // the renderer lost its texture
  EXPECT_EQ(present(0x808080), 0x808080u);
}

TEST_F(DisplayDummy, KeyboardEventsBecomeKeyStrings) {
  const struct {
    SDL_Event event;
    const char *keys;
  } cases[] = {
      {key(SDLK_ESCAPE), "\x1b|"},
      {key(SDLK_a), ""},  // a letter's character comes as text
      {text("a"), "a|"},
      {key(SDLK_UP), "\xffH|"},
      {key(SDLK_DOWN), "\xffP|"},
      {key(SDLK_LEFT), "\xffK|"},
      {key(SDLK_RIGHT), "\xffM|"},
      {key(SDLK_INSERT), "\xffR|"},
      {key(SDLK_DELETE), "\xffS|"},
      {key(SDLK_HOME), "\xffG|"},
      {key(SDLK_END), "\xffO|"},
      {key(SDLK_PAGEUP), "\xffI|"},
      {key(SDLK_PAGEDOWN), "\xffQ|"},
      {key(SDLK_F1), "\xff;|"},
      {key(SDLK_F5), "\xff?|"},
      {key(SDLK_F10, KMOD_SHIFT),
       "\xff"
       "D|"},
      {key(SDLK_F11), ""},
      {key(SDLK_KP_8), "\xffH|"},  // Num Lock off
      {key(SDLK_KP_3), "\xffQ|"},
      {key(SDLK_KP_8, KMOD_NUM), ""},
      {key(SDLK_KP_ENTER), "\r|"},
      {key(SDLK_RETURN), "\r|"},
      {key(SDLK_BACKSPACE), "\b|"},
      {key(SDLK_TAB), "\t|"},
      {key(SDLK_a, KMOD_LCTRL), "\x01|"},
      {key(SDLK_z, KMOD_RCTRL), "\x1a|"},
      {key(SDLK_e, KMOD_LCTRL | KMOD_RALT), ""},  // AltGr: its character comes as text
      {text("\xc3\xa9"), "\xe9|"},
      {text("\xc3\xbf"), "\xff|"},
      {text("\xe2\x82\xac"), ""},  // beyond Latin-1
      {text("\xc1\x81"), ""},      // overlong
      {text("\xc3"), ""},
      {text("^e"), ""},  // two characters: a dead key
      {SDL_Event{SDL_QUIT}, ""},
      {window(SDL_WINDOWEVENT_CLOSE), ""},
  };
  for (const auto &c : cases) {
    push(c.event);
    EXPECT_EQ(display_key_waiting(), 0) << "keys arrive only while the window is pumped";
    present(0);
    EXPECT_EQ(keys_read(), c.keys) << c.keys;
  }
  // Close requests are ignored; sixteen keys without a read lose the first.
  EXPECT_TRUE(display_info().open);
  for (char c = 'A'; c < 'A' + 16; ++c) push(text(std::string(1, c).c_str()));
  present(0);
  EXPECT_EQ(keys_read(), "B|C|D|E|F|G|H|I|J|K|L|M|N|O|P|");
}

TEST_F(DisplayDummy, WithoutTheFocusNothingIsDrawnAndKeysAreLost) {
  present(0xFF0000);
  push(key(SDLK_F2));
  push(window(SDL_WINDOWEVENT_FOCUS_LOST));
  push(text("x"));
  EXPECT_EQ(present(0x00FF00), 0xFF0000u);
  EXPECT_FALSE(display_info().active);
  EXPECT_EQ(keys_read(), "\xff<|");
  push(text("y"));
  push(window(SDL_WINDOWEVENT_FOCUS_GAINED));
  push(text("z"));
  EXPECT_EQ(present(0x00FF00), 0x00FF00u);
  EXPECT_EQ(keys_read(), "z|");
}

TEST_F(DisplayDummy, CloseGivesBackScreenSaverAndPointerAndCanReopen) {
  // The video subsystem outlives the display, so that the settings it gives
  // back can be read.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  EXPECT_FALSE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  push(text("q"));
  present(0);
  display_close();
  EXPECT_TRUE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  EXPECT_EQ(display_key_waiting(), 0) << "the queue goes with the display";
  std::vector<uint32_t> frame(size_t(W) * H);
  EXPECT_EQ(display_update(frame.data()), 0);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  EXPECT_EQ(present(0x00ABCD), 0x00ABCDu);
}

}  // namespace
