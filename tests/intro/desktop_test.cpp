// The varnkol program itself on a private X server (Xvfb) whose 1024x768
// screen also offers an 800x600 mode: it takes that mode and shows the title
// at any screen depth, and the desktop's mode is back after two ESC presses
// or SIGTERM. Also from a background job of a terminal, and when it cannot
// start.
#include <gtest/gtest.h>
#include <pty.h>
#include <spawn.h>

#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "assets/pictures.h"
#include "display/xvfb.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using Size = std::pair<int, int>;

// Polls `ready` every 20 ms for up to `seconds` (generous: the machine may
// be loaded).
bool wait_for(const std::function<bool()> &ready, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (!ready()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Starts the intro with `env` added to this process's environment (less its
// DISPLAY and SDL settings); silent audio.
pid_t start_intro(std::vector<std::string> env) {
  env.push_back("SDL_AUDIODRIVER=dummy");
  for (char **e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) && std::strncmp(*e, "SDL_", 4)) env.push_back(*e);
  std::vector<char *> envp;
  for (std::string &s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  char *argv[] = {const_cast<char *>(VARNKOL), nullptr};
  pid_t pid = -1;
  return posix_spawn(&pid, VARNKOL, nullptr, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

// The wait status once the process has ended, or -1 (and killed) when it has
// not within `seconds`.
int end_status(pid_t pid, int seconds) {
  int status = -1;
  if (wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) return status;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Whether the screen value `v` of a screen of `depth` shows 0x00RRGGBB.
bool shows(unsigned long v, uint32_t rgb, int depth) {
  const uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  if (depth == 16) return v == ((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
  if (depth == 30) return ((v >> 22 & 0xFF) << 16 | (v >> 12 & 0xFF) << 8 | (v >> 2 & 0xFF)) == rgb;
  return v == rgb;
}

uint32_t title_colour(int x, int y) {
  const unsigned char *c = asset_title_palette + 3 * asset_title_pixels[800 * y + x];
  return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}

class Desktop : public ::testing::Test {
 protected:
  // Starts the intro on a 1024x768 screen of `depth` with an 800x600 mode;
  // it must switch to that mode and show the title.
  void start(int depth) {
    depth_ = depth;
    server_ = std::make_unique<Xvfb>(("1024x768x" + std::to_string(depth)).c_str());
    ASSERT_NE(server_->x(), nullptr) << "Xvfb did not start";
    ASSERT_TRUE(server_->add_mode(800, 600));
    ASSERT_EQ(server_->mode_size(), Size(1024, 768));
    pid_ = start_intro({"DISPLAY=" + server_->name()});
    ASSERT_GT(pid_, 0);
    EXPECT_TRUE(wait_for(
        [&] {
          for (auto [x, y] : {std::pair{400, 300}, {100, 500}, {700, 80}})
            if (!shows(server_->pixel(x, y), title_colour(x, y), depth)) return false;
          return true;
        },
        30))
        << "no title";
    EXPECT_EQ(server_->mode_size(), Size(800, 600));
  }
  // Waits for one of the colours at (x, y).
  bool wait_for_colour(int x, int y, std::vector<uint32_t> rgb) {
    return wait_for(
        [&] {
          const unsigned long v = server_->pixel(x, y);
          for (uint32_t c : rgb)
            if (shows(v, c, depth_)) return true;
          return false;
        },
        60);
  }
  bool wait_for_scene() { return wait_for_colour(400, 100, {0x601335, 0x541031}); }  // sky, disc
  void press_escape() {
    const std::string cmd = "DISPLAY=" + server_->name() +
                            " xdotool search --name '^VARN KOL$' windowfocus --sync key Escape";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  // The intro ends as expected, and the desktop's mode is back.
  void TearDown() override {
    if (pid_ <= 0 || !server_) return;
    const int status = end_status(pid_, 30);
    if (by_sigterm_)
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    else
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(server_->mode_size(), Size(1024, 768));
  }

  std::unique_ptr<Xvfb> server_;
  int depth_ = 0;
  pid_t pid_ = -1;
  bool by_sigterm_ = false;
};

// 16 bits: a screen format with a converter of its own.
TEST_F(Desktop, TwoEscapesEndTheIntroWithTheDesktopModeBack) {
  start(16);
  EXPECT_TRUE(wait_for_scene());
  press_escape();
  EXPECT_TRUE(wait_for_colour(5, 50, {0xF71F00})) << "no closing screen";
  press_escape();
}

// 30 bits: no converter; the frame goes through SDL's.
TEST_F(Desktop, SigtermDuringTheSceneEndsTheIntroWithTheDesktopModeBack) {
  start(30);
  EXPECT_TRUE(wait_for_scene());
  kill(pid_, SIGTERM);
  by_sigterm_ = true;  // and ended by it, as by its default action
}

TEST(Intro, StartUpFailureSaysWhyOnOneLine) {
  const std::string cmd = std::string("SDL_VIDEODRIVER=nosuchdriver SDL_AUDIODRIVER=dummy ") +
                          VARNKOL + " 2>&1 >/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  for (int c; (c = std::fgetc(p)) != EOF;) out += char(c);
  const int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << status;
  EXPECT_TRUE(std::regex_match(out, std::regex("varnkol: cannot open the display: [^\n]+\n")))
      << out;
}

// A background job of an interactive terminal that touched the terminal's
// mode would be stopped ("Stopped (tty output)"); the intro must run on.
TEST(Intro, RunsOnAsABackgroundJobOfATerminal) {
  int terminal = -1;
  const pid_t shell = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(shell, 0);
  if (shell == 0) {
    // Like a shell: the session leader keeps the terminal's foreground and
    // starts the intro in a process group of its own.
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      execl(VARNKOL, VARNKOL, static_cast<char *>(nullptr));
      _exit(127);
    }
    setpgid(job, job);
    // The title looks at the console every 50 ms; two seconds give it many
    // chances to be stopped.
    int status = 0;
    const bool stopped_or_ended =
        wait_for([&] { return waitpid(job, &status, WNOHANG | WUNTRACED) == job; }, 2);
    kill(job, SIGKILL);
    waitpid(job, &status, 0);
    _exit(stopped_or_ended ? 1 : 0);
  }
  int status = 0;
  waitpid(shell, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "stopped (or ended) in the background";
}

}  // namespace
