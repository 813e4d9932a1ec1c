// VK68 loader, chunk walk, consistency pass, writer, probe and packed files.
#include <gmock/gmock.h>

#include "disk_test.h"

using namespace musictest;
using enginetest::messages;
using ::testing::ElementsAre;
using ::testing::EndsWith;

namespace {

using Vk68File = DiskTest;

const std::string kOneTrack = "FN'Disk|MU|DA:CODE";

TEST_F(Vk68File, RefusedFilesSayWhy) {
  const std::string good = vk68(kOneTrack),
                    id = "not a music file (no VK68, SNDH, ICE or gzip "
                         "signature)",
                    weird = "damaged VK68 file (impossible size in its base chunk)",
                    cut = "VK68 file cut short (its header gives more data than follows)",
                    overrun = "damaged VK68 file (a chunk runs past the end of its data)",
                    rule =
                        "' refused (letters, digits, '_', '-' and '.' only, not starting with '.')";
  std::string bad_magic = good, bad_base = good;
  bad_magic[3] = 'X';
  bad_base[56] = 'X';
  auto replay = [](const std::string &name) { return vk68("MU|RE'" + name + "|DA:x"); };
  // The file, and its one message "<stream>: <why>".
  const std::pair<std::string, std::string> cases[] = {
      {bad_magic, id},
      {good.substr(0, 20), id},
      {bad_base, "damaged VK68 file (no base chunk after its signature)"},
      {vk68(kOneTrack, "", 8), weird},
      {good.substr(0, 62), weird},
      {vk68(kOneTrack, "", uint32_t(good.size() - 47)), cut},
      {vk68(kOneTrack, "", 0x7FFFFFF0), cut},
      {vk68(kOneTrack, "", 0xFFFFFFF0), weird},
      {vk68("FN'x"), "no track in the file"},
      {vk68("MU|MU|DA:A"), "track 1 has no music data"},
      {vk68("MN'x|MU|DA:A"), "damaged VK68 file (chunk MN before the first track)"},
      {vk68(kOneTrack, "VKM"), overrun},
      {vk68("MU", "VKDA\xFF\xFF\xFF\x7Fx"), overrun},
      {vk68(kOneTrack, std::string("XYZW\0\0\0\0", 8)), overrun},
      {replay("../../x"), "replay name '../../x" + rule},
      {replay(""), "replay name '" + rule},
      {sndh("##01").substr(0, 32), "damaged SNDH file (its header is cut short or unreadable)"},
  };
  for (const auto &[file, want] : cases) {
    EXPECT_EQ(load(file), nullptr) << want;
    const std::vector<std::string> m = messages();
    ASSERT_EQ(m.size(), 1u) << want;
    EXPECT_EQ(m[0].rfind("mem://", 0), 0u) << m[0];
    EXPECT_EQ(m[0].substr(m[0].find(": ") + 2), want);
  }
}

TEST_F(Vk68File, OneTrackTakesTheDefaults) {
  Disk68 *d = load(vk68("MU|DA:CODE"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(describe(*d),
            "???| default 0 total 0 hw 1\n0 32768 50 0 0 0 1 4 ???|???|???|null| CODE\n");
  // The data lies inside the disk's own block.
  const auto *block = reinterpret_cast<const uint8_t *>(d);
  EXPECT_TRUE(d->tracks[0].data > block && d->tracks[0].data < block + sizeof(Disk68) + 64);
  EXPECT_STREQ(load(vk68(kOneTrack))->tracks[0].name, "Disk");
}

TEST_F(Vk68File, FramesWinOverTimeAndLongTimesSaturate) {
  Disk68 *d =
      load(vk68("MU|FR=500|FQ=50|TI=99|DA:A|MU|TI=10|MU|TI=7|FQ=60|MU|FR=1|FQ=3|"
                "MU|FR=0xFFFFFFFF|FQ=1|MU|TI=0xFFFFFFFF"));
  ASSERT_NE(d, nullptr);
  // time ms, frames, start ms
  const uint32_t want[][3] = {{10000, 500, 0}, {10000, 500, 10000}, {7000, 420, 20000},
                              {333, 1, 27000}, {~0u, ~0u, 27333},   {~0u, 214748364, ~0u}};
  for (int i = 0; i < 6; ++i) {
    const Track68 &t = d->tracks[i];
    EXPECT_EQ(std::vector<uint32_t>({t.time_ms, t.frames, t.start_ms}),
              std::vector<uint32_t>(want[i], want[i] + 3));
  }
  EXPECT_EQ(d->total_ms, ~0u);
}

TEST_F(Vk68File, TracksInheritTextsAndData) {
  Disk68 *d =
      load(vk68("FN'Disk|DF=1|MU|AN'Ann|TY=4|DA:ONE|MU|MN'Second|CN'Carl|AT=0x10000|"
                "MU|AN'Bob|DA:THREE|RE'Rep_1.x-2|MU|MN'|AN"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(describe(*d),
            "Disk| default 1 total 0 hw 5\n"
            "0 32768 50 0 0 0 4 3 Disk|Ann|Ann|null| ONE\n"
            "0 65536 50 0 0 0 1 3 Second|Ann|Carl|null| = ONE\n"
            "0 32768 50 0 0 0 1 5 Second|Bob|Carl|Rep_1.x-2| THREE\n"
            "0 32768 50 0 0 0 1 5 ||Carl|null| = THREE\n");
  EXPECT_EQ(load(vk68("DF=5|MU|DA:A|MU"))->default_track, 0);
}

TEST_F(Vk68File, ChunkWalkStopsAndSkips) {
  // "EF" ends the walk whatever follows it, even a size beyond the file.
  Disk68 *d = load(vk68(kOneTrack, "VKEF" + le32(0xFFFFFFF0) + "VKMU" + le32(0)));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 1);
  // So does a 100th "MU".
  std::string many = "MU|DA:A";
  for (int i = 1; i < 99; ++i) many += "|MU|D0=" + std::to_string(i);
  d = load(vk68(many, "VKMU" + le32(0x7FFFFFFF) + "not read"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count * 1000 + int(d->tracks[98].d0), 99098);
  // Unknown chunks and inner "68" chunks are skipped by their size; a text
  // without terminator is cut, a short number takes its own bytes.
  d = load(vk68("MU|DA:A|ZZ'skip|68:abcd|MN:abc|FQ:\x3c"));
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->tracks[0].name, "ab");
  EXPECT_EQ(d->tracks[0].frequency, 60u);
}

std::string save(const Disk68 *d) {
  std::string out(4096, '\0');
  EXPECT_EQ(VK68file_save_buffer(out.data(), int32_t(out.size()), d), 0);
  return out.substr(0, 56 + (uint8_t(out[60]) | uint8_t(out[61]) << 8));
}

TEST_F(Vk68File, SavedDisksLoadTheSame) {
  const std::string files[] = {
      vk68("FN'Disk|DF=2|MU|AN'Ann|TY=4|FQ=60|TI=7|DA:ONE|MU|MN'Two|CN'Carl|AT=0x10000|D0=3|"
           "MU|AN'|DA:THREE|RE'rep|FR=1|MU|AN'Ann|CN'Carl|DA:ONE|MU|MN'|CN'"),
      vk68("FN'|MU|DA"),
      sndh("TITLSong" + std::string(1, '\0') + "##02TC100TIME" + be16(5) + be16(6)),
  };
  for (const std::string &f : files) {
    ASSERT_NE(load(f), nullptr);
    const std::string before = describe(*disk_), saved = save(disk_);
    ASSERT_NE(load(saved), nullptr) << messages().front();
    EXPECT_EQ(describe(*disk_), before);
    EXPECT_EQ(save(disk_), saved);
  }
}

TEST_F(Vk68File, WriterLeavesOutDefaultsAndRepeats) {
  ASSERT_NE(load(vk68("FN'Disk|MU|AT=0x8000|FQ=50|MN'Disk|DA:AB|MU|MN'Disk")), nullptr);
  EXPECT_EQ(save(disk_), vk68("FN'Disk|MU|AN'???|CN'???|TY=1|DA:AB|MU|TY=1|EF"));
}

TEST_F(Vk68File, WriterFailures) {
  ASSERT_NE(load(vk68(kOneTrack)), nullptr);
  std::string room(4096, '\0');
  const std::pair<int32_t, const char *> cases[] = {
      {70, "write error"}, {20, "write error"}, {0, "100 tracks; a file holds 1 to 99"}};
  for (const auto &[size, reason] : cases) {
    disk_->track_count = size ? 1 : 100;
    EXPECT_LT(VK68file_save_buffer(room.data(), size ? size : 4096, disk_), 0);
    EXPECT_THAT(messages(), ElementsAre(EndsWith(std::string(": cannot write the VK68 file (") +
                                                 reason + ")")));
  }
  disk_->track_count = 1;
}

TEST_F(Vk68File, FilesOnDisk) {
  ASSERT_NE(load(vk68(kOneTrack)), nullptr);
  const std::string file = path("disk.vk68"), none = path("none");
  ASSERT_EQ(VK68file_save_path(file.c_str(), disk_) + VK68file_probe_path(file.c_str()), 0);
  EXPECT_EQ(read(file), save(disk_));
  EXPECT_EQ(VK68file_load_path(none.c_str()), nullptr);
  EXPECT_EQ(messages().back(), none + ": cannot open the file (No such file or directory)");
  EXPECT_EQ(VK68file_probe_path(none.c_str()), -1);
}

TEST_F(Vk68File, ProbeAndPackedFiles) {
  const std::string vk = vk68(kOneTrack), song = sndh("##03TC60"), junk(100, 'j');
  std::string no_base = vk, deep = vk;
  no_base[57] = 'Q';
  for (int i = 0; i < 12; ++i) deep = gzip(deep);  // nested deeper than any real file
  // The file, what the probe says, and format * 10 + packing of the load
  // (-1: it does not load).
  // clang-format off
  const std::tuple<std::string, int, int> cases[] = {
      {vk, 0, 0}, {song, 0, 10}, {junk, -1, -1}, {no_base, -1, -1}, {ice(vk), 0, 1},
      {ice(junk), -1, -1}, {gzip(song), 0, 12}, {gzip(junk), -1, -1}, {deep, -1, -1},
      {gzip(ice(song)), 0, 12}, {ice(gzip(vk)), 0, 1}, {gzip(vk).substr(0, 30), -1, -1}};
  // clang-format on
  int row = 0;
  for (const auto &[file, probe, kind] : cases) {
    EXPECT_EQ(VK68file_probe_buffer(file.data(), int32_t(file.size())), probe) << row;
    VK68fileKind found{-1, -1};
    load(file, &found);
    EXPECT_EQ(disk_ ? found.format * 10 + found.packing : -1, kind) << row++;
    EXPECT_EQ(messages().empty(), disk_ != nullptr) << row;
  }
}

}  // namespace
