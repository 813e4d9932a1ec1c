// The intro driver end to end against the off-screen display, a virtual
// clock and a recording music stand-in; the text table, random numbers and
// the sleep rule.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "audio/music.h"
#include "intro/driver.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"
#include "offscreen.h"

namespace {

// "start", "resume", "stop", each with the frames presented before it.
std::vector<std::pair<std::string, uint64_t>> music_calls;
bool music_start_result = true;

}  // namespace

extern "C" int music_start(const void *, size_t) {
  music_calls.push_back({"start", offscreen::frames_presented()});
  return music_start_result;
}
extern "C" void music_resume(void) {
  music_calls.push_back({"resume", offscreen::frames_presented()});
}
extern "C" void music_stop(void) { music_calls.push_back({"stop", offscreen::frames_presented()}); }

namespace {

constexpr uint16_t kEsc = 27;
using Frame = std::vector<uint32_t>;

TEST(IntroText, TheTableHoldsTheIntroLinesAndNothingElse) {
  fill_intro_text();
  const std::pair<int, size_t> lengths[] = {
      {1, 16},  {2, 17},  {4, 16},  {5, 13},  {7, 7},   {8, 8},   {9, 21},  {12, 18},
      {13, 12}, {16, 20}, {17, 20}, {21, 13}, {23, 17}, {24, 20}, {25, 16}, {26, 14},
      {31, 11}, {33, 23}, {34, 23}, {35, 23}, {45, 21}, {46, 21}};
  std::set<int> filled;
  for (auto [i, n] : lengths) {
    EXPECT_EQ(intro_text[i].size(), n) << i;
    filled.insert(i);
  }
  for (int i = 0; i < kTextEntries; ++i)
    EXPECT_EQ(intro_text[i].empty(), !filled.count(i)) << i;
  for (int i = 23; i <= 26; ++i)
    EXPECT_TRUE(std::regex_match(intro_text[i], std::regex("[A-Z0-9]+ [A-Z0-9]+"))) << i;
  EXPECT_EQ(intro_text[1], " V A R N  K O L ");
  EXPECT_EQ(intro_text[35], "          Glimmerod II ");
}

TEST(Random, FifteenBitValuesTheSameInEveryRun) {
  random_reset();
  std::vector<double> first;
  std::set<double> seen;
  for (int i = 0; i < 100000; ++i) {
    const double v = random_unit() * 32768;
    ASSERT_TRUE(v >= 0 && v < 32768 && v == std::floor(v)) << v;
    seen.insert(v);
    if (i < 50) first.push_back(v);
  }
  EXPECT_GT(seen.size(), 30000u);
  random_reset();
  for (double v : first) EXPECT_EQ(random_unit() * 32768, v);
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
  // Per presented frame: the clock, the bar, logo and middle pixels, and
  // the whole frame for the first three and frame 399.
  std::vector<uint64_t> clock_at;
  std::vector<std::array<uint32_t, 3>> probes;
  std::vector<Frame> frames;
  void SetUp() override {
    offscreen::reset();
    music_calls.clear();
    music_start_result = true;
    clock_at.clear();
    probes.clear();
    frames.clear();
    offscreen::set_frame_hook([this](uint64_t f, const uint32_t *px) {
      clock_at.push_back(offscreen::clock_ms());
      probes.push_back({px[50 * 800 + 5], px[40 * 800 + 400], px[300 * 800 + 400]});
      frames.emplace_back();
      if (f < 3 || f == 399) frames.back().assign(px, px + kScreenPixels);
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
      // ESC during the title neither shortens it nor lets a scene frame pass
      // beyond the first; a console key does shorten it.
      {{{0, kEsc}, {2, kEsc}}, 1234, 1250, 2, 3},
      // Keys are read one per frame; only ESC counts, not Up, F1 or 'a'.
      {{{0, 'a'}, {0, 257}, {0, 267}, {0, kEsc}, {5, kEsc}}, ~0ull, 6000, 5, 6},
      // ESC held down: the closing loop may end on its first frame.
      {{{0, kEsc}, {0, kEsc}}, ~0ull, 6000, 2, 3},
  };
  for (const auto &c : cases) {
    SetUp();
    ASSERT_EQ(run(c.keys, c.console_key_at), 0);
    ASSERT_EQ(clock_at.size(), c.frames);
    EXPECT_EQ(music_calls,
              (decltype(music_calls){{"start", 0}, {"resume", 1}, {"stop", c.stop_frame}}));
    EXPECT_EQ(clock_at.at(1), c.title_ms);
    EXPECT_EQ(offscreen::frames_presented(), c.frames);
    EXPECT_STREQ(offscreen::open_title(), "VARN KOL");
    EXPECT_EQ(offscreen::open_width(), 800);
    EXPECT_EQ(offscreen::open_height(), 600);
    EXPECT_FALSE(offscreen::is_open()) << "the screen is given back at the end";
  }
}

TEST_F(DriverTest, ClosingFramesShowTheBlinkingBarAndTheLogo) {
  ASSERT_EQ(run({{0, kEsc}, {2 + 620, kEsc}}), 0);
  ASSERT_EQ(probes.size(), 623u);
  const Frame &scene_frame = frames[1], &first = frames[2];
  auto at = [](const Frame &f, int x, int y) { return f[y * 800 + x]; };
  const unsigned char *logo = asset_logo_palette + 3 * asset_logo_pixels[780 * 30 + 385];
  const uint32_t logo_colour = uint32_t(logo[0]) << 16 | logo[1] << 8 | logo[2];
  // The first closing frame is drawn over the last scene frame; rows below
  // the bar and column 0 still show it.
  for (int y = 96; y < 600; ++y) ASSERT_EQ(at(first, 400, y), at(scene_frame, 400, y)) << y;
  EXPECT_EQ(at(first, 0, 50), at(scene_frame, 0, 50));
  EXPECT_EQ(at(scene_frame, 400, 300), 0x601335u);
  for (int i = 0; i <= 620; ++i) {
    const auto [bar, logo_pixel, middle] = probes[2 + i];
    EXPECT_EQ(bar, i % 300 < 150 ? kBarColour : 0u) << "closing frame " << i;
    EXPECT_EQ(logo_pixel, logo_colour) << i;
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
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({}), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(offscreen::clock_ms() + offscreen::frames_presented(), 0u);
  EXPECT_EQ(music_calls.size(), 1u);  // started, never resumed
}

TEST_F(DriverTest, RunsAreRepeatable) {
  ASSERT_EQ(run({{400, kEsc}, {401, kEsc}}), 0);
  const Frame a = frames.at(399);
  SetUp();
  ASSERT_EQ(run({{400, kEsc}, {401, kEsc}}), 0);
  EXPECT_TRUE(a == frames.at(399));
}

}  // namespace
