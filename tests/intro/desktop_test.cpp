// The intro on a real X desktop: a private Xvfb per case (started with
// -displayfd, so it picks a free display itself), mostly with a screen that
// offers an 800x600 mode besides its own. The varnkol program takes that
// mode, shows the title (also on a 30-bit desktop) and the scene, and the
// desktop's mode is back after two ESC presses or SIGTERM; it runs on as a
// background job of a terminal and says why when it cannot start. Through
// SDL's disk audio driver, its sound is silence through the title and then
// the embedded tune.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "assets/music_data.h"
#include "assets/pictures.h"
#include "support/default_player.h"

// After gtest, whose names X11's macros (None) would clash with.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

extern char **environ;

namespace {

using Size = std::pair<int, int>;

// Polls `ready` every 20 ms for up to `seconds` (generous: the machine may be
// loaded).
bool wait_for(const std::function<bool()> &ready, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (; !ready(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

struct Xvfb {
  pid_t pid = -1;
  std::string name = ":";
  Display *x = nullptr;

  // `screen` as Xvfb takes it, e.g. "1024x768x24"; x is null when it did not
  // start.
  explicit Xvfb(const std::string &screen) {
    int fds[2];
    if (pipe(fds) != 0 || (pid = fork()) < 0) return;
    if (pid == 0) {
      const std::string cmd = "exec Xvfb -displayfd " + std::to_string(fds[1]) + " -screen 0 " +
                              screen + " -nolisten tcp 2>/dev/null";
      execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
      _exit(127);
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    for (char c; poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) name += c;
    close(fds[0]);
    x = XOpenDisplay(name.c_str());
    setenv("DISPLAY", name.c_str(),
           1);  // for this process and the programs it starts
  }
  ~Xvfb() {
    if (x) XCloseDisplay(x);
    if (pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
  }
  // Offers an 800x600 mode at 60 Hz; it lasts as long as this connection.
  void add_800x600() {
    XRRScreenResources *res = XRRGetScreenResources(x, DefaultRootWindow(x));
    char mode[] = "800x600";
    XRRModeInfo m{0, 800, 600, 40000000, 840, 968, 1056, 0, 601, 605, 628, mode, 7, 0};
    XRRAddOutputMode(x, res->outputs[0], XRRCreateMode(x, DefaultRootWindow(x), &m));
    XRRFreeScreenResources(res);
  }
  Size mode_size() {
    XRRScreenResources *res = XRRGetScreenResourcesCurrent(x, DefaultRootWindow(x));
    XRRCrtcInfo *crtc = XRRGetCrtcInfo(x, res, res->crtcs[0]);
    const Size size(crtc->width, crtc->height);
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(res);
    return size;
  }
  // Whether the screen shows 0x00RRGGBB at (px, py), to its depth's precision.
  bool shows(int px, int py, uint32_t rgb) {
    XImage *img = XGetImage(x, DefaultRootWindow(x), px, py, 1, 1, AllPlanes, ZPixmap);
    if (!img) return false;
    const unsigned long v = XGetPixel(img, 0, 0);
    const int depth = img->depth;
    XDestroyImage(img);
    if (depth == 16)
      return ((v >> 11) << 19 | (v >> 5 & 0x3F) << 10 | (v & 0x1F) << 3) == (rgb & 0xF8FCF8);
    if (depth == 30)
      return ((v >> 22 & 0xFF) << 16 | (v >> 12 & 0xFF) << 8 | (v >> 2 & 0xFF)) == rgb;
    return v == rgb;
  }
};

// A point near (x, y) where the title is one colour over 3x3 pixels, so that
// scaling cannot blend it with others.
std::pair<int, int> flat_title_point(int x, int y) {
  auto at = [](int xx, int yy) { return asset_title_pixels[800 * yy + xx]; };
  for (;; x = x % 790 + 3, y = y % 590 + 2) {
    bool flat = true;
    for (int d = 0; d < 9; ++d) flat = flat && at(x - 1 + d % 3, y - 1 + d / 3) == at(x, y);
    if (flat) return {x, y};
  }
}

class Desktop : public ::testing::Test {
 protected:
  // Starts the program on a screen ("WxHxDEPTH") offering an 800x600 mode as
  // well when `offer_800x600`; it must take that mode (else scale the frame
  // to the screen, an exact 2 for 1600x1200) and show the title, then the
  // scene.
  void start(const std::string &screen, bool offer_800x600) {
    server_ = std::make_unique<Xvfb>(screen);
    ASSERT_NE(server_->x, nullptr) << "no Xvfb";
    if (offer_800x600) server_->add_800x600();
    desktop_ = server_->mode_size();
    scale_ = offer_800x600 ? 1 : desktop_.first / 800;
    setenv("SDL_AUDIODRIVER", audio_driver_, 1);
    setenv("VK68_HOME", "/nonexistent", 1);  // the music's default settings
    unsetenv("SDL_VIDEODRIVER");
    char *argv[] = {const_cast<char *>(VARNKOL), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, VARNKOL, nullptr, nullptr, argv, environ), 0);
    auto title = [&](std::pair<int, int> p) {
      const unsigned char *c =
          asset_title_palette + 3 * asset_title_pixels[800 * p.second + p.first];
      return shows(p.first, p.second, c[0] << 16 | c[1] << 8 | c[2]);
    };
    const auto a = flat_title_point(400, 300), b = flat_title_point(100, 500),
               c = flat_title_point(700, 80);
    EXPECT_TRUE(wait_for([&] { return title(a) && title(b) && title(c); }, 30)) << "no title";
    EXPECT_EQ(server_->mode_size(), offer_800x600 ? Size(800, 600) : desktop_);
    EXPECT_TRUE(wait_for_colour(400, 100, 0x601335, 0x541031)) << "no sky (or disc): no scene";
  }
  // Whether the screen shows `rgb` where the frame's pixel (x, y) lands.
  bool shows(int x, int y, uint32_t rgb) {
    return server_->shows(x * scale_ + scale_ / 2, y * scale_ + scale_ / 2, rgb);
  }
  bool wait_for_colour(int x, int y, uint32_t a, uint32_t b) {
    return wait_for([&] { return shows(x, y, a) || shows(x, y, b); }, 60);
  }
  // The program has ended as `expected` says, and the desktop's mode is back.
  void end(bool (*expected)(int status)) {
    int status = -1;
    if (!wait_for([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 30)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    EXPECT_TRUE(expected(status)) << status;
    EXPECT_EQ(server_->mode_size(), desktop_) << "the desktop's mode is not back";
  }
  // Presses ESC in the program's window.
  static void escape() {
    EXPECT_EQ(std::system("xdotool search --name '^VARN KOL$' windowfocus --sync key Escape"), 0);
  }
  const char *audio_driver_ = "dummy";
  std::unique_ptr<Xvfb> server_;
  Size desktop_;
  int scale_ = 1;
  pid_t pid_ = -1;
};

bool exit_0(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// Track 1 of the embedded tune from its start, as the player renders it.
std::vector<uint32_t> tune_start(int samples) {
  Player68 *player = enginetest::default_player();
  std::vector<uint32_t> out(samples);
  if (player && vk68_load_buffer(player, asset_music, int32_t(asset_music_size)) == 0 &&
      vk68_play(player, 1) == 0)
    for (uint32_t &w : out) vk68_process(player, &w, 1);
  vk68_shutdown(player);
  return out;
}

// Two ESC presses end the program with the desktop's mode back. The sound
// device is a file written in real time (16-bit stereo, 44100 Hz): silent
// while the title shows (6 s), then the tune, sample for sample.
TEST_F(Desktop, TwoEscapesEndTheProgramSilentThroughTheTitleThenTheTune) {
  char file[] = "/tmp/varnkol-sound-XXXXXX";
  close(mkstemp(file));
  setenv("SDL_DISKAUDIOFILE", file, 1);
  audio_driver_ = "disk";
  start("1024x768x16", true);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  escape();
  EXPECT_TRUE(wait_for_colour(5, 50, 0xF71F00, 0xF71F00)) << "no closing screen";
  escape();
  end(exit_0);

  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::remove(file);
  std::vector<uint32_t> sound(bytes.size() / 4);
  std::memcpy(sound.data(), bytes.data(), sound.size() * 4);
  const auto nonzero = [](uint32_t w) { return w != 0; };
  const size_t heard = std::find_if(sound.begin(), sound.end(), nonzero) - sound.begin();
  EXPECT_GT(heard, 5u * 44100) << "sound before the end of the title";
  const std::vector<uint32_t> tune = tune_start(22050);
  const size_t first = std::find_if(tune.begin(), tune.end(), nonzero) - tune.begin();
  ASSERT_LT(first, tune.size());
  ASSERT_GT(sound.size(), heard + tune.size() - first) << "less than half a second of the tune";
  EXPECT_TRUE(std::equal(tune.begin() + first, tune.end(), sound.begin() + heard));
}

// Ended by the signal, as by its default action.
bool by_sigterm(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM; }

TEST_F(Desktop, SigtermEndsTheProgramWithTheDesktopModeBack) {
  start("1024x768x24", true);
  kill(pid_, SIGTERM);
  end(by_sigterm);
}

// A 30-bit desktop: a window format without a converter of its own.
TEST_F(Desktop, ThirtyBitDesktopShowsTheTitle) {
  start("1600x1200x30", false);
  kill(pid_, SIGTERM);
  end(by_sigterm);
}

// The program's stderr and exit status under `env` arguments; a program
// that does not end within 30 s (a generous bound: the machine may be
// loaded) is stopped and gives 124.
std::pair<std::string, int> start_up(const std::string &env) {
  const std::string cmd = "env " + env + " SDL_AUDIODRIVER=dummy timeout 30 " +
                          std::string(VARNKOL) + " 2>&1 >/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(p)) != EOF;) out += char(c);
  const int status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A failed start says why on one line. Without a display SDL would fall
// back to drawing off-screen, unseen and deaf to keys: the program says
// there is no display instead, unless SDL_VIDEODRIVER asks for such a
// driver.
TEST(Program, StartUpFailuresSayWhyOnOneLine) {
  const auto [out, status] = start_up("SDL_VIDEODRIVER=none");
  EXPECT_EQ(status, 255);
  EXPECT_TRUE(std::regex_match(out, std::regex("varnkol: cannot open the display: [^\n]+\n")))
      << out;
  const auto [none, why] = start_up("-u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY");
  EXPECT_EQ(why, 255);
  EXPECT_TRUE(none.ends_with("varnkol: cannot open the display: no display available\n")) << none;
}

// A background job of an interactive terminal that touched the terminal's
// mode would be stopped ("Stopped (tty output)"); the program must run on.
TEST(Program, RunsOnAsABackgroundJobOfATerminal) {
  int terminal = -1;
  const pid_t shell = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(shell, 0);
  if (shell == 0) {
    // Like a shell: the session leader keeps the terminal's foreground and
    // starts the program in a process group of its own.
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      execl(VARNKOL, VARNKOL, nullptr);
      _exit(127);
    }
    setpgid(job, job);
    // The title looks at the console every 50 ms: two seconds give it many
    // chances.
    int status;
    const bool stopped_or_ended =
        wait_for([&] { return waitpid(job, &status, WNOHANG | WUNTRACED) == job; }, 2);
    kill(job, SIGKILL);
    _exit(stopped_or_ended);
  }
  int status = -1;
  waitpid(shell, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "stopped (or ended)";
}

}  // namespace
