// Exact rates over a minute and more, at the nominal clocks and at a PAL
// STE's: the play routine's calls, a YM tone and timer A, at replay rates
// whose frames are no whole multiple of anything (75, 480) and as slow as
// 16 Hz; and the same output whatever the caller's buffer sizes.
#include <fstream>
#include <iterator>

#include "player/player_fixture.h"
#include "vk68/song.h"

namespace playertest {
namespace {

using enginetest::Song;
using Rates = enginetest::NoUserFilesTest;

Song open(const char *file, int clock) {
  std::ifstream in(TUNES "/" + std::string(file), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  vk68_song_options o;
  vk68_song_options_init(&o);
  o.rate = 44100;
  o.clock = clock;
  return Song(vk68_song_open(bytes.data(), bytes.size(), &o, nullptr, 0), vk68_song_close);
}

// Left and right as 32-bit words, rendered in calls of the given sizes (in
// turn) up to n frames.
std::vector<uint32_t> render(vk68_song *song, size_t n, const std::vector<size_t> &calls) {
  std::vector<int16_t> s(2 * n);
  for (size_t done = 0, k = 0; done < n; ++k) {
    const size_t got =
        vk68_song_render(song, &s[2 * done], std::min(calls[k % calls.size()], n - done));
    if (!got) break;
    done += got;
  }
  std::vector<uint32_t> w(n);
  for (size_t i = 0; i < n; ++i) w[i] = uint16_t(s[2 * i]) | uint32_t(uint16_t(s[2 * i + 1])) << 16;
  return w;
}

// rates.vk68: the play routine toggling a level at 50, 75, 200, 480 and
// 16 Hz (a square wave of half the rate), a YM tone of period 284 at 50,
// 75, 200 and 480 Hz, timer A (prescaler 4, data 246) toggling at 50 and
// 480 Hz; each 62 s long.
TEST_F(Rates, ExactOverAMinuteAtBothClocks) {
  const double kRates[] = {50, 75, 200, 480, 16};
  for (int clock : {VK68_SONG_CLOCK_NOMINAL, VK68_SONG_CLOCK_PAL}) {
    const double cpu = clock ? 8021247 : 8000000, ym = clock ? 2002653 : 2000000;
    const Song song = open("rates.vk68", clock);
    ASSERT_TRUE(song);
    for (int track = 1; track <= 11; ++track) {
      const double rate = kRates[(track - 1) % 5];
      // A 50 Hz frame is a PAL ST's VBL of 160256 cycles.
      const double calls = rate == 50 ? cpu / 160256 : rate;
      const double want = track <= 5   ? calls / 2
                          : track <= 9 ? ym / 16 / 284
                                       : 2457600.0 / (4 * 246) / 2;
      ASSERT_EQ(vk68_song_select_track(song.get(), track), 0);
      std::vector<uint32_t> s = render(song.get(), 61 * 44100, {4096});
      s.erase(s.begin(), s.begin() + 44100);  // from 1 s on: the coupling has settled
      EXPECT_NEAR(pitch(s, 0, 44100) / want - 1, 0, 1e-6) << "clock " << clock << " track " << track;
    }
  }
}

// Every chip heard through calls of any size: a YM tone at 75 Hz, STE DMA
// switched by a timer, Amiga voices; one sample at a time, odd sizes, and
// whole seconds.
TEST_F(Rates, SameSamplesWhateverTheCallSizes) {
  const std::pair<const char *, int> kTunes[] = {
      {"rates.vk68", 7}, {"dma.sndh", 1}, {"paula.vk68", 5}};
  for (const auto &[file, track] : kTunes) {
    std::vector<uint32_t> heard[3];
    const std::vector<size_t> sizes[3] = {{44100}, {1}, {7, 500, 883, 1, 2049}};
    for (int k = 0; k < 3; ++k) {
      const Song song = open(file, VK68_SONG_CLOCK_PAL);
      ASSERT_TRUE(song);
      ASSERT_EQ(vk68_song_select_track(song.get(), track), 0);
      heard[k] = render(song.get(), 44100, sizes[k]);
    }
    EXPECT_GT(peak(heard[0], 0) + peak(heard[0], 1), 1000) << file;
    EXPECT_EQ(heard[1], heard[0]) << file;
    EXPECT_EQ(heard[2], heard[0]) << file;
  }
}

}  // namespace
}  // namespace playertest
