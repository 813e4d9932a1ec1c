// Songs through their public API: exact render counts across loops and the
// end, seeking against an uninterrupted render, the options, the texts of
// each format, why an open fails, and two songs on two threads.
#include <gtest/gtest.h>

#include <barrier>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "player/player68.h"
#include "support/default_player.h"
#include "support/engine_fixture.h"
#include "support/music_files.h"
#include "vk68/song.h"

namespace {

using namespace std::string_literals;

constexpr int kRate = 44100;
using Samples = std::vector<int16_t>;  // left, right, ...
using enginetest::Song;

class Songs : public enginetest::NoUserFilesTest {
 protected:
  static Song open(const std::string &bytes, int loops = 0, int blend = VK68_SONG_DEFAULT) {
    vk68_song_options o;
    vk68_song_options_init(&o);
    o.rate = kRate;
    o.loops = loops;
    o.amiga_blend = blend;
    char why[256] = "";
    Song song(vk68_song_open(bytes.data(), bytes.size(), &o, why, sizeof why), vk68_song_close);
    EXPECT_NE(song, nullptr) << why;
    return song;
  }

  // Why opening fails ("" when it does not).
  static std::string refusal(const std::string &bytes, const vk68_song_options *o = nullptr) {
    char why[256] = "unchanged";
    vk68_song *song = vk68_song_open(bytes.data(), bytes.size(), o, why, sizeof why);
    vk68_song_close(song);
    return song ? "" : why;
  }
};

// Renders `frames` frames a call until the song ends: every call before
// the end is full, the one that ends it may be short, the next gives 0.
Samples render_all(vk68_song *song, size_t frames) {
  Samples out, buffer(2 * frames);
  for (;;) {
    const size_t n = vk68_song_render(song, buffer.data(), frames);
    out.insert(out.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(2 * n));
    if (n < frames) break;
  }
  EXPECT_EQ(vk68_song_render(song, buffer.data(), frames), 0u);
  return out;
}

// One pass of a track as a player renders it on its own.
Samples player_pass(const std::string &bytes, int track) {
  Player68 *p = vk68::player_create(kRate);
  Samples out;
  if (p && vk68_load_buffer(p, bytes.data(), int32_t(bytes.size())) == 0 &&
      vk68_play(p, track) == 0) {
    uint32_t words[500];
    for (int status = 0; (status & VK68_PROCESS_STOPPED) != VK68_PROCESS_STOPPED;) {
      const int k = vk68::player_render(p, words, 500, &status);
      if (k < 0) break;
      for (int i = 0; i < k; ++i) {
        out.push_back(int16_t(words[i] & 0xFFFF));
        out.push_back(int16_t(words[i] >> 16));
      }
      if (status & VK68_PROCESS_END) vk68_stop(p);
    }
  }
  vk68::player_destroy(p);
  enginetest::messages();
  return out;
}

// Whether `part` is found in `whole` from sample frame `at` on.
bool same(const Samples &whole, size_t at, const Samples &part) {
  return 2 * at + part.size() <= whole.size() &&
         std::equal(part.begin(), part.end(), whole.begin() + std::ptrdiff_t(2 * at));
}

TEST_F(Songs, RenderCountsAreExactAcrossLoopsAndTheEnd) {
  const std::string steps = read(FILES "/steps.vk68");
  const struct { int track, frames, hz; } kTracks[] = {{1, 7, 50}, {2, 13, 200}};
  for (const auto &t : kTracks) {
    const Samples pass = player_pass(steps, t.track);
    const size_t length = pass.size() / 2;
    EXPECT_NEAR(double(length), double(t.frames) * kRate / t.hz, double(kRate) / t.hz);
    for (int loops : {0, 2}) {
      SCOPED_TRACE("track " + std::to_string(t.track) + ", loops " + std::to_string(loops));
      Song song = open(steps, loops);
      ASSERT_EQ(vk68_song_select_track(song.get(), t.track), 0);
      // Calls that end inside a pass, and calls of exactly one pass.
      const Samples all = render_all(song.get(), loops ? length : 1000);
      ASSERT_EQ(all.size(), pass.size() * size_t(loops + 1));
      // Every pass as the first: the loop point joins the end to the start.
      for (int i = 0; i <= loops; ++i) EXPECT_TRUE(same(all, size_t(i) * length, pass)) << i;
      const double duration = vk68_song_duration(song.get(), t.track);
      EXPECT_NEAR(duration * kRate, double(all.size() / 2), 1e-6);
      EXPECT_DOUBLE_EQ(vk68_song_position(song.get()), duration);
      EXPECT_EQ(vk68_song_error(song.get()), nullptr);
    }
  }
}

TEST_F(Songs, SeekLandsWhereAnUninterruptedRenderIs) {
  Song song = open(read(FILES "/melody.mod"), 1);
  const Samples whole = render_all(song.get(), 4096);
  const double total = vk68_song_duration(song.get(), 1);
  ASSERT_NEAR(total * kRate, double(whole.size() / 2), 1e-6);
  // Back from the end, on into the second pass, back again, near the end.
  for (double t : {0.3, 0.75, 0.1, total - 0.02}) {
    SCOPED_TRACE(t);
    ASSERT_EQ(vk68_song_seek(song.get(), t), 0) << vk68_song_error(song.get());
    const size_t at = size_t(std::lround(t * kRate));
    EXPECT_DOUBLE_EQ(vk68_song_position(song.get()), double(at) / kRate);
    Samples next(2 * 800);
    ASSERT_EQ(vk68_song_render(song.get(), next.data(), 800), 800u);
    EXPECT_TRUE(same(whole, at, next));
  }
  // Past the end: the song stands there; before the start: nothing moves.
  EXPECT_EQ(vk68_song_seek(song.get(), total + 1), -1);
  EXPECT_NE(std::string(vk68_song_error(song.get())).find("past the end of track 1"),
            std::string::npos);
  Samples rest(2 * 10);
  EXPECT_EQ(vk68_song_render(song.get(), rest.data(), 10), 0u);
  EXPECT_EQ(vk68_song_seek(song.get(), -0.5), -1);
  EXPECT_DOUBLE_EQ(vk68_song_position(song.get()), total);
}

TEST_F(Songs, OptionsBlendRateAndClock) {
  const std::string mod = read(FILES "/melody.mod");
  const Samples mono = render_all(open(mod, 0, 32768).get(), 4096);
  const Samples apart = render_all(open(mod, 0, 0).get(), 4096);
  ASSERT_EQ(mono.size(), apart.size());
  size_t differ = 0;
  for (size_t i = 0; i < mono.size(); i += 2) {
    ASSERT_EQ(mono[i], mono[i + 1]) << i;
    differ += apart[i] != apart[i + 1];
  }
  EXPECT_GT(differ, mono.size() / 4);
  vk68_song_options o{};  // zeroed: the configured rate, blend 0, nominal clocks, once
  o.rate = 22050;
  Song slow(vk68_song_open(mod.data(), mod.size(), &o, nullptr, 0), vk68_song_close);
  ASSERT_NE(slow, nullptr);
  const Samples half = render_all(slow.get(), 512);
  EXPECT_NEAR(double(half.size()), double(apart.size()) / 2, 4);
  EXPECT_NEAR(vk68_song_duration(slow.get(), 1) * 22050, double(half.size() / 2), 1e-6);
  EXPECT_NE(half[2000], half[2001]);
  // A real PAL STE's 68000 (8,021,247 Hz) runs the 160256-cycle frames of
  // a 50 Hz track in less time than the nominal 8 MHz one.
  vk68_song_options pal;
  vk68_song_options_init(&pal);
  pal.clock = VK68_SONG_CLOCK_PAL;
  const std::string steps = read(FILES "/steps.vk68");
  Song quick(vk68_song_open(steps.data(), steps.size(), &pal, nullptr, 0), vk68_song_close);
  ASSERT_NE(quick, nullptr);
  const Samples seven = render_all(quick.get(), 1000);
  EXPECT_NEAR(double(seven.size() / 2), 7 * 160256 * double(kRate) / 8021247, 1);
  EXPECT_NEAR(vk68_song_duration(quick.get(), 1) * kRate, double(seven.size() / 2), 1e-6);
}

// Title, artist, composer, year, replay, hardware and format ("-": none),
// the same for the file (track 0) and its track 1.
TEST_F(Songs, TextsOfEachFormat) {
  const std::string sndh = musictest::sndh("TITLTwo tunes\0COMMMe\0YEAR1987\0##02!V50"s);
  const std::pair<std::string, const char *> kCases[] = {
      {read(FILES "/steps.vk68"), "Steps|vk68 tests|-|-|built-in|Yamaha-2149|vk68"},
      {musictest::ice(sndh), "Two tunes|Me|-|1987|sndh_ice|Yamaha-2149 & MicroWire (STE)|sndh+ice"},
      {musictest::gzip(read(FILES "/melody.mod")), "Song test|-|-|-|built-in|Amiga/Paula|mod+gzip"},
  };
  for (const auto &[bytes, texts] : kCases) {
    Song song = open(bytes);
    ASSERT_NE(song, nullptr);
    for (int track : {0, 1}) {
      std::string got;
      for (const char *key :
           {"title", "artist", "composer", "year", "replay", "hardware", "format"}) {
        const char *text = vk68_song_meta(song.get(), track, key);
        got.append(got.empty() ? 0 : 1, '|').append(text ? text : "-");
      }
      EXPECT_EQ(got, texts) << "track " << track;
    }
    const int count = vk68_song_track_count(song.get());
    EXPECT_EQ(vk68_song_meta(song.get(), count + 1, "title"), nullptr);
    EXPECT_EQ(vk68_song_meta(song.get(), 1, "genre"), nullptr);
  }
  Song two = open(sndh);
  EXPECT_EQ(vk68_song_track_count(two.get()), 2);
  EXPECT_EQ(vk68_song_duration(two.get(), 2), 0.0);  // no TIME tag: unknown
}

TEST_F(Songs, FailuresSayWhy) {
  vk68_error_add("the caller's own message");
  std::string mod = read(FILES "/melody.mod");
  ASSERT_EQ(mod.substr(1080, 4), "M.K.");
  const std::string eight = mod.replace(1080, 4, "8CHN");
  vk68_song_options fast;
  vk68_song_options_init(&fast);
  fast.rate = 96000;
  const struct {
    std::string bytes;
    const vk68_song_options *options;
    const char *why;
  } kCases[] = {
      {"just some text, no music", nullptr,
       "not a music file (no VK68, SNDH, ICE or gzip signature)"},
      {musictest::gzip("just some text"), nullptr,
       "packed content: not a music file (no VK68, SNDH, ICE or gzip signature); its "
       "gzip-packed content does not load"},
      {eight, nullptr, "8 channels: only 4 play on Paula"},
      {"", nullptr, "empty file"},
      {read(FILES "/steps.vk68"), &fast, "output rate 96000 is not 6000 to 50000"},
  };
  for (const auto &c : kCases) EXPECT_EQ(refusal(c.bytes, c.options), c.why);

  // A track whose replay never returns ends at once and says why; a track
  // that does not exist is refused.
  Song song = open(read(TUNES "/tone.vk68"));
  ASSERT_EQ(vk68_song_select_track(song.get(), 4), 0);
  int16_t samples[2 * 64];
  EXPECT_EQ(vk68_song_render(song.get(), samples, 64), 0u);
  EXPECT_NE(std::string(vk68_song_error(song.get())).find("did not return"), std::string::npos);
  EXPECT_EQ(vk68_song_select_track(song.get(), 9), -1);
  EXPECT_STREQ(vk68_song_error(song.get()), "no track 9 (8 tracks)");
  EXPECT_EQ(vk68_song_current_track(song.get()), 0);
  EXPECT_EQ(vk68_song_render(song.get(), samples, 64), 0u);
  EXPECT_EQ(enginetest::messages(), std::vector<std::string>{"the caller's own message"});
}

// Songs on two threads at once render what each renders alone; each
// thread takes a chunk in turn with the other, or at the same time.
TEST_F(Songs, TwoSongsOnTwoThreadsRenderAsEachAlone) {
  const std::string files[] = {read(FILES "/steps.vk68"), read(FILES "/melody.mod"),
                               read(TUNES "/paula.vk68")};
  auto play = [&](const std::vector<int> &order, std::barrier<> &sync) {
    std::vector<Samples> out(3);
    for (int i : order) {
      Song song = open(files[i], 1);
      Samples chunk(2 * 2000);
      for (size_t n = 1; n > 0;) {
        sync.arrive_and_wait();
        n = vk68_song_render(song.get(), chunk.data(), 2000);
        out[size_t(i)].insert(out[size_t(i)].end(), chunk.begin(),
                              chunk.begin() + std::ptrdiff_t(2 * n));
      }
    }
    return out;
  };
  std::barrier<> one(1), both(2);
  const std::vector<Samples> alone = play({0, 1, 2}, one);
  std::vector<Samples> a, b;
  std::thread ta([&] { a = play({0, 1, 2}, both); });
  std::thread tb([&] { b = play({2, 0, 1}, both); });
  ta.join();
  tb.join();
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(alone[size_t(i)].empty());
    EXPECT_TRUE(a[size_t(i)] == alone[size_t(i)]) << "first thread, file " << i;
    EXPECT_TRUE(b[size_t(i)] == alone[size_t(i)]) << "second thread, file " << i;
  }
}

}  // namespace
