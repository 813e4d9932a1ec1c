// The replay through the engine: our own modules, one per group of effects,
// against the independent player openmpt123 (envelope and pitch), and the
// start of every tick against its exact time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "mod_fixture.h"

namespace modtest {
namespace {

class AgainstOpenmpt : public ModTest, public ::testing::WithParamInterface<const char *> {};

// Each module against openmpt123 by expect_agreement.
TEST_P(AgainstOpenmpt, EnvelopeAndPitchAgree) {
  const fs::path module = fs::path(MODULES) / (std::string(GetParam()) + ".mod");
  const fs::path copy = dir_ / module.filename();
  fs::copy_file(module, copy, fs::copy_options::overwrite_existing);
  const std::array<Channel, 2> theirs = render_openmpt(copy);
  load(read_bytes(module));
  expect_agreement(render(theirs[0].size()), theirs);
}

INSTANTIATE_TEST_SUITE_P(Effects, AgainstOpenmpt,
                         ::testing::Values("arpeggio", "portamento", "vibrato", "volume", "offset",
                                           "flow", "delays", "tempo", "layout15", "swap",
                                           "finetune"));

// Modules as other trackers stored them play as openmpt123 plays them, as
// long: a Soundtracker module whose names hold control characters and
// bytes after their end, two channels, samples packed as ModPlug ADPCM.
TEST_F(ModTest, OtherLayoutsAgree) {
  std::vector<uint8_t> soundtracker = read_bytes(fs::path(MODULES) / "soundtracker.mod");
  std::memcpy(&soundtracker[20], "bass\0\x01\x7F\x1Bxyz", 11);
  std::memcpy(&soundtracker[55], "\t\r\n", 3);
  const std::vector<uint8_t> volume = read_bytes(fs::path(MODULES) / "volume.mod");
  const std::vector<uint8_t> cases[] = {soundtracker, stored_otherwise(volume, true),
                                        stored_otherwise(volume, false)};
  for (const std::vector<uint8_t> &module : cases) {
    SCOPED_TRACE(&module - cases);
    const std::array<Channel, 2> theirs =
        render_openmpt(write("variant.mod", std::string(module.begin(), module.end())));
    load(module);
    const std::array<Channel, 2> ours = render(theirs[0].size());
    EXPECT_NEAR(double(theirs[0].size()) - double(ours[0].size()), 0.1 * 44100, 441);
    expect_agreement(ours, theirs);
    vk68_close(player_);
  }
}

// Modules of one quirk of the tracker each, every channel alone (the
// others' notes removed in a copy) against openmpt123 tick by tick, and the
// song's length: openmpt123 renders 0.1 s past the song's end.
class TickByTick : public ModTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(TickByTick, EveryChannelAgreesOnEveryTick) {
  const std::vector<uint8_t> module =
      read_bytes(fs::path(MODULES) / (std::string(GetParam()) + ".mod"));
  int channels = 0;
  for (int c = 0; c < 4; ++c) {
    const std::vector<uint8_t> alone = only_channel(module, c);
    if (alone.empty()) continue;
    SCOPED_TRACE(testing::Message() << "channel " << c + 1);
    const fs::path copy = write("alone.mod", std::string(alone.begin(), alone.end()));
    const int side = c == 1 || c == 2;  // channels 1-4: left, right, right, left
    const Channel theirs = render_openmpt(copy)[side];
    load(alone);
    const Channel ours = render(theirs.size())[side];
    EXPECT_NEAR(double(theirs.size()) - double(ours.size()), 0.1 * 44100, 441);
    EXPECT_GT(expect_ticks_agree(ours, theirs, 882), 16);
    vk68_close(player_);
    ++channels;
  }
  EXPECT_GT(channels, 0);
}

INSTANTIATE_TEST_SUITE_P(Quirks, TickByTick,
                         ::testing::Values("loopwalk", "silence", "tremolo", "retrigger",
                                           "notedelay", "arpeggio_end", "clamp"));

// A click on every tick (speed 1) through tempos from 32 to 255: each
// click starts within 1 ms of its tick's exact time, a tempo lasting from
// the tick after the one that sets it.
TEST_F(ModTest, TicksStartWithinAMillisecond) {
  const int tempos[] = {32, 33, 47, 99, 125, 137, 173, 200, 231, 255};
  std::string text = "order 0\ninstrument 1\n  length 40\n  wave square 8\npattern 0\n";
  std::vector<double> exact;  // tick start times, samples
  double time = 0, length = 110250.0 / 125;
  for (int row = 0; row < 60; ++row) {
    exact.push_back(time);
    char tempo[8];
    std::snprintf(tempo, sizeof tempo, "F%02X", tempos[row / 6]);
    text += std::string("  C-2 01 000 --- 00 ") + (row == 0 ? "F01" : "000") + " --- 00 " +
            (row % 6 == 0 ? tempo : "000") + " --- 00 000\n";
    time += length;
    if (row % 6 == 0) length = 110250.0 / tempos[row / 6];
  }
  load(module_from_text(text));
  const Channel left = render(size_t(time) + 44100)[0];
  std::vector<size_t> onsets;
  size_t quiet = 100;
  for (size_t i = 0; i < left.size(); ++i) {
    if (std::abs(left[i]) > 1000 && quiet >= 100) onsets.push_back(i);
    quiet = std::abs(left[i]) < 50 ? quiet + 1 : 0;
  }
  ASSERT_GE(onsets.size(), exact.size());
  for (size_t k = 1; k < exact.size(); ++k)
    EXPECT_NEAR(double(onsets[k] - onsets[0]), exact[k], 44.1) << "tick " << k;
}

// Volumes are linear, as on the Amiga: a looped note at Cxx sounds at
// xx / 64 of its level at C40 (our Paula's own volume curve is not).
TEST_F(ModTest, VolumeIsLinear) {
  const int volumes[] = {64, 48, 32, 16, 8};
  std::string text = "order 0\ninstrument 1\n  length 64\n  loop 0 64\n  wave saw 32\npattern 0\n";
  for (int v : volumes) {
    char cell[48];
    std::snprintf(cell, sizeof cell, "  C-2 01 C%02X --- 00 000 --- 00 000 --- 00 000\n", v);
    text += cell;
  }
  load(module_from_text(text));
  const Channel left = render(5 * 6 * 882)[0];
  double full = 0;
  for (size_t i = 0; i < 5; ++i) {
    const size_t row = i * 6 * 882;  // 120 ms per row; measure its middle 80 ms
    const double level = rms(left, row + 882, 3528);
    if (i == 0) full = level;
    EXPECT_NEAR(level / full, volumes[i] / 64.0, 0.03 * volumes[i] / 64.0) << "C" << volumes[i];
  }
}

}  // namespace
}  // namespace modtest
