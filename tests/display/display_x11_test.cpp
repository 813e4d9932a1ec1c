// The display on a real X server: each case starts this program again under
// xvfb-run with a given screen, where the matching DisplayX11Child case opens
// the display, reads the presented picture back from the screen and, with
// xdotool, types keys into the window.
#include "display/display.h"
#include "display/display_info.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int W = 800, H = 600;
constexpr const char *child_variable = "VARNKOL_XVFB_CHILD";

bool have_program(const char *name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string own_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// Runs DisplayX11Child.<name> on a fresh X server with the given screen.
void run_under_xvfb(const char *name, const char *screen) {
  if (!have_program("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  std::string cmd = std::string(child_variable) + "=1 xvfb-run -a -s '-screen 0 " + screen +
                    " -nolisten tcp' '" + own_path() + "' --gtest_filter=DisplayX11Child." + name +
                    " 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  std::string marker = std::string("child finished: ") + name;
  if (out.find("xdotool is not installed") != std::string::npos)
    GTEST_SKIP() << "xdotool is not installed";
  EXPECT_NE(out.find(marker), std::string::npos) << out;
}

TEST(DisplayX11, TypedKeysAndPictureOn24BitScreen) { run_under_xvfb("Keys", "1024x768x24"); }
TEST(DisplayX11, ExactModeOn16BitScreen) { run_under_xvfb("SixteenBit", "800x600x16"); }
TEST(DisplayX11, LetterBoxedOnWideScreen) { run_under_xvfb("LetterBox", "1280x720x24"); }

// ---- Inside Xvfb -----------------------------------------------------------

class DisplayX11Child : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv(child_variable))
      GTEST_SKIP() << "runs inside Xvfb, started by the DisplayX11 cases";
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("VARNKOL_UNPACED", "1", 1);
    x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
  }
  void TearDown() override {
    display_close();
    if (x) XCloseDisplay(x);
  }

  // Four quadrants of different colours.
  static std::vector<uint32_t> quadrants() {
    std::vector<uint32_t> f(size_t(W) * H);
    for (int y = 0; y < H; ++y)
      for (int xx = 0; xx < W; ++xx)
        f[size_t(y) * W + size_t(xx)] =
            y < H / 2 ? (xx < W / 2 ? 0xF71F00 : 0x2080F0) : (xx < W / 2 ? 0xFFFFFF : 0x40C020);
    return f;
  }

  // The screen's pixel value at (px, py).
  unsigned long screen_pixel(int px, int py) {
    XSync(x, False);
    XImage *img = XGetImage(x, DefaultRootWindow(x), px, py, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xDEADBEEF;
    unsigned long v = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return v;
  }

  void present_a_few(const std::vector<uint32_t> &frame) {
    for (int i = 0; i < 5; ++i) ASSERT_EQ(display_update(frame.data()), 1);
  }

  Display *x = nullptr;
};

uint16_t rgb565(uint32_t p) {
  return uint16_t(((p >> 19) & 0x1F) << 11 | ((p >> 10) & 0x3F) << 5 | ((p >> 3) & 0x1F));
}

TEST_F(DisplayX11Child, Keys) {
  if (!have_program("xdotool")) {
    std::puts("xdotool is not installed");
    GTEST_SKIP() << "xdotool is not installed";
  }
  ASSERT_EQ(display_open("VARN KOL", W, H), 1) << SDL_GetError();
  DisplayInfo info = display_info();
  ASSERT_STREQ(info.layout->name, "32 XRGB");
  EXPECT_FALSE(info.exact_mode);
  std::vector<uint32_t> frame = quadrants();
  present_a_few(frame);
  // 800x600 scaled by 1.28 fills 1024x768.
  EXPECT_EQ(screen_pixel(256, 192), 0xF71F00u);
  EXPECT_EQ(screen_pixel(768, 192), 0x2080F0u);
  EXPECT_EQ(screen_pixel(256, 576), 0xFFFFFFu);
  EXPECT_EQ(screen_pixel(768, 576), 0x40C020u);
  // The whole screen is covered, corner to corner.
  EXPECT_EQ(screen_pixel(3, 3), 0xF71F00u);
  EXPECT_EQ(screen_pixel(1020, 764), 0x40C020u);

  SDL_SysWMinfo wm;
  SDL_VERSION(&wm.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(SDL_GetWindowFromID(info.window_id), &wm));
  std::string cmd = "xdotool windowfocus --sync " + std::to_string(wm.info.x11.window) +
                    " key --delay 30 Escape a Up F1 shift+b ctrl+c Return";
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  std::vector<std::string> keys;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (keys.size() < 7 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(display_update(frame.data()), 1);
    while (display_key_waiting()) keys.push_back(display_read_key());
    SDL_Delay(5);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"\x1b", "a", "\xffH", "\xff;", "B", "\x03", "\r"}));
  std::puts("child finished: Keys");
}

TEST_F(DisplayX11Child, SixteenBit) {
  ASSERT_EQ(display_open("VARN KOL", W, H), 1) << SDL_GetError();
  DisplayInfo info = display_info();
  ASSERT_STREQ(info.layout->name, "16 RGB565");
  EXPECT_TRUE(info.exact_mode);
  std::vector<uint32_t> frame = quadrants();
  present_a_few(frame);
  EXPECT_EQ(screen_pixel(200, 150), rgb565(0xF71F00));
  EXPECT_EQ(screen_pixel(200, 150), 0xF0E0u);
  EXPECT_EQ(screen_pixel(600, 150), rgb565(0x2080F0));
  EXPECT_EQ(screen_pixel(200, 450), 0xFFFFu);
  EXPECT_EQ(screen_pixel(600, 450), rgb565(0x40C020));
  std::puts("child finished: SixteenBit");
}

TEST_F(DisplayX11Child, LetterBox) {
  ASSERT_EQ(display_open("VARN KOL", W, H), 1) << SDL_GetError();
  EXPECT_FALSE(display_info().exact_mode);
  std::vector<uint32_t> frame = quadrants();
  present_a_few(frame);
  // Scaled by 1.2 to 960x720, centred: black bars 160 pixels wide.
  EXPECT_EQ(screen_pixel(80, 360), 0u);
  EXPECT_EQ(screen_pixel(1200, 360), 0u);
  EXPECT_EQ(screen_pixel(160 + 240, 180), 0xF71F00u);
  EXPECT_EQ(screen_pixel(160 + 720, 540), 0x40C020u);
  std::puts("child finished: LetterBox");
}

}  // namespace
