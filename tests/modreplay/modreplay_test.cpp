// Amiga modules. Before they play: the text generator's layout, the checks
// that refuse what is not a playable module, the song walk that measures a
// track (checked against the songs' exact times and against where the
// replay itself is when the track ends), and the `vk68 import` command.
// The replay through the engine: our own modules, one per group of effects,
// against the independent player openmpt123 (envelope and pitch; tick by
// tick for the tracker's quirks); the start of every tick against its exact
// time, held notes against the PAL Amiga's pitch, volumes against their
// linear levels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "mod_fixture.h"

namespace modtest {
namespace {

using enginetest::Outcome;
using ::testing::HasSubstr;

constexpr char kInstrument[] =
    "instrument 1 \"click\"\n  length 40\n  wave square 8\n"
    "instrument 31 \"tone\"\n  volume 48\n  finetune -3\n  length 64\n  loop 32 32\n"
    "  wave saw 32\n";

std::string song(const std::string &order, const std::string &patterns) {
  return "title \"walk\"\norder " + order + "\n" + kInstrument + patterns;
}

// A pattern of 64 rows with a click on every row; `effects` are
// "ROW:CHANNEL:EFFECT" entries (three hex digits).
std::string pattern(int number, std::vector<std::string> effects = {}) {
  std::string text = "pattern " + std::to_string(number) + "\n";
  for (int row = 0; row < 64; ++row) {
    std::string cells[4] = {"C-2 01 000", "--- 00 000", "--- 00 000", "--- 00 000"};
    for (const std::string &e : effects)
      if (std::stoi(e.substr(0, e.find(':'))) == row)
        cells[e[e.find(':') + 1] - '0'] = "--- 00 " + e.substr(e.rfind(':') + 1);
    text += "  " + cells[0] + " " + cells[1] + " " + cells[2] + " " + cells[3] + "\n";
  }
  return text;
}

TEST(ModuleText, LayoutOfTheModuleBytes) {
  const std::vector<uint8_t> m = module_from_text(
      song("0 2", pattern(0) + "pattern 2\n  3: D#3 1F A0F --- 00 000 ... .. ... --- -- ---\n"));
  ASSERT_EQ(m.size(), 1084u + 3 * 1024 + 40 + 64);
  EXPECT_EQ(std::string(m.begin(), m.begin() + 4), "walk");
  const uint8_t *tone = &m[20 + 30 * 30];  // slot 31: length, finetune, volume, loop
  EXPECT_EQ(std::vector<uint8_t>(tone + 22, tone + 30),
            (std::vector<uint8_t>{0, 32, 0x0D, 48, 0, 16, 0, 16}));
  EXPECT_EQ(m[950], 2);  // song length
  EXPECT_EQ(std::vector<uint8_t>(&m[952], &m[955]), (std::vector<uint8_t>{0, 2, 0}));
  EXPECT_EQ(std::string(&m[1080], &m[1084]), "M.K.");
  const uint8_t *cell = &m[1084 + 2 * 1024 + 3 * 16];  // D#3 (period 180) with slot 31 and A0F
  EXPECT_EQ(std::vector<uint8_t>(cell, cell + 4), (std::vector<uint8_t>{0x10, 180, 0xFA, 0x0F}));
  const uint8_t *click = &m[1084 + 3 * 1024];  // a square of 8-byte cycles, silent first word
  EXPECT_EQ(std::vector<uint8_t>(click, click + 10),
            (std::vector<uint8_t>{0, 0, 127, 127, 129, 129, 129, 129, 127, 127}));
}

TEST(ModuleText, MistakesNameTheirLine) {
  const struct {
    const char *text;
    const char *error;
  } cases[] = {
      {"order 0\npattern 0\n  C-4 01 000 --- 00 000 --- 00 000 --- 00 000\n",
       "line 3: expected a note"},
      {"order 0\ninstrument 32\n", "line 2: expected a number from 1 to 31"},
      {"order 1\npattern 2\n", "line 2: pattern 2 is not ordered"},
      {"samples 15\norder 0\npattern 0\n  C-2 10 000 --- 00 000 --- 00 000 --- 00 000\n",
       "line 4: instrument 10 is beyond"},
  };
  for (const auto &c : cases) {
    modgen::Module m;
    std::string error;
    EXPECT_FALSE(modgen::parse_module(c.text, m, error)) << c.text;
    EXPECT_THAT(error, HasSubstr(c.error));
  }
}

class ModuleChecks : public enginetest::EngineTest {};

TEST_F(ModuleChecks, RefusesWhatCannotPlay) {
  const std::vector<uint8_t> good = module_from_text(song("0", pattern(0)));
  auto with = [&](size_t at, const char *bytes) {
    std::vector<uint8_t> m = good;
    std::memcpy(&m[at], bytes, std::strlen(bytes));
    return m;
  };
  std::vector<uint8_t> mods_grave = good;  // as long as 8 channels' patterns and the samples
  mods_grave.insert(mods_grave.begin() + 1084 + 1024, 1024, 0);
  std::vector<uint8_t> no_song = good;
  no_song[950] = 0;
  std::vector<uint8_t> huge = good;
  huge[20 + 22] = huge[20 + 23] = 0xFF;  // slot 1: 128 KiB of sample
  for (int s = 1; s < 5; ++s) huge[20 + 30 * s + 22] = 0xFF;
  const struct {
    std::vector<uint8_t> bytes;
    const char *message;
  } cases[] = {
      {std::vector<uint8_t>(3000, 'x'), "not an Amiga module"},
      {with(1080, "8CHN"), "8 channels: only 4 play on Paula"},
      {with(1080, "12CH"), "12 channels: only 4"},
      {mods_grave, "8 channels (in a module marked M.K.): only 4"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 600), "cut short in its header"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 1000), "cut short in its header"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 2000), "cut short in its patterns"},
      {with(950, "\x81"), "song length 129"},
      {no_song, "song length 0"},
      {huge, "module too large"},
  };
  for (const auto &c : cases) {
    Mod68Info info;
    EXPECT_EQ(mod68_check(c.bytes.data(), int32_t(c.bytes.size()), &info), -1) << c.message;
    EXPECT_THAT(enginetest::messages(), ::testing::Contains(HasSubstr(c.message)));
  }
  // Sample data cut short plays as silence.
  Mod68Info info;
  ASSERT_EQ(mod68_check(good.data(), int32_t(good.size()) - 50, &info), 0);
  EXPECT_EQ(info.missing, 50);
  EXPECT_EQ(info.slots, 31);
  EXPECT_STREQ(info.title, "walk");
}

// Loops that run past their sample are cut to it; in the original layout
// a loop start counts bytes.
TEST_F(ModuleChecks, CutsLoopsToTheirSample) {
  const struct {
    int slots, start, length;  // loop of a 32-word sample, in words
    int cut_start, cut_length;
  } cases[] = {{31, 16, 40, 16, 16},
               {31, 40, 8, 0, 1},
               {15, 32, 16, 16, 16},
               {15, 16, 8, 8, 8},
               {31, 8, 24, 8, 24}};
  for (const auto &c : cases) {
    std::vector<uint8_t> m = module_from_text(
        std::string(c.slots == 15 ? "samples 15\n" : "") +
        "order 0\ninstrument 1\n  length 64\n  loop 0 64\n  wave saw 32\npattern 0\n");
    uint8_t *loop = &m[20 + 26];
    loop[0] = uint8_t(c.start >> 8), loop[1] = uint8_t(c.start);
    loop[2] = uint8_t(c.length >> 8), loop[3] = uint8_t(c.length);
    const Mod68Track track{0, nullptr};
    Disk68 *disk = mod68_disk(m.data(), int32_t(m.size()), nullptr, nullptr, &track, 1);
    ASSERT_NE(disk, nullptr);
    const uint8_t *header = disk->tracks[0].data + disk->tracks[0].data_size - m.size() + 20;
    EXPECT_EQ(header[26] << 8 | header[27], c.cut_start) << c.slots << " " << c.start;
    EXPECT_EQ(header[28] << 8 | header[29], c.cut_length) << c.slots << " " << c.start;
    vk68_free(disk);
  }
}

// The module `m` (31 slots, 4 channels) as other trackers stored it: its
// first two channels under a "2CHN" signature, or its samples packed as
// ModPlug ADPCM (a table of 16 steps, then a step's index a nibble, low
// nibble first; here steps of powers of two, which the samples keep to).
std::vector<uint8_t> stored_otherwise(const std::vector<uint8_t> &m, bool two_channels) {
  Mod68Info info;
  EXPECT_EQ(mod68_check(m.data(), int32_t(m.size()), &info), 0);
  std::vector<uint8_t> out(m.begin(), m.begin() + 1084);
  if (two_channels) std::memcpy(&out[1080], "2CHN", 4);
  for (size_t row = 0; row < size_t(info.patterns) * 64; ++row)
    out.insert(out.end(), m.begin() + long(1084 + row * 16),
               m.begin() + long(1084 + row * 16 + (two_channels ? 8 : 16)));
  const int8_t steps[16] = {0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};
  for (size_t at = 1084 + size_t(info.patterns) * 1024, s = 0; s < 31; ++s) {
    const size_t length = 2 * size_t(m[20 + 30 * s + 22] << 8 | m[20 + 30 * s + 23]);
    if (two_channels || !length) {
      out.insert(out.end(), m.begin() + long(at), m.begin() + long(at + length));
    } else {
      out.insert(out.end(), {'A', 'D', 'P', 'C', 'M'});
      out.insert(out.end(), steps, steps + 16);
      for (size_t i = 0; i < length; ++i) {
        const int8_t step = int8_t(m[at + i] - (i ? m[at + i - 1] : 0));
        const uint8_t k = uint8_t(std::find(steps, steps + 16, step) - steps);
        EXPECT_LT(k, 16) << "no step of " << int(step);
        if (i % 2)
          out.back() |= uint8_t(k << 4);
        else
          out.push_back(k);
      }
    }
    at += length;
  }
  return out;
}

// Packed samples unpack to their bytes (steps all in the table), patterns
// of two channels widen to four.
TEST_F(ModuleChecks, UnpacksAndWidens) {
  const std::vector<uint8_t> m = module_from_text(
      "order 0\ninstrument 1\n  data 0 0 1 3 7 15 31 63 127 126 124 120 112 96 64 0 -128 -127\n"
      "pattern 0\n  C-2 01 C20  E-2 01 000  G-2 01 000  C-3 01 000\n");
  for (bool two_channels : {true, false}) {
    const std::vector<uint8_t> stored = stored_otherwise(m, two_channels);
    const Mod68Track track{0, nullptr};
    Disk68 *disk = mod68_disk(stored.data(), int32_t(stored.size()), nullptr, nullptr, &track, 1);
    ASSERT_NE(disk, nullptr);
    const uint8_t *module = disk->tracks[0].data + disk->tracks[0].data_size - m.size();
    std::vector<uint8_t> expected = m;
    if (two_channels) std::fill(&expected[1084 + 8], &expected[1084 + 16], 0);
    EXPECT_EQ(std::vector<uint8_t>(module, module + m.size()), expected) << two_channels;
    vk68_free(disk);
  }
}

// The exact time of a song whose ticks (in order) come in `count` ticks of
// `tempo` (2.5 / tempo s each), and the play calls nearest to it.
double seconds(const std::vector<std::pair<int, int>> &ticks) {
  double time = 0;
  for (auto [count, tempo] : ticks) time += count * 2.5 / tempo;
  return time;
}
uint32_t frames_at(double seconds) {
  return uint32_t(std::lround(seconds * double(MOD68_CALL_RATE)));
}

class SongWalk : public ModTest {};

// The length of a song as the replay plays it: the play call nearest to the
// time the song comes back to a row; there the replay's next tick is that
// row's, and the track ends with that call's last sample.
TEST_F(SongWalk, MeasuresTheSongAsTheReplayPlaysIt) {
  const struct {
    const char *name;
    std::string text;
    int start;
    double seconds;
    int end_position, end_row;  // where the song returns to
  } cases[] = {
      {"two patterns", song("0 1", pattern(0) + pattern(1)), 0, seconds({{128 * 6, 125}}), 0, 0},
      {"start at 1", song("0 1", pattern(0) + pattern(1)), 1, seconds({{128 * 6, 125}}), 1, 0},
      {"break to row 10", song("0 1", pattern(0, {"3:1:D10"}) + pattern(1)), 0,
       seconds({{(4 + 54) * 6, 125}}), 0, 0},
      {"jump back into a pattern", song("0 1", pattern(0) + pattern(1, {"5:0:B00", "5:2:D20"})), 0,
       seconds({{(64 + 6) * 6, 125}}), 0, 20},
      {"jump ahead", song("0 1 0 2", pattern(0, {"0:3:B03"}) + pattern(1) + pattern(2)), 0,
       seconds({{(1 + 64) * 6, 125}}), 0, 0},
      // The jump leaves the loop running: its second pass ends it.
      {"jump past the song on a loop's last row",
       song("0 1", pattern(0, {"2:1:E60", "5:1:E61", "5:0:B92"}) + pattern(1)), 0,
       seconds({{12 * 6, 125}}), 0, 0},
      {"pattern loop", song("0", pattern(0, {"4:1:E60", "7:1:E62"})), 0,
       seconds({{(64 + 8) * 6, 125}}), 0, 0},
      {"pattern delay", song("0", pattern(0, {"10:2:EE3"})), 0, seconds({{(64 + 3) * 6, 125}}), 0,
       0},
      {"speed 3", song("0", pattern(0, {"0:1:F03"})), 0, seconds({{64 * 3, 125}}), 0, 0},
      {"tempo 150 from the next tick", song("0", pattern(0, {"0:1:F96"})), 0,
       seconds({{1, 125}, {64 * 6 - 1, 150}}), 0, 0},
      {"tempo 35 and 245", song("0", pattern(0, {"0:0:F23", "32:0:FF5"})), 0,
       seconds({{1, 125}, {32 * 6, 35}, {32 * 6 - 1, 245}}), 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> module = module_from_text(c.text);
    const Track68 &track = load(module, c.start);
    EXPECT_EQ(track.frames, frames_at(c.seconds));
    EXPECT_NEAR(track.time_ms, c.seconds * 1000, 1);
    EXPECT_EQ(track.frequency, uint32_t(MOD68_CALL_RATE));
    EXPECT_EQ(track.hardware, 4u);
    // Just before the song's end its next tick is the repeated row's.
    const size_t before = size_t(c.seconds * 44100) - 100;
    ASSERT_EQ(render(before)[0].size(), before);
    const uint8_t *memory = player_->memory;
    const uint8_t *pointer = memory + track.load_address + 4;
    const uint8_t *work = memory + (pointer[1] << 16 | pointer[2] << 8 | pointer[3]);
    EXPECT_EQ(int(work[18]), c.end_position);
    EXPECT_EQ(int(work[19]), c.end_row);
    EXPECT_EQ(work[17], 0) << "tick";
    // The track ends at its recorded time.
    const size_t played = before + render(44100)[0].size();
    EXPECT_EQ(played, frame_samples(track.frames));
    EXPECT_NEAR(double(played), track.time_ms * 44.1, 1);
    vk68_close(player_);
  }
}

// A module too large for the default load address loads lower and plays
// its last sample, near the top of the 68000's memory.
TEST_F(ModTest, LargeModuleLoadsLower) {
  std::string text = "order 0\n";
  for (int s = 1; s <= 4; ++s)
    text += "instrument " + std::to_string(s) + "\n  length " + (s < 4 ? "131070" : "100000") +
            "\n  wave saw 32\n";
  const Track68 &track =
      load(module_from_text(text + "pattern 0\n  --- 00 000 --- 00 000 --- 00 000 C-2 04 000\n"));
  EXPECT_EQ(track.load_address, 0x800u);
  const Channel left = render(44100)[0];
  EXPECT_GT(*std::max_element(left.begin(), left.end()), 8000);
}

class ImportCommand : public ModTest {
 protected:
  Outcome run(const std::string &args) { return run_command(VK68_TOOL " " + args); }
};

TEST_F(ImportCommand, WritesAPlayableDiskOrSaysWhyNot) {
  const std::vector<uint8_t> module = module_from_text(song("0 1", pattern(0) + pattern(1)));
  const std::string cut = write("cut.mod", std::string(module.begin(), module.end() - 30));
  Outcome r = run("import " + cut + " --author Someone");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("cut short by 30 bytes"));
  Disk68 *disk = VK68file_load_path((dir_ / "cut.vk68").string().c_str());
  ASSERT_NE(disk, nullptr);
  EXPECT_STREQ(disk->tracks[0].name, "walk");
  EXPECT_STREQ(disk->tracks[0].author, "Someone");
  EXPECT_EQ(disk->tracks[0].frames, frames_at(seconds({{128 * 6, 125}})));
  vk68_free(disk);
  ASSERT_EQ(vk68_load_path(player_, (dir_ / "cut.vk68").string().c_str()), 0);
  EXPECT_GT(render(44100)[0].size(), 44000u);

  r = run("import " + write("notes.txt", std::string(2000, 'a')) + " -o " + path("x.vk68"));
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("notes.txt: not an Amiga module"));
  EXPECT_FALSE(fs::exists(dir_ / "x.vk68"));
  EXPECT_EQ(run("import").status, 2);
}

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
