// The vk68 command run as a child process: info (text and JSON), convert,
// ice pack/unpack, usage and failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "builders.h"
#include "vk68/vk68file.h"
#include "support/engine_hooks.h"

using namespace vk68test;
using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Vk68Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vk68_tool_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    enginetest::install_counting_hooks();
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write(const std::string &name, const Bytes &bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
    return p;
  }

  Outcome run(const std::string &args) {
    const fs::path out = dir_ / "stdout.txt";
    const fs::path err = dir_ / "stderr.txt";
    const std::string command =
        std::string(VK68_TOOL) + " " + args + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  }

  fs::path dir_;
};

Bytes sample_vk68() {
  return VkBuilder()
      .text("FN", "Sample disk")
      .number("DF", 1)
      .mark("MU")
      .text("AN", "Ann")
      .number("TI", 10)
      .number("TY", 4)
      .number("AT", 0x20000)
      .data("0123456789")
      .mark("MU")
      .text("MN", "Second")
      .number("FR", 300)
      .number("FQ", 60)
      .number("D0", 7)
      .text("RE", "rep")
      .file();
}

TEST_F(Vk68Tool, InfoJsonDescribesEveryTrack) {
  const fs::path f = write("sample.vk68", sample_vk68());
  const Outcome r = run("info --json " + f.string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["file"], f.string());
  EXPECT_EQ(j["format"], "vk68");
  EXPECT_EQ(j["packing"], "none");
  EXPECT_EQ(j["name"], "Sample disk");
  EXPECT_EQ(j["tracks"], 2);
  EXPECT_EQ(j["default_track"], 2);
  EXPECT_EQ(j["total_ms"], 15000);
  EXPECT_EQ(j["hardware"], 5);
  EXPECT_EQ(j["hardware_text"], "Yamaha-2149  & Amiga/Paula");
  ASSERT_EQ(j["track"].size(), 2u);
  const auto &t1 = j["track"][0];
  EXPECT_EQ(t1["number"], 1);
  EXPECT_EQ(t1["name"], "Sample disk");
  EXPECT_EQ(t1["author"], "Ann");
  EXPECT_EQ(t1["composer"], "Ann");
  EXPECT_TRUE(t1["replay"].is_null());
  EXPECT_EQ(t1["hardware"], 4);
  EXPECT_EQ(t1["hardware_text"], "Amiga/Paula");
  EXPECT_EQ(t1["frequency"], 50);
  EXPECT_EQ(t1["frames"], 500);
  EXPECT_EQ(t1["time_ms"], 10000);
  EXPECT_EQ(t1["start_ms"], 0);
  EXPECT_EQ(t1["load_address"], 0x20000);
  EXPECT_EQ(t1["d0"], 0);
  EXPECT_EQ(t1["data_size"], 10);
  const auto &t2 = j["track"][1];
  EXPECT_EQ(t2["number"], 2);
  EXPECT_EQ(t2["name"], "Second");
  EXPECT_EQ(t2["replay"], "rep");
  EXPECT_EQ(t2["hardware"], 1);
  EXPECT_EQ(t2["frequency"], 60);
  EXPECT_EQ(t2["time_ms"], 5000);
  EXPECT_EQ(t2["start_ms"], 10000);
  EXPECT_EQ(t2["load_address"], 0x8000);
  EXPECT_EQ(t2["d0"], 7);
  EXPECT_EQ(t2["data_size"], 10);
}

TEST_F(Vk68Tool, InfoTextAndPackedSndh) {
  const Bytes sndh = sndh_file(cat({tag("TITL"), tag("Tune", true), tag("##02"), tag("TC200")}));
  const fs::path f = write("tune.sndh.gz", gzip(sndh));
  Outcome r = run("info --json " + f.string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["format"], "sndh");
  EXPECT_EQ(j["packing"], "gzip");
  EXPECT_EQ(j["tracks"], 2);
  EXPECT_EQ(j["track"][1]["d0"], 2);
  EXPECT_EQ(j["track"][1]["replay"], "sndh_ice");
  EXPECT_EQ(j["track"][0]["frequency"], 200);
  EXPECT_EQ(j["track"][0]["data_size"], sndh.size());

  r = run("info " + f.string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Tune"));
  EXPECT_THAT(r.out, HasSubstr("sndh (packing: gzip)"));
  EXPECT_THAT(r.out, HasSubstr("track 2"));
  EXPECT_THAT(r.out, HasSubstr("sndh_ice"));
}

TEST_F(Vk68Tool, BadFilePrintsTheMessagesNewestFirst) {
  const fs::path f = write("bad.vk68", Bytes(100, 'x'));
  const Outcome r = run("info --json " + f.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  const auto failed = r.err.find("VK68file_load(" + f.string() + ") : Failed (read header)");
  const auto id = r.err.find("Not VK68 file : Missing ID");
  ASSERT_NE(failed, std::string::npos) << r.err;
  ASSERT_NE(id, std::string::npos) << r.err;
  EXPECT_LT(failed, id);

  const Outcome missing = run("info " + (dir_ / "nothing.vk68").string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("(open failure)"));
}

TEST_F(Vk68Tool, ConvertWritesALoadableVk68File) {
  const Bytes sndh = sndh_file(cat({tag("TITL"), tag("Conv", true), tag("COMM"), tag("Me", true),
                                    tag("##03"), tag("TIME"), be16(4), be16(5), be16(6)}));
  const fs::path in = write("in.sndh", sndh);
  const fs::path out = dir_ / "out.vk68";
  const Outcome r = run("convert " + in.string() + " " + out.string());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bytes = slurp(out);
  ASSERT_GT(bytes.size(), 64u);
  EXPECT_EQ(bytes.compare(0, 55, kMagic, 55), 0);
  Disk68 *d = VK68file_load_buffer(bytes.data(), int32_t(bytes.size()));
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->name, "Conv");
  ASSERT_EQ(d->track_count, 3);
  EXPECT_EQ(d->tracks[2].time_ms, 6000u);
  EXPECT_EQ(d->tracks[2].d0, 3u);
  EXPECT_STREQ(d->tracks[1].author, "Me");
  EXPECT_EQ(d->tracks[0].data_size, sndh.size());
  vk68_free(d);
}

TEST_F(Vk68Tool, IcePackAndUnpack) {
  const Bytes original = sample_vk68();
  const fs::path in = write("plain.vk68", original);
  const fs::path packed = dir_ / "packed.ice";
  const fs::path back = dir_ / "back.vk68";
  ASSERT_EQ(run("ice pack " + in.string() + " " + packed.string()).status, 0);
  const std::string p = slurp(packed);
  EXPECT_EQ(p.compare(0, 4, "ICE!"), 0);
  const Outcome info = run("info --json " + packed.string());
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(nlohmann::json::parse(info.out)["packing"], "ice");
  ASSERT_EQ(run("ice unpack " + packed.string() + " " + back.string()).status, 0);
  const std::string b = slurp(back);
  EXPECT_EQ(Bytes(b.begin(), b.end()), original);

  const Outcome bad = run("ice unpack " + in.string() + " " + back.string());
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.err, HasSubstr("not ICE!"));
}

TEST_F(Vk68Tool, Usage) {
  Outcome r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("info [--json] FILE"));
  EXPECT_THAT(r.out, HasSubstr("ice unpack"));
  EXPECT_EQ(run("").status, 2);
  EXPECT_EQ(run("frobnicate").status, 2);
  EXPECT_EQ(run("info").status, 2);
  EXPECT_EQ(run("ice squash a b").status, 2);
  EXPECT_EQ(run("convert onlyone").status, 2);
}

}  // namespace
