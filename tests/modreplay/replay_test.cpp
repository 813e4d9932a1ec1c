// The replay through the engine: our own modules, one per group of effects,
// against the independent player openmpt123 (envelope and pitch), and the
// start of every tick against its exact time.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mod_fixture.h"

namespace modtest {
namespace {

// openmpt123's output as close to our Paula as it goes: 44.1 kHz 16-bit,
// linear interpolation (2 taps), no volume ramping, no dither, the Amiga
// low-pass emulation off, full stereo separation (200 %: voices hard left
// and right, as with our blend at 0).
std::array<Channel, 2> render_openmpt(const fs::path &module) {
  const std::string command = std::string(OPENMPT123) +
                              " --render --samplerate 44100 --filter 2 --ramping 0 --no-float"
                              " --dither 0 --stereo 200 --ctl render.resampler.emulate_amiga=0"
                              " --output-type wav --force " +
                              module.string() + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  const std::vector<uint8_t> bytes = read_bytes(module.string() + ".wav");  // beside it
  std::array<Channel, 2> out;
  // RIFF chunks after the 12-byte header; "data" holds interleaved
  // little-endian 16-bit pairs.
  auto u32 = [&bytes](size_t i) {
    return size_t(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | bytes[i + 3] << 24);
  };
  size_t at = 12;
  while (at + 8 <= bytes.size() && std::memcmp(&bytes[at], "data", 4) != 0) at += 8 + u32(at + 4);
  for (size_t i = at + 8; i + 4 <= bytes.size(); i += 4) {
    out[0].push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
    out[1].push_back(int16_t(bytes[i + 2] | bytes[i + 3] << 8));
  }
  return out;
}

class AgainstOpenmpt : public ModTest, public ::testing::WithParamInterface<const char *> {};

// Per channel: the RMS envelopes in 10 ms windows correlate at 0.97 or
// better, and wherever either render's pitch holds for three windows of
// 23 ms (10 ms apart) inside a note (loud, no new onset in both), the other
// render has that pitch within 0.5 % in the middle window or one beside it.
TEST_P(AgainstOpenmpt, EnvelopeAndPitchAgree) {
  const fs::path module = fs::path(MODULES) / (std::string(GetParam()) + ".mod");
  const fs::path copy = dir_ / module.filename();
  fs::copy_file(module, copy, fs::copy_options::overwrite_existing);
  const std::array<Channel, 2> theirs = render_openmpt(copy);
  load(read_bytes(module));
  const std::array<Channel, 2> ours = render(theirs[0].size());
  ASSERT_GT(ours[0].size(), 44100u);
  constexpr size_t kWindow = 1024, kHop = 441;
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch ? "right" : "left");
    const Channel *renders[2] = {&ours[ch], &theirs[ch]};
    EXPECT_GE(correlation(rms_envelope(ours[ch]), rms_envelope(theirs[ch])), 0.97);
    const size_t n = std::min(ours[ch].size(), theirs[ch].size());
    std::vector<bool> steady;  // every quarter loud in both renders, none a new onset
    for (size_t at = 0; at + kWindow <= n; at += kHop) {
      bool ok = true;
      for (const Channel *x : renders) {
        double last = 1e9;
        for (size_t q = at; q < at + kWindow; q += kWindow / 4) {
          double peak = 0;
          for (size_t i = q; i < q + kWindow / 4; ++i) peak = std::max(peak, std::abs((*x)[i]));
          ok = ok && peak > 1000 && peak < 1.3 * last;
          last = peak;
        }
      }
      steady.push_back(ok);
    }
    std::vector<std::array<Pitch, 2>> pitches(steady.size());  // measured when needed
    auto at = [&](size_t w, int r) -> const Pitch & {
      if (pitches[w][r].hz == 0) pitches[w][r] = pitch(&(*renders[r])[w * kHop], kWindow);
      return pitches[w][r];
    };
    auto held = [&](size_t w, int r) {
      for (size_t v = w - 1; v <= w + 1; ++v)
        if (at(v, r).clarity < 0.98 || std::abs(at(v, r).hz / at(w, r).hz - 1) > 0.002)
          return false;
      return true;
    };
    int compared = 0;
    for (size_t w = 1; w + 1 < steady.size(); ++w) {
      for (int r = 0; r < 2; ++r) {
        if (!steady[w] || !held(w, r)) continue;
        // The other render within a window of it: its ticks start up to a
        // millisecond apart.
        double off = 1;
        for (size_t v = w - 1; v <= w + 1; ++v)
          off = std::min(off, std::abs(at(v, 1 - r).hz / at(w, r).hz - 1));
        ++compared;
        EXPECT_LE(off, 0.005) << (r ? "openmpt holds " : "we hold ") << at(w, r).hz
                              << " Hz, the other " << at(w, 1 - r).hz << " Hz at "
                              << double(w * kHop) / 44100 << " s";
      }
    }
    EXPECT_GT(compared, 20);
  }
}

INSTANTIATE_TEST_SUITE_P(Effects, AgainstOpenmpt,
                         ::testing::Values("arpeggio", "portamento", "vibrato", "volume", "offset",
                                           "flow", "delays", "tempo", "layout15", "swap",
                                           "finetune"));

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
    const double level = rms_envelope(Channel(&left[row + 882], &left[row + 882 + 3528]), 3528)[0];
    if (i == 0) full = level;
    EXPECT_NEAR(level / full, volumes[i] / 64.0, 0.03 * volumes[i] / 64.0) << "C" << volumes[i];
  }
}

}  // namespace
}  // namespace modtest
