// The intro driver end to end against the off-screen display, a virtual
// clock and a recording music stand-in; random numbers and the sleep rule;
// the varnkol-capture program on the same driver, its PNGs read back.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "assets/music_data.h"
#include "assets/pictures.h"
#include "audio/music.h"
#include "intro/driver.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"
#include "offscreen.h"

namespace {

// "start", "resume", "stop", each with the number of frames presented before it.
std::vector<std::pair<std::string, uint64_t>> music_calls;
bool music_start_result = true;
const void *music_file;
size_t music_size;

}  // namespace

extern "C" int music_start(const void *file, size_t size) {
  music_calls.push_back({"start", offscreen::frames_presented()});
  music_file = file;
  music_size = size;
  return music_start_result;
}
extern "C" void music_resume(void) {
  music_calls.push_back({"resume", offscreen::frames_presented()});
}
extern "C" void music_stop(void) { music_calls.push_back({"stop", offscreen::frames_presented()}); }

namespace {

constexpr uint16_t kEsc = 27;

TEST(Random, FifteenBitValuesTheSameInEveryRun) {
  random_reset();
  std::set<double> seen;
  for (int i = 0; i < 100000; ++i) seen.insert(random_unit() * 32768);
  EXPECT_GT(seen.size(), 30000u);
  for (double k : seen) ASSERT_TRUE(k >= 0 && k < 32768 && k == std::floor(k)) << k;
  random_reset();
  const double first = random_unit();
  random_reset();
  EXPECT_EQ(random_unit(), first);
}

TEST(Sleep, LongSleepsEndAtTheFirst50MsStepAfterAConsoleKey) {
  const uint64_t never = ~uint64_t{0};
  const struct {
    uint32_t ms;
    uint64_t key_at, slept;
  } cases[] = {{99, 0, 99},     {100, 0, 0},        {6000, never, 6000}, {6000, 50, 50},
               {6000, 51, 100}, {6000, 1234, 1250}, {130, never, 130},   {3000, 2999, 3000}};
  for (const auto &c : cases) {
    offscreen::reset();
    offscreen::set_console_key_at(c.key_at);
    sleep_ms(c.ms);
    EXPECT_EQ(offscreen::clock_ms(), c.slept) << c.ms << " key at " << c.key_at;
  }
}

class DriverTest : public ::testing::Test {
 protected:
  // Per presented frame: the clock and the bar, logo and middle pixels; the
  // whole of frames 1 and 2.
  std::vector<uint64_t> clock_at;
  std::vector<std::array<uint32_t, 3>> probes;
  std::vector<uint32_t> frames[3];
  void SetUp() override {
    offscreen::reset();
    music_calls.clear();
    music_start_result = true;
    clock_at.clear();
    probes.clear();
    offscreen::set_frame_hook([this](uint64_t f, const uint32_t *px) {
      clock_at.push_back(offscreen::clock_ms());
      probes.push_back({px[50 * 800 + 5], px[40 * 800 + 400], px[300 * 800 + 400]});
      if (f < 3) frames[f].assign(px, px + kScreenPixels);
    });
    offscreen::set_frame_limit(2000, [] {  // a driver that never ends
      std::fputs("driver did not end\n", stderr);
      std::_Exit(99);
    });
  }
  // Runs the intro with keys pressed in the window at the given frames.
  int run(std::vector<std::pair<uint64_t, uint16_t>> keys, uint64_t console_key_at = ~0ull) {
    for (auto [frame, code] : keys) offscreen::schedule_key(frame, code);
    offscreen::set_console_key_at(console_key_at);
    return intro_run();
  }
};

TEST_F(DriverTest, TitleSceneAndClosingEndedByEscapes) {
  const struct {
    std::vector<std::pair<uint64_t, uint16_t>> keys;
    uint64_t console_key_at, title_ms, stop_frame, frames;
  } cases[] = {
      // One scene frame, one closing frame; the title takes its 6 s.
      {{{1, kEsc}, {2, kEsc}}, ~0ull, 6000, 2, 3},
      // ESC during the title neither shortens it nor lets a second scene
      // frame pass; a console key does shorten it.
      {{{0, kEsc}, {2, kEsc}}, 1234, 1250, 2, 3},
      // Keys are read one per frame; only ESC counts, not 'a', Up or F1.
      {{{0, 'a'}, {0, 257}, {0, 267}, {0, kEsc}, {5, kEsc}}, ~0ull, 6000, 5, 6},
      // ESC held down: the closing loop may end on its first frame.
      {{{0, kEsc}, {0, kEsc}}, ~0ull, 6000, 2, 3},
  };
  for (const auto &c : cases) {
    SetUp();
    ASSERT_EQ(run(c.keys, c.console_key_at), 0);
    ASSERT_EQ(clock_at.size(), c.frames);
    EXPECT_EQ(clock_at[1], c.title_ms);
    EXPECT_EQ(music_calls,
              (decltype(music_calls){{"start", 0}, {"resume", 1}, {"stop", c.stop_frame}}));
    EXPECT_EQ(music_file, asset_music);
    EXPECT_EQ(music_size, 51464u);
    EXPECT_EQ(std::string(offscreen::open_title()) + std::to_string(offscreen::open_width()) + "x" +
                  std::to_string(offscreen::open_height()),
              "VARN KOL800x600");
    EXPECT_FALSE(offscreen::is_open()) << "the screen is given back at the end";
  }
}

TEST_F(DriverTest, ClosingFramesShowTheBlinkingBarAndTheLogo) {
  ASSERT_EQ(run({{0, kEsc}, {2 + 620, kEsc}}), 0);
  ASSERT_EQ(probes.size(), 623u);
  // The first closing frame is drawn over the last scene frame: below the
  // bar and in column 0 it still shows.
  for (int i = 96 * 800; i < kScreenPixels; ++i) ASSERT_EQ(frames[2][i], frames[1][i]) << i;
  EXPECT_EQ(frames[2][50 * 800], frames[1][50 * 800]);
  EXPECT_EQ(frames[1][300 * 800 + 400], 0x601335u);
  const unsigned char *logo = asset_logo_palette + 3 * asset_logo_pixels[780 * 30 + 385];
  for (int i = 0; i <= 620; ++i) {
    const auto [bar, logo_pixel, middle] = probes[2 + i];
    EXPECT_EQ(bar, i % 300 < 150 ? kBarColour : 0u) << "closing frame " << i;
    EXPECT_EQ(logo_pixel, uint32_t(logo[0] << 16 | logo[1] << 8 | logo[2])) << i;
    EXPECT_TRUE(i == 0 || middle == 0) << i;
  }
}

TEST_F(DriverTest, StartUpFailuresEndWithMinusOne) {
  music_start_result = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({}), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error loading song...\n");
  EXPECT_EQ(offscreen::clock_ms(), 3000u);
  EXPECT_FALSE(offscreen::is_open());
  SetUp();
  offscreen::set_open_result(false);
  EXPECT_EQ(run({}), -1);
  EXPECT_EQ(offscreen::clock_ms() + offscreen::frames_presented(), 0u);
  EXPECT_EQ(music_calls.size(), 1u);  // started, never resumed
}

namespace fs = std::filesystem;

TEST(Capture, WritesTheListedFramesAndEndsWithTheIntrosStatus) {
  const fs::path dir = fs::temp_directory_path() / ("varnkol-capture-" + std::to_string(getpid()));
  auto run = [&](const std::string &args) {
    const std::string cmd = std::string(CAPTURE_TOOL) + " --out " + dir.string() + " " + args;
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  // Frame n as 0x00RRGGBB pixels; empty unless an 800x600 PNG.
  auto frame = [&](int n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", n);
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    std::vector<png_byte> rgb(800 * 600 * 3);
    std::vector<uint32_t> px;
    if (!png_image_begin_read_from_file(&img, (dir / name).c_str()) || img.width != 800 ||
        img.height != 600)
      return px;
    img.format = PNG_FORMAT_RGB;
    if (png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr))
      for (size_t i = 0; i < rgb.size(); i += 3)
        px.push_back(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return px;
  };
  ASSERT_EQ(run("--frames 0,2-3,9 --keys 0:Esc,3:ESC"), 0);
  // Frame 9 never came: the second ESC ended the run at frame 3.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
  const std::vector<uint32_t> title = frame(0), closing = frame(3);
  ASSERT_FALSE(title.empty() || frame(2).empty() || closing.empty());
  const unsigned char *c = asset_title_palette + 3 * asset_title_pixels[800 * 300 + 400];
  EXPECT_EQ(title[300 * 800 + 400], uint32_t(c[0] << 16 | c[1] << 8 | c[2]));
  EXPECT_EQ(title[0], 0u);
  EXPECT_EQ(closing[50 * 800 + 5], 0xF71F00u);  // the bar of the second closing frame
  EXPECT_EQ(closing[300 * 800 + 400], 0u);

  fs::remove_all(dir);
  EXPECT_EQ(run("--frames 4,5 --max-frames 5"), 3);
  EXPECT_FALSE(frame(4).empty());
  EXPECT_FALSE(fs::exists(dir / "frame-000005.png"));
  for (const char *bad : {"--keys 3:nosuchkey", "--frames 5-2", "--max-frames 0", "--bogus"})
    EXPECT_EQ(run(bad), 2) << bad;
  fs::remove_all(dir);
}

}  // namespace
