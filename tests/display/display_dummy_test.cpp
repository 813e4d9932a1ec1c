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
