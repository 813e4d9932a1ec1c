// The display on a real X server (a private Xvfb with a 1280x720 screen): the
// frame scaled to fit between black bars, keys typed into the window, and
// the pace of frames while the window lacks the focus.
#include "display/display.h"
#include "display/display_info.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/xvfb.h"

namespace {

constexpr int W = 800, H = 600;

TEST(DisplayX11, ScaledPictureKeysAndPaceWithoutFocus) {
  Xvfb server("1280x720x24");
  ASSERT_NE(server.x(), nullptr) << "Xvfb did not start";
  setenv("DISPLAY", server.name().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  unsetenv("VARNKOL_UNPACED");
  ASSERT_EQ(display_open("VARN KOL", W, H), 1) << display_error();
  DisplayInfo info = display_info();
  EXPECT_FALSE(info.exact_mode);
  EXPECT_STREQ(info.layout->name, "32 XRGB");

  // Four quadrants; scaled by 1.2 to 960x720, with bars 160 pixels wide.
  const uint32_t colours[4] = {0xF71F00, 0x2080F0, 0xFFFFFF, 0x40C020};
  std::vector<uint32_t> frame(size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) frame[size_t(y) * W + x] = colours[(y >= H / 2) * 2 + (x >= W / 2)];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(display_update(frame.data()), 1);
  EXPECT_EQ(server.pixel(80, 360), 0u);
  EXPECT_EQ(server.pixel(1200, 360), 0u);
  EXPECT_EQ(server.pixel(163, 3), colours[0]);
  EXPECT_EQ(server.pixel(160 + 720, 180), colours[1]);
  EXPECT_EQ(server.pixel(160 + 240, 540), colours[2]);
  EXPECT_EQ(server.pixel(1116, 716), colours[3]);

  SDL_SysWMinfo wm;
  SDL_VERSION(&wm.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(SDL_GetWindowFromID(info.window_id), &wm));
  const std::string cmd = "DISPLAY=" + server.name() + " xdotool windowfocus --sync " +
                          std::to_string(wm.info.x11.window) +
                          " key --delay 30 Escape a Up F1 shift+b ctrl+c Return";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::vector<std::string> keys;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (keys.size() < 7 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(display_update(frame.data()), 1);
    while (display_key_waiting()) keys.push_back(display_read_key());
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"\x1b", "a", "\xffH", "\xff;", "B", "\x03", "\r"}));

  // Another window takes the focus: the loop keeps to about 60 frames per
  // second (a generous band for a loaded machine) without drawing.
  Window other =
      XCreateSimpleWindow(server.x(), DefaultRootWindow(server.x()), 0, 0, 10, 10, 0, 0, 0);
  XMapWindow(server.x(), other);
  XSync(server.x(), False);
  XSetInputFocus(server.x(), other, RevertToNone, CurrentTime);
  XSync(server.x(), False);
  for (int i = 0; i < 600 && display_info().active; ++i) display_update(frame.data());
  ASSERT_FALSE(display_info().active);
  int frames = 0;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    ASSERT_EQ(display_update(frame.data()), 1);
    ++frames;
  }
  EXPECT_GE(frames, 60);
  EXPECT_LE(frames, 150);
  display_close();
}

}  // namespace
