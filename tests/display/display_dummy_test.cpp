// The display under SDL's dummy video driver: opening, presenting, keys
// pushed as SDL events reaching the key queue, the inactive window, closing.
#include "display/display.h"
#include "display/display_info.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int W = 800, H = 600;

class DisplayDummy : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("VARNKOL_UNPACED");
  }
  void TearDown() override { display_close(); }
};

void push(const SDL_Event &e) {
  SDL_Event copy = e;
  ASSERT_EQ(SDL_PushEvent(&copy), 1) << SDL_GetError();
}
void push_key(SDL_Keycode sym) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
  push(e);
}
void push_text(const char *s) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strncpy(e.text.text, s, sizeof e.text.text - 1);
  push(e);
}
void push_window(SDL_WindowEventID what) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = Uint8(what);
  e.window.windowID = display_info().window_id;
  push(e);
}

std::vector<std::string> read_all_keys() {
  std::vector<std::string> out;
  while (display_key_waiting()) out.push_back(display_read_key());
  EXPECT_STREQ(display_read_key(), "");
  return out;
}

// The colour the dummy window shows at the middle of the frame.
Uint32 shown_centre() {
  SDL_Window *w = SDL_GetWindowFromID(display_info().window_id);
  SDL_Surface *s = w ? SDL_GetWindowSurface(w) : nullptr;
  if (!s) return 0xDEADBEEF;
  Uint32 v = 0;
  SDL_LockSurface(s);
  const auto *row = static_cast<const uint8_t *>(s->pixels) + size_t(s->h / 2) * size_t(s->pitch);
  std::memcpy(&v, row + size_t(s->w / 2) * s->format->BytesPerPixel, 4);
  SDL_UnlockSurface(s);
  Uint8 r, g, b;
  SDL_GetRGB(v, s->format, &r, &g, &b);
  return Uint32(r) << 16 | Uint32(g) << 8 | b;
}

TEST_F(DisplayDummy, OpensScaledToTheDesktopAndPresents) {
  ASSERT_EQ(display_open("VARN KOL", W, H), 1) << SDL_GetError();
  DisplayInfo info = display_info();
  EXPECT_TRUE(info.open);
  EXPECT_FALSE(info.exact_mode) << "the dummy driver only has a 1024x768 mode";
  ASSERT_NE(info.layout, nullptr);
  EXPECT_STREQ(info.layout->name, "32 XRGB");
  EXPECT_NE(info.pacing, pacing::Mode::unpaced);
  EXPECT_TRUE(info.active);
  EXPECT_EQ(display_open("VARN KOL", W, H), 0) << "one display per process";

  std::vector<uint32_t> frame(size_t(W) * H, 0x00F71F00);
  EXPECT_EQ(display_update(frame.data()), 1);
  EXPECT_EQ(shown_centre(), 0xF71F00u);
  std::fill(frame.begin(), frame.end(), 0x00123456);
  EXPECT_EQ(display_update(frame.data()), 1);
  EXPECT_EQ(shown_centre(), 0x123456u);
  EXPECT_EQ(display_update(nullptr), 0);
}

TEST_F(DisplayDummy, UnpacedOnRequest) {
  setenv("VARNKOL_UNPACED", "1", 1);
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  EXPECT_EQ(display_info().pacing, pacing::Mode::unpaced);
}

TEST_F(DisplayDummy, RejectsBadArguments) {
  EXPECT_EQ(display_open(nullptr, W, H), 0);
  EXPECT_EQ(display_open("VARN KOL", 0, H), 0);
  EXPECT_EQ(display_open("VARN KOL", W, -1), 0);
  std::vector<uint32_t> frame(size_t(W) * H);
  EXPECT_EQ(display_update(frame.data()), 0) << "nothing is open";
  EXPECT_STREQ(display_read_key(), "");
  EXPECT_EQ(display_key_waiting(), 0);
}

TEST_F(DisplayDummy, KeysReachTheQueueAndCloseRequestsAreIgnored) {
  setenv("VARNKOL_UNPACED", "1", 1);
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  std::vector<uint32_t> frame(size_t(W) * H, 0);

  push_key(SDLK_ESCAPE);
  push_key(SDLK_a);  // a letter's key-down: its text follows
  push_text("a");
  push_key(SDLK_UP);
  push_key(SDLK_F1);
  push_key(SDLK_PAGEDOWN);
  push_key(SDLK_F10);
  push_text("\xc3\xa9");
  push_text("^e");  // two characters: not queued
  push_key(SDLK_RETURN);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  push(quit);
  push_window(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(display_key_waiting(), 0) << "keys arrive only while the window is pumped";
  EXPECT_EQ(display_update(frame.data()), 1);
  EXPECT_EQ(display_key_waiting(), 1);
  EXPECT_EQ(read_all_keys(), (std::vector<std::string>{"\x1b", "a", "\xffH", "\xff;", "\xffQ",
                                                       "\xff"
                                                       "D",
                                                       "\xe9", "\r"}));
  EXPECT_TRUE(display_info().open);
  EXPECT_EQ(display_update(frame.data()), 1);

  // Sixteen keys without a read: the first is lost.
  for (char c = 'A'; c < 'A' + 16; ++c) {
    char s[2] = {c, 0};
    push_text(s);
  }
  EXPECT_EQ(display_update(frame.data()), 1);
  std::vector<std::string> keys = read_all_keys();
  ASSERT_EQ(keys.size(), 15u);
  EXPECT_EQ(keys.front(), "B");
  EXPECT_EQ(keys.back(), "P");
}

TEST_F(DisplayDummy, InactiveWindowIgnoresKeysAndDrawsNothing) {
  setenv("VARNKOL_UNPACED", "1", 1);
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  std::vector<uint32_t> red(size_t(W) * H, 0x00FF0000), green(size_t(W) * H, 0x0000FF00);
  ASSERT_EQ(display_update(red.data()), 1);
  ASSERT_EQ(shown_centre(), 0xFF0000u);

  push_key(SDLK_F2);
  push_window(SDL_WINDOWEVENT_FOCUS_LOST);
  push_key(SDLK_ESCAPE);
  push_text("x");
  EXPECT_EQ(display_update(green.data()), 1);
  EXPECT_FALSE(display_info().active);
  EXPECT_EQ(shown_centre(), 0xFF0000u) << "nothing is drawn while inactive";
  EXPECT_EQ(read_all_keys(), std::vector<std::string>{"\xff<"});

  push_text("y");
  push_window(SDL_WINDOWEVENT_FOCUS_GAINED);
  push_text("z");
  EXPECT_EQ(display_update(green.data()), 1);
  EXPECT_TRUE(display_info().active);
  EXPECT_EQ(shown_centre(), 0x00FF00u);
  EXPECT_EQ(read_all_keys(), std::vector<std::string>{"z"});
}

TEST_F(DisplayDummy, PresentsAgainAfterTheRendererLostItsTextures) {
  setenv("VARNKOL_UNPACED", "1", 1);
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  std::vector<uint32_t> blue(size_t(W) * H, 0x000000FF), grey(size_t(W) * H, 0x00808080);
  ASSERT_EQ(display_update(blue.data()), 1);
  SDL_Event reset{};
  reset.type = SDL_RENDER_DEVICE_RESET;
  push(reset);
  EXPECT_EQ(display_update(grey.data()), 1);
  EXPECT_EQ(shown_centre(), 0x808080u);
}

TEST_F(DisplayDummy, CloseRestoresScreenSaverAndCursor) {
  // Keep the video subsystem alive past the display's close so that the
  // settings it restores can be read back.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  SDL_EnableScreenSaver();
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  EXPECT_FALSE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  push_text("q");
  std::vector<uint32_t> frame(size_t(W) * H, 0);
  display_update(frame.data());
  display_close();
  EXPECT_TRUE(SDL_IsScreenSaverEnabled());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  EXPECT_FALSE(display_info().open);
  EXPECT_EQ(display_key_waiting(), 0) << "the queue goes with the display";
  EXPECT_EQ(display_update(frame.data()), 0);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);

  // And the display can be opened again.
  ASSERT_EQ(display_open("VARN KOL", W, H), 1);
  EXPECT_EQ(display_update(frame.data()), 1);
}

}  // namespace
