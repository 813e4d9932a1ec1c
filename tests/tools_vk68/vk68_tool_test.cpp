// The vk68 command run as a child process: what a user sees when it works
// and when it does not.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "support/engine_fixture.h"
#include "support/music_files.h"
#include "vk68/player.h"

using namespace musictest;

namespace {

using enginetest::Outcome;

class Vk68Tool : public enginetest::EngineTest {
 protected:
  Outcome run(const std::string &args) { return run_command(VK68_TOOL " " + args); }
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

TEST_F(Vk68Tool, UsageMistakes) {
  const std::pair<const char *, const char *> cases[] = {
      {"", "missing command"},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"info", "missing input file"},
      {"info -x f", "unknown option '-x'"},
      {"info a b", "unexpected argument 'b'"},
      {"convert a", "missing output file"},
      {"ice squash a b", "unknown ice action 'squash' (pack or unpack)"},
  };
  for (const auto &[args, what] : cases) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err, "vk68: " + std::string(what) + "\nTry 'vk68 --help' for more information.\n");
  }
  const Outcome help = run("--help"), version = run("--version");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("info [--json] FILE"), std::string::npos);
  EXPECT_EQ(version.out, "vk68 " VK68_VERSION "\n");
  // Every command's own help, whatever else is on the line.
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

}  // namespace
