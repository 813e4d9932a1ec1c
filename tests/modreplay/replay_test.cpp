// The replay through the engine: our own modules, one per group of effects,
// against the independent player openmpt123 (envelope and pitch); the start
// of every tick against its exact time, held notes against the PAL Amiga's
// pitch, volumes against their linear levels.
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

// A Soundtracker module whose names hold control characters and bytes after
// their end plays as openmpt123 plays it, as long (within 10 ms: openmpt123
// rounds the Soundtracker's CIA ticks to a tempo). (Modules of other
// layouts unpack to the tracker's own: the module checks.)
TEST_F(ModTest, SoundtrackerModuleAgrees) {
  std::vector<uint8_t> module = read_bytes(fs::path(MODULES) / "soundtracker.mod");
  std::memcpy(&module[20], "bass\0\x01\x7F\x1Bxyz", 11);
  std::memcpy(&module[55], "\t\r\n", 3);
  const std::array<Channel, 2> theirs =
      render_openmpt(write("variant.mod", std::string(module.begin(), module.end())));
  load(module);
  const std::array<Channel, 2> ours = render(theirs[0].size());
  EXPECT_NEAR(double(theirs[0].size()) - double(ours[0].size()), 0.1 * 44100, 441);
  expect_agreement(ours, theirs);
}

// Modules of one quirk of the tracker each, every channel alone (the
// others' notes removed in a copy) against openmpt123 tick by tick, and the
// song's length within a play call: openmpt123 renders 0.1 s past the
// song's end.
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
    EXPECT_NEAR(double(theirs.size()) - double(ours.size()), 0.1 * 44100, 88);
    EXPECT_GT(expect_ticks_agree(ours, theirs, 882), 16);
    vk68_close(player_);
    ++channels;
  }
  EXPECT_GT(channels, 0);
}

INSTANTIATE_TEST_SUITE_P(Quirks, TickByTick,
                         ::testing::Values("loopwalk", "silence", "tremolo", "retrigger",
                                           "notedelay", "arpeggio_end", "clamp"));

// A click on every row, through speeds of 1-7 and tempos of 32-255 changed
// on the rows' first ticks (a tempo lasting from the tick after the one that
// sets it): every click starts on the first sample at or after its row's
// exact time (the ticks of tempo T last 2.5 / T s), within a sample, with
// the nominal and the PAL 68000 clock.
TEST_F(ModTest, TicksStartOnTheirSample) {
  const int tempos[] = {32, 33, 47, 99, 125, 137, 173, 200, 231, 255};
  const int speeds[] = {1, 2, 3, 5, 7};
  std::string text = "order 0\ninstrument 1\n  length 40\n  wave square 8\npattern 0\n";
  std::vector<double> exact;  // row start times, samples
  double time = 0, tick = 44100 * 2.5 / 125;
  for (int row = 0; row < 60; ++row) {
    exact.push_back(time);
    const int tempo = tempos[row / 6], speed = speeds[row % 5];
    char cells[64];
    std::snprintf(cells, sizeof cells, "  C-2 01 000  --- 00 F%02X  --- 00 000  --- 00 F%02X\n",
                  speed, tempo);
    text += cells;
    time += tick + (speed - 1) * 44100 * 2.5 / tempo;
    tick = 44100 * 2.5 / tempo;
  }
  const std::vector<uint8_t> module = module_from_text(text);
  for (int clock : {0, 1}) {
    ASSERT_EQ(vk68_config_set(player_, vk68_config_id("clock"), clock), 0);
    ASSERT_EQ(vk68_config_apply(player_), 0);
    load(module);
    const Channel left = render(size_t(time) + 44100)[0];
    std::vector<size_t> onsets;
    for (size_t i = 0, quiet = 100; i < left.size(); ++i) {
      if (std::abs(left[i]) > 1000 && quiet >= 100) onsets.push_back(i);
      quiet = std::abs(left[i]) < 50 ? quiet + 1 : 0;
    }
    ASSERT_EQ(onsets.size(), exact.size());
    for (size_t k = 1; k < exact.size(); ++k)
      EXPECT_NEAR(double(onsets[k] - onsets[0]), exact[k], 1) << "clock " << clock << ", row " << k;
    vk68_close(player_);
  }
}

// Looped square waves (+-127) held for seconds at low and high notes (the
// tracker's periods, one of a finetuned table) and at several volumes: each
// plays 3546895 / (32 x period) within 1e-5, at the linear level of
// 127 x volume x 2 within 1 % (or 1).
TEST_F(ModTest, HeldNotesPlayAtThePalPitchAndLinearVolume) {
  const struct {
    const char *note;
    int instrument, period, volume;
  } notes[] = {{"C-1", 1, 856, 64}, {"A-2", 1, 254, 48}, {"B-3", 1, 113, 5}, {"C-2", 2, 431, 1}};
  std::string text =
      "order 0\ninstrument 1\n  length 32\n  loop 0 32\n  wave square 32\n"
      "instrument 2\n  finetune -1\n  length 32\n  loop 0 32\n  wave square 32\npattern 0\n"
      "  --- 00 F1F  --- 00 000  --- 00 000  --- 00 F20\n";  // rows of 2.42 s
  for (const auto &n : notes) {
    char cells[64];
    std::snprintf(cells, sizeof cells, "  %s %02d C%02X  --- 00 000  --- 00 000  --- 00 000\n",
                  n.note, n.instrument, n.volume);
    text += cells;
  }
  load(module_from_text(text));
  const size_t row = size_t(44100 * 31 * 2.5 / 32);
  const Channel left = render(5 * row)[0];
  for (size_t i = 0; i < std::size(notes); ++i) {
    SCOPED_TRACE(notes[i].note);
    const size_t from = (i + 1) * row + 4410, to = (i + 2) * row - 4410;
    const double want = 3546895.0 / (32 * notes[i].period);
    EXPECT_NEAR(frequency(left, from, to) / want, 1, 1e-5);
    const double peak = *std::max_element(left.begin() + long(from), left.begin() + long(to));
    EXPECT_NEAR(peak, 254.0 * notes[i].volume, std::max(1.0, 2.54 * notes[i].volume));
  }
}

}  // namespace
}  // namespace modtest
