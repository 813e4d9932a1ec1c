// Modules through the whole engine: a player (counting hooks, no resource
// files, voices hard left and right), modules made from text descriptions,
// the measures the tests compare, and the independent reference render of
// openmpt123 with its agreement check.
#ifndef TESTS_MODREPLAY_MOD_FIXTURE_H
#define TESTS_MODREPLAY_MOD_FIXTURE_H

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/mod68.h"
#include "modtext.h"
#include "support/default_player.h"
#include "support/engine_fixture.h"
#include "support/fft.h"
#include "vk68/vk68.h"

namespace modtest {

namespace fs = std::filesystem;

// Output samples per replay frame (500 Hz: 16000 cycles, at 44100 Hz):
// 88.2, so the first f frames hold ceil(88.2 f) samples.
inline size_t frame_samples(uint64_t frames) { return size_t((frames * 882 + 9) / 10); }

inline std::vector<uint8_t> read_bytes(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> module_from_text(const std::string &text) {
  modgen::Module m;
  std::string error;
  EXPECT_TRUE(modgen::parse_module(text, m, error)) << error;
  return modgen::build_module(m);
}

// One channel (0 left, 1 right) of interleaved 16-bit stereo.
using Channel = std::vector<double>;

inline double rms(const Channel &x, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) sum += x[i] * x[i];
  return std::sqrt(sum / double(count));
}

// RMS of consecutive windows (441 samples: 10 ms).
inline std::vector<double> rms_envelope(const Channel &x, size_t window = 441) {
  std::vector<double> out;
  for (size_t i = 0; i + window <= x.size(); i += window) out.push_back(rms(x, i, window));
  return out;
}

inline double correlation(const std::vector<double> &a, const std::vector<double> &b) {
  const size_t n = std::min(a.size(), b.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
  ma /= double(n), mb /= double(n);
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < n; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

using dsptest::fft;

// Dominant pitch of n samples from the normalised autocorrelation: the
// first peak within 90 % of the highest (lags for 43 Hz to 2.2 kHz),
// refined by a parabola. clarity is the peak's height (1: periodic).
struct Pitch {
  double hz = 0;
  double clarity = 0;
};

inline Pitch pitch(const double *x, size_t n) {
  size_t size = 1;
  while (size < 2 * n) size <<= 1;
  std::vector<std::complex<double>> f(size);
  for (size_t i = 0; i < n; ++i) f[i] = x[i];
  fft(f, false);
  for (auto &v : f) v = std::norm(v);
  fft(f, true);
  std::vector<double> energy(n + 1, 0.0);  // prefix sums of x^2
  for (size_t i = 0; i < n; ++i) energy[i + 1] = energy[i] + x[i] * x[i];
  const size_t low = 20, high = n / 2;
  std::vector<double> ac(high + 2, 0.0);
  for (size_t lag = low - 1; lag <= high + 1; ++lag) {
    const double head = energy[n - lag], tail = energy[n] - energy[lag];
    ac[lag] = head > 0 && tail > 0 ? f[lag].real() / double(size) / std::sqrt(head * tail) : 0;
  }
  size_t top = low;
  for (size_t lag = low; lag <= high; ++lag)
    if (ac[lag] > ac[top]) top = lag;
  for (size_t lag = low; lag <= high; ++lag) {
    if (ac[lag] >= 0.9 * ac[top] && ac[lag] >= ac[lag - 1] && ac[lag] >= ac[lag + 1]) {
      top = lag;
      break;
    }
  }
  const double a = ac[top - 1], b = ac[top], c = ac[top + 1];
  const double bend = a - 2 * b + c;
  const double shift = bend != 0 ? (a - c) / (2 * bend) : 0;
  return {44100.0 / (double(top) + shift), b};
}

// Frequency of x[from, to) from its rising zero crossings (placed linearly
// between samples), first to last: exact to far below 1e-5 over seconds.
inline double frequency(const Channel &x, size_t from, size_t to) {
  std::vector<double> up;
  for (size_t i = from + 1; i < to; ++i)
    if (x[i - 1] < 0 && x[i] >= 0) up.push_back(double(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
  return double(up.size() - 1) / (up.back() - up.front()) * 44100;
}

// openmpt123 (the program OPENMPT123 names) rendering a module, its output as close to our Paula as
// it goes: 44.1 kHz 16-bit, linear interpolation (2 taps), no volume ramping, no dither, the Amiga
// low-pass emulation off, full stereo separation (200 %: voices hard left
// and right, as with our blend at 0); `options` adds to them.
inline std::array<Channel, 2> render_openmpt(const fs::path &module,
                                             const std::string &options = "") {
  const std::string command = std::string(OPENMPT123) +
                              " --render --samplerate 44100 --filter 2 --ramping 0 --no-float"
                              " --dither 0 --stereo 200 --ctl render.resampler.emulate_amiga=0"
                              " --output-type wav --force " +
                              options + " " + module.string() + " >/dev/null 2>&1";
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

// The agreement of two renders of a module, per channel: the RMS envelopes in 10 ms windows
// correlate at 0.97 or better, and wherever either render's pitch holds for three windows of 23 ms
// (10 ms apart) inside a note (loud, no new onset in both), the other render has that pitch within
// 0.5 % in the middle window or one beside it. Returns the figures per channel.
struct Agreement {
  double correlation = 0;
  int compared = 0;      // held pitches compared
  double worst_off = 0;  // largest relative pitch difference among them
};

inline std::array<Agreement, 2> expect_agreement(const std::array<Channel, 2> &ours,
                                                 const std::array<Channel, 2> &theirs) {
  std::array<Agreement, 2> figures;
  EXPECT_GT(ours[0].size(), 44100u);
  if (ours[0].size() <= 44100) return figures;
  constexpr size_t kWindow = 1024, kHop = 441;
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch ? "right" : "left");
    const Channel *renders[2] = {&ours[ch], &theirs[ch]};
    figures[ch].correlation = correlation(rms_envelope(ours[ch]), rms_envelope(theirs[ch]));
    EXPECT_GE(figures[ch].correlation, 0.97);
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
        // The other render within a window of it (a window straddling a
        // change of pitch may tell either).
        double off = 1;
        for (size_t v = w - 1; v <= w + 1; ++v)
          off = std::min(off, std::abs(at(v, 1 - r).hz / at(w, r).hz - 1));
        ++compared;
        figures[ch].worst_off = std::max(figures[ch].worst_off, off);
        EXPECT_LE(off, 0.005) << (r ? "openmpt holds " : "we hold ") << at(w, r).hz
                              << " Hz, the other " << at(w, 1 - r).hz << " Hz at "
                              << double(w * kHop) / 44100 << " s";
      }
    }
    figures[ch].compared = compared;
    EXPECT_GT(compared, 20);
  }
  return figures;
}

// The module with the notes and instruments of every channel but `keep`
// (0-3) removed, their effects left; empty when `keep` has no note.
inline std::vector<uint8_t> only_channel(std::vector<uint8_t> m, int keep) {
  Mod68Info info;
  if (mod68_check(m.data(), int32_t(m.size()), &info) != 0) return {};
  const size_t patterns = info.slots == 31 ? 1084 : 600;
  bool notes = false;
  for (size_t cell = 0; cell < size_t(info.patterns) * 256; ++cell) {
    uint8_t *c = &m[patterns + 4 * cell];
    if (int(cell % 4) == keep) {
      notes = notes || ((c[0] & 15) << 8 | c[1]) != 0;
    } else {
      c[0] = c[1] = 0;
      c[2] &= 15;
    }
  }
  return notes ? m : std::vector<uint8_t>{};
}

// One channel of two renders of a module, tick by tick (ticks of `tick`
// samples from the start): the pitch over the tick's second half and the
// level (half the peak-to-peak) at its end, over its last sixteenth or 1.2
// cycles of openmpt123's pitch. Levels agree within 8 % (plus a little for
// noise: openmpt123 glides to some volumes over a tick), pitches within
// 0.6 % where both are clear and loud. Returns the ticks compared.
inline int expect_ticks_agree(const Channel &ours, const Channel &theirs, size_t tick) {
  auto level = [](const Channel &x, size_t to, size_t n) {
    const auto [low, high] = std::minmax_element(x.begin() + long(to - n), x.begin() + long(to));
    return (*high - *low) / 2;
  };
  int ticks = 0;
  std::string wrong;
  for (size_t at = 0; at + tick <= std::min(ours.size(), theirs.size()); at += tick, ++ticks) {
    const size_t end = at + tick, half = tick / 2;
    const Pitch pa = pitch(&ours[at + half], half);
    const Pitch pb = pitch(&theirs[at + half], half);
    const size_t n = std::max(tick / 16, pb.clarity > 0.9 ? size_t(1.2 * 44100 / pb.hz) : 0);
    const double a = level(ours, end, n), b = level(theirs, end, n);
    const bool tuned = std::min(a, b) > 1000 && std::min(pa.clarity, pb.clarity) > 0.9;
    if (std::abs(a - b) > 0.08 * std::max(a, b) + 100 ||
        (tuned && std::abs(pa.hz / pb.hz - 1) > 0.006)) {
      char line[80];
      std::snprintf(line, sizeof line, " %d (level %.0f/%.0f, %.1f/%.1f Hz)", ticks, a, b, pa.hz,
                    pb.hz);
      wrong += line;
    }
  }
  EXPECT_EQ(wrong, "") << "ticks (ours/openmpt123)";
  return ticks;
}

// Up to n samples of the player's track (fewer when it ends) in calls of
// one sample, split into the left and right channels. The track is over
// when a call carries out a change (such a call writes nothing).
inline std::array<Channel, 2> render_frames(Player68 *player, size_t n) {
  std::array<Channel, 2> out;
  while (out[0].size() < n) {
    uint32_t w = 0;
    const bool playing = player->track != nullptr;
    const int status = vk68_process(player, &w, 1);
    EXPECT_GE(status, 0);
    if (status < 0 || (playing && (status & VK68_PROCESS_CHANGE))) break;
    out[0].push_back(int16_t(w));
    out[1].push_back(int16_t(w >> 16));
  }
  return out;
}

class ModTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    player_ = enginetest::default_player();
    ASSERT_NE(player_, nullptr);
    ASSERT_EQ(vk68_config_set(player_, vk68_config_id("amiga_blend"), 0), 0);
    ASSERT_EQ(vk68_config_apply(player_), 0);
    enginetest::messages();
  }
  void TearDown() override {
    vk68_shutdown(player_);
    enginetest::messages();
    EngineTest::TearDown();
  }

  // Loads a one-track disk of the module starting at song position `start`.
  const Track68 &load(const std::vector<uint8_t> &module, int start = 0) {
    const Mod68Track track{start, nullptr};
    Disk68 *disk = mod68_disk(module.data(), int32_t(module.size()), nullptr, nullptr, &track, 1);
    EXPECT_NE(disk, nullptr) << enginetest::messages().front();
    EXPECT_EQ(vk68_load_disk(player_, disk), 0);
    return player_->disk->tracks[0];
  }

  std::array<Channel, 2> render(size_t n) { return render_frames(player_, n); }

  Player68 *player_ = nullptr;
};

}  // namespace modtest

#endif
