// The vk68 command run as a child process: what a user sees when it works
// and when it does not. Files: info, convert, ice, and what commands that
// write do to their inputs and to devices. render and play: WAV files (to a
// file and to standard output), time, rate, blend and clocks, batches, what
// a failed render leaves behind, exit statuses, and playback through SDL's
// disk and missing drivers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/engine_fixture.h"
#include "support/music_files.h"
#include "vk68/player.h"

using namespace musictest;

namespace {

using enginetest::Outcome;

class Vk68Tool : public enginetest::EngineTest {
 protected:
  // vk68 (after an environment or input prefix), its configuration in the
  // test's directory.
  Outcome run(const std::string &words, const std::string &prefix = "") const {
    return run_command(prefix + " VK68_HOME=" + dir_.string() + " " VK68 " " + words);
  }
};

const std::string kSample = vk68(
    "FN'Sample disk|DF=1|MU|AN'Ann|TI=10|TY=4|AT=0x20000|DA:0123456789|"
    "MU|MN'Second|FR=300|FQ=60|D0=7|RE'rep");

nlohmann::ordered_json json(const Outcome &r) {
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::ordered_json::parse(r.status ? "{}" : r.out);
}

TEST_F(Vk68Tool, InfoAsJson) {
  const std::string file = write("sample.vk68", gzip(kSample));
  auto j = json(run("info --json " + file));
  EXPECT_EQ(j["file"], file);
  EXPECT_EQ(j["track"][0].dump(),
            R"({"number":1,"name":"Sample disk","author":"Ann","composer":"Ann","replay":null,)"
            R"("hardware":4,"hardware_text":"Amiga/Paula","frequency":50,"frames":500,)"
            R"("time_ms":10000,"start_ms":0,"load_address":131072,"d0":0,"data_size":10})");
  EXPECT_EQ(j["track"][1]["replay"].dump() + j["track"][1]["start_ms"].dump(), "\"rep\"10000");
  j.erase("file");
  j.erase("track");
  EXPECT_EQ(j.dump(), R"({"format":"vk68","packing":"gzip","name":"Sample disk","tracks":2,)"
                      R"("default_track":2,"total_ms":15000,"hardware":5,)"
                      R"("hardware_text":"Yamaha-2149  & Amiga/Paula"})");
}

TEST_F(Vk68Tool, InfoAsTextIsSafeToPrint) {
  // A title that would colour the terminal; a name in two scripts and a
  // byte that is no UTF-8; a track of 1.5 s and one of 2^32 - 1 ms. Times
  // are whole seconds rounded up, as the engine's track texts, and never
  // wrap.
  const std::string bytes = vk68(
      "FN'\x1B[31mRed\\|MU|MN'Äpathy 音楽 \xFF|FR=1500|FQ=1000|DA:x|"
      "MU|FR=0xFFFFFFFF|FQ=1");
  const Outcome r = run("info " + write("tune.sndh", bytes));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
  for (const char *line :
       {"name:      \\x1B[31mRed\\\\\n", "name:      Äpathy 音楽 \\xFF\n",
        "time:      49 days, 17h, 02' 48\"", "track 1: 01 00:02\n", "track 2: 02 99:59\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  Disk68 *disk = VK68file_load_buffer(bytes.data(), int32_t(bytes.size()));
  ASSERT_NE(disk, nullptr);
  for (int t = 1; t <= 2; ++t) {
    VK68trackInfo info{};
    ASSERT_EQ(vk68_track_info(nullptr, disk, &info, t), 0);
    EXPECT_NE(r.out.find("track " + std::to_string(t) + ": " + info.time + "\n"),
              std::string::npos);
  }
  vk68_free(disk);
}

TEST_F(Vk68Tool, FailuresSayWhatAndWhy) {
  const std::string junk = write("junk", std::string(100, 'j')), empty = write("empty", ""),
                    packed = write("junk.ice", ice(std::string(100, 'j'))),
                    song = write("song.vk68", kSample), none = path("none"), dir = dir_.string();
  const std::string not_music = ": not a music file (no VK68, SNDH, ICE or gzip signature)\n";
  // The cause first (the loader's own, tested with the loaders), each file
  // named as given, what was unpacked from it as "packed content".
  const std::pair<std::string, std::string> cases[] = {
      {"info " + junk, "vk68: " + junk + not_music},
      {"info " + packed, "vk68: packed content" + not_music + "vk68: " + packed +
                             ": its ICE-packed content does not load\n"},
      {"info " + empty, "vk68: " + empty + ": empty file\n"},
      {"info " + dir, "vk68: cannot read '" + dir + "': Is a directory\n"},
      {"convert " + none + " x", "vk68: cannot read '" + none + "': No such file or directory\n"},
      {"ice unpack " + song + " x",
       "vk68: " + song + ": not an ICE-packed file (no ICE! signature)\n"},
      {"ice pack " + dir + " x", "vk68: cannot read '" + dir + "': Is a directory\n"},
  };
  for (const auto &[args, err] : cases) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, err) << args;
  }
  if (geteuid() != 0) {  // the superuser reads any file
    chmod(song.c_str(), 0);
    EXPECT_EQ(run("info " + song).err, "vk68: cannot read '" + song + "': Permission denied\n");
  }
}

// Every command that writes a file: the input is never written, by any
// path; a device (here a node of /dev/full's numbers: no space left) is
// written in place and kept when the writing fails.
TEST_F(Vk68Tool, InputsAndDevicesAreNeverReplaced) {
  std::string module(1084, '\0');  // one empty pattern, no samples
  module.replace(0, 4, "tiny").replace(1080, 4, "M.K.")[950] = 1;
  const std::string song = write("song.vk68", kSample), packed = write("song.ice", ice(kSample)),
                    mod = write("a.mod", module + std::string(1024, '\0'));
  ASSERT_EQ(link(song.c_str(), path("linked").c_str()), 0);
  const std::string writers[] = {"convert " + song + " ", "ice pack " + song + " ",
                                 "ice unpack " + packed + " ", "import " + mod + " -o "};
  const std::string inputs[] = {path("linked"), dir_.string() + "/./song.vk68", packed, mod};
  for (int i = 0; i < 4; ++i) {
    const Outcome r = run(writers[i] + inputs[i]);
    EXPECT_EQ(r.status, 1) << writers[i];
    EXPECT_EQ(r.err, "vk68: cannot write '" + inputs[i] + "': it is the input file\n");
  }
  EXPECT_EQ(read(song) + read(packed) + read(mod),
            kSample + ice(kSample) + module + std::string(1024, '\0'));

  const std::string device = path("full");
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "cannot make a device node here (" << std::strerror(errno) << ")";
  for (const std::string &writer : writers) {
    const Outcome r = run(writer + device);
    EXPECT_EQ(r.status, 1) << writer;
    EXPECT_EQ(r.err, "vk68: cannot write '" + device + "': No space left on device\n");
    struct stat st;
    EXPECT_TRUE(lstat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << writer;
  }
}

// Help and version; every command's own help, whatever else is on the line.
TEST_F(Vk68Tool, HelpAndVersion) {
  const Outcome help = run("--help"), version = run("--version");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("info [--json] FILE"), std::string::npos);
  EXPECT_EQ(version.out, "vk68 " VK68_VERSION "\n");
  for (const char *command : {"info", "convert", "ice", "import", "render", "play"}) {
    const Outcome r = run(std::string(command) + " nonexistent --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind("usage:\n  " + std::string(command) + " ", 0), 0u) << r.out;
  }
  EXPECT_NE(run("render --help").out.find("--quiet"), std::string::npos);
}

TEST_F(Vk68Tool, ConvertAndIce) {
  const std::string song = sndh("##03TIME" + be16(4) + be16(5) + be16(6)),
                    in = write("in.sndh", song), out = path("out.vk68");
  ASSERT_EQ(run("convert " + in + " " + out).status, 0);
  const auto j = json(run("info --json " + out));
  EXPECT_EQ(j["format"].dump() + j["track"][2]["time_ms"].dump() + j["track"][2]["replay"].dump(),
            "\"vk68\"6000\"sndh_ice\"");
  EXPECT_EQ(j["track"][0]["data_size"], song.size());
  const std::string plain = write("plain", kSample), packed = path("p.ice"), back = path("back");
  ASSERT_EQ(run("ice pack " + plain + " " + packed).status, 0);
  ASSERT_EQ(run("ice unpack " + packed + " " + back).status, 0);
  EXPECT_EQ(read(packed).substr(0, 4) + read(back), "ICE!" + kSample);
}

constexpr uint32_t kStreamSize = 0xFFFFFFFF;  // RIFF and data size of a WAV stream

// Samples (left, right, ...) of a WAV file's bytes, after checking every
// header field; `streamed`: the sizes of a stream of unknown length.
std::vector<int16_t> wav(const std::string &b, uint32_t rate, bool streamed = false) {
  if (b.size() < 44) {
    ADD_FAILURE() << "no WAV header";
    return {};
  }
  uint32_t f[11];  // the header as 32-bit little-endian words
  std::memcpy(f, b.data(), 44);
  const uint32_t data = uint32_t(b.size() - 44);
  EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_EQ(f[1], streamed ? kStreamSize : data + 36);  // RIFF size
  EXPECT_EQ(f[4], 16u);                                 // fmt chunk size
  EXPECT_EQ(f[5], 0x20001u);                            // PCM (1), 2 channels
  EXPECT_EQ(f[6], rate);
  EXPECT_EQ(f[7], rate * 4);   // bytes per second
  EXPECT_EQ(f[8], 0x100004u);  // 4 bytes a sample frame, 16 bits
  EXPECT_EQ(f[10], streamed ? kStreamSize : data);
  std::vector<int16_t> s(data / 2);
  std::memcpy(s.data(), b.data() + 44, s.size() * 2);
  return s;
}

// A fixed time, fractions of seconds too, loops the track; rate, blend and
// clocks hold for this run only.
TEST_F(Vk68Tool, RenderFixedTimeRateAndBlend) {
  const std::string out = path("m.wav");
  const std::string saved = "sampling_rate = 48000\n";
  write("config.txt", saved);
  const Outcome r = run(
      "render " TUNES "/paula.vk68 --track 1 --seconds 2.5 --rate 22050 --blend 32768 -o " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, out + ": 1 track, 0:02.500 at 22050 Hz\n");
  const std::vector<int16_t> s = wav(read(out), 22050);
  ASSERT_EQ(s.size(), 2u * 55125);
  int rising = 0;  // voice 0: 3546895 / 200 / 32 = 554.2 Hz, on both sides
  for (size_t i = 2; i < s.size(); i += 2) {
    ASSERT_EQ(s[i], s[i + 1]);
    rising += s[i - 2] < 0 && s[i] >= 0;
  }
  EXPECT_NEAR(rising, 2.5 * 554.2, 4);
  // The configured rate when none is given; the configuration is never written.
  ASSERT_EQ(run("render " TUNES "/paula.vk68 --seconds 0.5 --quiet -o " + out).status, 0);
  EXPECT_EQ(wav(read(out), 48000).size(), 2u * 24000);
  EXPECT_EQ(read(path("config.txt")), saved);  // the user's, untouched
  // The clocks for this run: a YM tone of period 284 over 10 s is 5.8
  // periods more at a PAL STE's 2,002,653 Hz than at the nominal 2 MHz.
  int edges[2] = {};
  for (int pal = 0; pal < 2; ++pal) {
    ASSERT_EQ(run("render " TUNES "/tone.vk68 --track 1 --seconds 10 --quiet --clock " +
                  std::string(pal ? "pal" : "nominal") + " -o " + out)
                  .status,
              0);
    const std::vector<int16_t> t = wav(read(out), 48000);
    for (size_t i = 0, high = 0; i < t.size(); i += 2) {
      edges[pal] += !high && t[i] > 3000;
      high = t[i] > 3000 || (high && t[i] > -3000);
    }
  }
  EXPECT_NEAR(edges[1] - edges[0], 10 * 2653.0 / 16 / 284, 1.5);
  EXPECT_EQ(run("render " TUNES "/tone.vk68 --clock ntsc -o " + out).status, 2);
}

// Several files, modules among them, each to DIR/NAME.wav on two threads:
// the same files as one at a time, their lines in the order given; a file
// that fails says why after the others are written.
TEST_F(Vk68Tool, RenderABatch) {
  const std::string files = TUNES "/paula.vk68 " MODULES "/melody.mod " TUNES "/tune.sndh ";
  const Outcome r = run("render " + files + write("junk.mod", "junk") + " --seconds 1 --out-dir " +
                        path("out") + " -j 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vk68: " + path("junk.mod") +
                       ": not a music file (no VK68, SNDH, ICE or gzip signature)\n");
  const char *names[] = {"paula", "melody", "tune"};
  std::string lines;
  for (const char *name : names)
    lines += path("out/") + name + ".wav: 1 track, 0:01.000 at 44100 Hz\n";
  EXPECT_EQ(r.out, lines);
  ASSERT_EQ(run("render " + files + "--seconds 1 --quiet --out-dir " + path("one")).status, 0);
  for (const char *name : names) {
    const std::string wav = std::string(name) + ".wav";
    EXPECT_EQ(read(path("out/" + wav)), read(path("one/" + wav))) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(path("out/junk.wav")));
  const Outcome twice =
      run("render " TUNES "/paula.vk68 " + write("paula.sndh", "x") + " --out-dir " + path("out"));
  EXPECT_EQ(twice.status, 2);
  EXPECT_NE(twice.err.find("would both be written to '" + path("out/paula.wav") + "'"),
            std::string::npos);
}

// Every track for its own time, to a file: the line on what was written,
// no progress bar without a terminal. "-o -": the same samples as in a
// file, behind the header of a stream; the line goes to stderr then.
// --quiet leaves it out. A render longer than a WAV holds (5 tracks of
// 214748363 samples: one sample more than the 2^32 - 1 - 36 bytes of its
// data) is refused before anything is written.
TEST_F(Vk68Tool, RenderToAFileOrStandardOutput) {
  const Outcome r = run("render " TUNES "/paula.vk68 --all -o " + path("all.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  // Five 2-second tracks; the engine ends a track within its last 20 ms.
  EXPECT_NEAR(double(wav(read(path("all.wav")), 44100).size()) / 2 / 44100, 10.0, 5 * 0.02);
  EXPECT_EQ(r.out.rfind(path("all.wav") + ": 5 tracks, 0:", 0), 0u) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 13), " at 44100 Hz\n") << r.out;
  EXPECT_EQ(r.err, "");
  const std::string words = "render " TUNES "/paula.vk68 --track 2 --seconds 1.5 ";
  const Outcome file = run(words + "--quiet -o " + path("file.wav"));
  ASSERT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(file.out + file.err, "");
  const Outcome piped = run(words + "-o -");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "standard output: 1 track, 0:01.500 at 44100 Hz\n");
  const std::vector<int16_t> streamed = wav(piped.out, 44100, true);
  EXPECT_EQ(streamed.size(), 2u * 66150);
  EXPECT_TRUE(streamed == wav(read(path("file.wav")), 44100));
  const Outcome longer = run(
      "render " TUNES "/paula.vk68 --all --seconds 4294.96726 --rate 50000 -o " + path("long.wav"));
  EXPECT_EQ(longer.status, 1);
  EXPECT_EQ(longer.err,
            "vk68: too long for a WAV file: 5:57:54.837 at 50000 Hz, at most 5:57:54.836 fit\n");
  EXPECT_FALSE(std::filesystem::exists(path("long.wav")));
}

// A failed render removes only a regular file it made itself, not one that
// was there before, and never writes its input, by whatever path. (Inputs
// and devices by every path: the vk68 tool's test, for every command.)
TEST_F(Vk68Tool, RenderKeepsWhatItDidNotMake) {
  const std::string stuck = "render " TUNES "/tone.vk68 --track 4 -o ";  // a track that hangs
  EXPECT_EQ(run(stuck + path("new.wav")).status, 1);
  EXPECT_FALSE(std::filesystem::exists(path("new.wav")));
  const std::string old = write("old.wav", "old"),
                    song = write("song.vk68", read(TUNES "/paula.vk68"));
  EXPECT_EQ(run(stuck + old).status, 1);
  EXPECT_TRUE(std::filesystem::exists(old));
  ASSERT_EQ(link(song.c_str(), path("linked.vk68").c_str()), 0);
  EXPECT_EQ(run("render " + song + " -o " + path("linked.vk68")).err,
            "vk68: cannot write '" + path("linked.vk68") + "': it is the input file\n");
  EXPECT_EQ(read(song), read(TUNES "/paula.vk68"));
}

// Usage mistakes exit with 2 and one line on what and where to look, other
// failures with 1 and why.
TEST_F(Vk68Tool, ExitStatuses) {
  const struct {
    std::string words, prefix;
    int status;
    const char *message;
  } kCases[] = {
      {"", "", 2, "vk68: missing command\n"},
      {"frobnicate", "", 2, "vk68: unknown command 'frobnicate'\n"},
      {"info", "", 2, "vk68: missing input file\n"},
      {"info -x f", "", 2, "vk68: unknown option '-x'\n"},
      {"info a b", "", 2, "vk68: unexpected argument 'b'\n"},
      {"convert a", "", 2, "vk68: missing output file\n"},
      {"ice squash a b", "", 2, "vk68: unknown ice action 'squash' (pack or unpack)\n"},
      {"render", "", 2, "missing music file"},
      {"render " TUNES "/tone.vk68 --all --track 2 -o x.wav", "", 2, "exclude"},
      {"render " TUNES "/tone.vk68 --rate 5 -o x.wav", "", 2, "--rate"},
      {"render " TUNES "/tone.vk68 --seconds 0 -o x.wav", "", 2, "from 0.001 to 86400"},
      {"render " TUNES "/tone.vk68 --seconds 1.5s -o x.wav", "", 2, "not '1.5s'"},
      {"render " TUNES "/tone.vk68", "", 2, "missing output file"},
      {"render " TUNES "/tone.vk68 --track 4 -o " + path("stuck.wav"), "", 1, "did not return"},
      {"render " TUNES "/paula.vk68 --track 6 -o x.wav", "", 1,
       "paula.vk68: no track 6 (5 tracks)"},
      {"render " TUNES "/tone.vk68 -o /nonexistent/x.wav", "", 1, "cannot write"},
      {"play " TUNES "/tune.sndh", "SDL_AUDIODRIVER=none-such", 1, "no sound device"},
  };
  for (const auto &c : kCases) {
    const Outcome r = run(c.words, c.prefix);
    EXPECT_EQ(r.status, c.status) << c.words;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.status == 2) {
      EXPECT_TRUE(r.err.ends_with("\nTry 'vk68 --help' for more information.\n")) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    }
  }
}

TEST_F(Vk68Tool, PlayUntilQuit) {
  const std::string raw = path("device.raw");
  const Outcome r = run("play " TUNES "/tune.sndh --track 2",
                        "(sleep 1; printf q) | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + raw);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("track 2/2  Two tunes"), std::string::npos);
  EXPECT_NE(read(raw).find_first_not_of('\0'), std::string::npos);
}

}  // namespace
