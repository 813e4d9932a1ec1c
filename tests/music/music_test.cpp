// The intro's embedded music: the file and its two tracks as the intro
// plays them (default settings), track 1 across its loop, and its module
// against the independent player openmpt123.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "assets/music_data.h"
#include "modreplay/mod_fixture.h"

namespace {

using modtest::Channel;
using modtest::rms;
using Stereo = std::array<Channel, 2>;

constexpr size_t kRate = 44100;

// A player as the intro makes it: default settings (no resource files).
class MusicTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    player_ = enginetest::default_player();
    ASSERT_NE(player_, nullptr);
    ASSERT_EQ(vk68_load_buffer(player_, asset_music, int32_t(asset_music_size)), 0)
        << enginetest::messages().front();
  }
  void TearDown() override {
    vk68_shutdown(player_);
    EngineTest::TearDown();
  }

  // The first n samples of track t (fewer when it ends) from a freshly
  // loaded disk, one sample a call as the intro takes them.
  Stereo render(int t, size_t n) {
    vk68_close(player_);
    EXPECT_EQ(vk68_load_buffer(player_, asset_music, int32_t(asset_music_size)), 0);
    EXPECT_EQ(vk68_play(player_, t), 0);
    return modtest::render_frames(player_, n);
  }

  Player68 *player_ = nullptr;
};

// The file holds two Amiga tracks of their own: track 1 plays at least 90 s
// before it loops; track 2 is a shorter piece that loops onto itself, not
// the whole song from a later start. Both keep 2 dB of headroom (two voices
// at full volume on one side reach full scale; the mix stays well clear of
// it); their first ten seconds sound on both channels and are different
// music. Track 1 ends with its last recorded frame and loops onto its start
// (sample for sample, as the sound buffers' test shows) without a quiet
// stretch: no 20 ms window from a second before its end to a second after
// is near silent.
TEST_F(MusicTest, TwoTracksWithHeadroomThatDifferAndLoopWithoutAGap) {
  EXPECT_EQ(asset_music_size, 51464u);
  const Disk68 *disk = player_->disk;
  ASSERT_EQ(disk->track_count, 2);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(disk->tracks[t].hardware, uint32_t(VK68_HW_AMIGA)) << t;
    EXPECT_EQ(disk->tracks[t].frequency, uint32_t(MOD68_CALL_RATE)) << t;
  }
  EXPECT_STRNE(disk->tracks[0].name, disk->tracks[1].name);
  EXPECT_GE(disk->tracks[0].time_ms, 90000u);
  EXPECT_GE(disk->tracks[1].time_ms, 20000u);
  EXPECT_LT(disk->tracks[1].time_ms, disk->tracks[0].time_ms);
  const size_t n = 10 * kRate;
  const Stereo tracks[2] = {render(1, 200 * kRate), render(2, 200 * kRate)};
  EXPECT_EQ(tracks[0][0].size(), modtest::frame_samples(player_->disk->tracks[0].frames));
  for (int t = 0; t < 2; ++t) {
    ASSERT_GE(tracks[t][0].size(), n);
    for (int ch = 0; ch < 2; ++ch) {
      SCOPED_TRACE("track " + std::to_string(t + 1) + (ch ? " right" : " left"));
      const Channel &x = tracks[t][ch];
      double peak = 0;
      for (double v : x) peak = std::max(peak, std::abs(v));
      std::printf("track %d %s: peak %.0f (%.2f dBFS), RMS %.0f\n", t + 1, ch ? "right" : "left",
                  peak, 20 * std::log10(peak / 32768), rms(x, 0, x.size()));
      EXPECT_LT(peak, 26000);  // -2 dBFS
      EXPECT_GT(rms(x, 0, n), 1000);
      double difference = 0;
      for (size_t i = 0; i < n; ++i)
        difference += (x[i] - tracks[1 - t][ch][i]) * (x[i] - tracks[1 - t][ch][i]);
      EXPECT_GT(std::sqrt(difference / double(n)), 0.5 * rms(x, 0, n));
    }
  }
  Stereo join;
  for (int ch = 0; ch < 2; ++ch) {
    join[ch].assign(tracks[0][ch].end() - kRate, tracks[0][ch].end());
    join[ch].insert(join[ch].end(), tracks[0][ch].begin(), tracks[0][ch].begin() + kRate);
  }
  double quietest = 1e9;
  for (size_t at = 0; at + 882 <= 2 * kRate; at += 882)
    quietest = std::min(quietest, rms(join[0], at, 882) + rms(join[1], at, 882));
  EXPECT_GT(quietest, 300);
}

// The module in the file as openmpt123 plays it, against our replay of its
// two tracks with voices hard left and right.
class MusicAgainstOpenmpt : public modtest::ModTest {};

TEST_F(MusicAgainstOpenmpt, EnvelopeAndPitchAgree) {
  if (std::string(OPENMPT123).empty()) GTEST_SKIP() << "openmpt123 is not installed";
  Disk68 *disk = VK68file_load_buffer(asset_music, int32_t(asset_music_size));
  ASSERT_NE(disk, nullptr);
  // The module follows the replay in the track data: find its signature.
  const Track68 &track = disk->tracks[0];
  const uint32_t track_starts[2] = {disk->tracks[0].d0, disk->tracks[1].d0};
  std::vector<uint8_t> module;
  for (uint32_t at = 0; at + 1084 <= track.data_size && module.empty(); ++at) {
    const uint8_t *m = track.data + at;
    Mod68Info info;
    if (std::memcmp(m + 1080, "M.K.", 4) == 0 &&
        mod68_check(m, int32_t(track.data_size - at), &info) == 0 &&
        uint32_t(info.size) == track.data_size - at)
      module.assign(m, m + info.size);
  }
  vk68_free(disk);
  enginetest::messages();
  ASSERT_FALSE(module.empty());
  const std::string file = write("music.mod", std::string(module.begin(), module.end()));
  // openmpt123 sees each part of the song that loops onto itself as a
  // subsong: our two tracks.
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE("track " + std::to_string(t + 1));
    const Stereo theirs = modtest::render_openmpt(file, "--subsong " + std::to_string(t));
    load(module, int32_t(track_starts[t]));
    const Stereo ours = render(theirs[0].size());
    vk68_close(player_);
    // openmpt123 goes on a few ticks past the loop point.
    EXPECT_NEAR(double(ours[0].size()), double(theirs[0].size()), 0.2 * kRate);
    const auto figures = modtest::expect_agreement(ours, theirs);
    for (int ch = 0; ch < 2; ++ch)
      std::printf("track %d %s: envelopes correlate at %.4f, %d held pitches within %.3f %%\n",
                  t + 1, ch ? "right" : "left", figures[ch].correlation, figures[ch].compared,
                  100 * figures[ch].worst_off);
  }
}

}  // namespace
