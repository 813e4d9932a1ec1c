// VK68 files (loader, chunk walk, consistency pass, writer, probe, packed
// files) and SNDH files (tags, rates, times, names, hostile headers) through
// the loader, from memory streams; disks compared as text.
#include <gmock/gmock.h>

#include "support/engine_fixture.h"
#include "support/music_files.h"
#include "vk68/vk68file.h"

using namespace musictest;
using enginetest::messages;
using ::testing::ElementsAre;
using ::testing::EndsWith;

namespace {

// Loads from memory streams and releases the disk of the last load.
class DiskTest : public enginetest::EngineTest {
 protected:
  void TearDown() override {
    vk68_free(disk_);
    EngineTest::TearDown();
  }
  Disk68 *load(const std::string &f, VK68fileKind *kind = nullptr) {
    vk68_free(disk_);
    Stream68 *s = stream68_mem_create(const_cast<char *>(f.data()), int32_t(f.size()), 1);
    disk_ = VK68file_load_kind(s, kind);
    stream68_destroy(s);
    return disk_;
  }
  Disk68 *disk_ = nullptr;
};

// Every field of a disk and its tracks; "=" marks data shared with the
// track before.
std::string describe(const Disk68 &d) {
  auto text = [](const char *s) { return (s ? std::string(s) : "null") + "|"; };
  std::string out = text(d.name) + " default " + std::to_string(d.default_track) + " total " +
                    std::to_string(d.total_ms) + " hw " + std::to_string(d.hardware) + "\n";
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    for (uint32_t v : {t.d0, t.load_address, t.frequency, t.start_ms, t.time_ms, t.frames,
                       t.hardware, t.data_size})
      out += std::to_string(v) + " ";
    out += text(t.name) + text(t.author) + text(t.composer) + text(t.replay);
    if (i > 0 && t.data == d.tracks[i - 1].data) out += " =";
    out += ' ';
    out.append(reinterpret_cast<const char *>(t.data), t.data_size) += '\n';
  }
  return out;
}

using Vk68File = DiskTest;
using Sndh = DiskTest;

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

TEST_F(Vk68File, DefaultsAndTextsAndDataInherited) {
  Disk68 *d = load(vk68("MU|DA:CODE"));  // one track: the defaults
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(describe(*d),
            "???| default 0 total 0 hw 1\n0 32768 50 0 0 0 1 4 ???|???|???|null| CODE\n");
  // The data lies inside the disk's own block.
  const auto *block = reinterpret_cast<const uint8_t *>(d);
  EXPECT_TRUE(d->tracks[0].data > block && d->tracks[0].data < block + sizeof(Disk68) + 64);
  EXPECT_STREQ(load(vk68(kOneTrack))->tracks[0].name, "Disk");
  // Tracks take the texts and data of the track before; a default track
  // beyond the last is none.
  d =
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
  // Defaults and texts the track before has are left out.
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

// SNDH files.

const std::string kZero(1, '\0');

TEST_F(Sndh, TagsGiveNameCountAndRate) {
  struct Case {
    std::string tags;
    const char *disk;  // name, track count and replay rate
  };
  const Case cases[] = {
      {"TITLSong" + kZero + "COMMMe" + kZero + "##02TC200", "Song 2 200"},
      {"##01!V50", "??? 1 50"},
      {"##01!V60TC200", "??? 1 200"},
      {"##01TC200!V60", "??? 1 200"},
      {"##01TA100", "??? 1 100"},
      {"TC200", "??? 1 200"},  // one tune without "##"
      {"##150", "??? 99 50"},
      {"##01HDNSTITLAfter" + kZero, "??? 1 50"},  // HDNS ends the header
      // Unknown tags and padding before it do not.
      {"##02zzzzzzzTC100XTRAsome words" + kZero + kZero + "TC200", "??? 2 200"},
      {"RIPPsomeone" + kZero + "CONVx" + kZero + "YEAR1990" + kZero + "MuMo**ab##04", "??? 4 50"},
  };
  for (const Case &c : cases) {
    Disk68 *d = load(sndh(c.tags));
    ASSERT_NE(d, nullptr) << c.disk;
    EXPECT_EQ(std::string(d->name) + " " + std::to_string(d->track_count) + " " +
                  std::to_string(d->tracks[d->track_count - 1].frequency),
              c.disk);
  }
  // Every track plays the whole file through the "sndh_ice" replay, with
  // its number in D0; the first author is everyone's.
  const std::string f = sndh(cases[0].tags);
  Disk68 *d = load(f);
  for (int i = 0; i < 2; ++i) {
    const Track68 &t = d->tracks[i];
    EXPECT_EQ(std::string(t.replay) + t.author + std::to_string(t.d0),
              "sndh_iceMe" + std::to_string(i + 1));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.data), t.data_size), f);
  }
  // Without HDNS eight unknown bytes end the scan, before it reaches code.
  std::string open = sndh("##02TC100zzzzzzzzTC200");
  open.replace(open.find("HDNS"), 4, "hdns");
  EXPECT_EQ(load(open)->tracks[0].frequency, 100u);
}

TEST_F(Sndh, TimesAndNamesPerTrack) {
  // "!#SN": offsets from the tag to each name; the names follow the table.
  const std::string names =
      "!#SN" + be16(10) + be16(14) + be16(18) + "One" + kZero + "Two" + kZero + "Thr" + kZero;
  Disk68 *d = load(
      sndh("##03TC50TIME" + be16(90) + be16(0) + be16(3) + names + "TITLLate" + kZero + "!#02"));
  ASSERT_NE(d, nullptr);
  std::string tracks = describe(*d).substr(0, 33);
  for (int i = 0; i < 3; ++i) tracks += d->tracks[i].name + std::to_string(d->tracks[i].time_ms);
  // The second sub-tune is the default; all drive the YM and DMA sound.
  EXPECT_EQ(tracks, "Late| default 1 total 93000 hw 3\nOne90000Two0Thr3000");
  // A time table met before the count is read once the count is known.
  d = load(sndh("TIME" + be16(0x3031) + be16(12) + "##02"));
  EXPECT_EQ(d->tracks[0].time_ms + d->tracks[1].time_ms, 0x3031u * 1000 + 12000);
}

TEST_F(Sndh, FramesOverTimesAndShortTables) {
  const std::pair<std::string, std::string> cases[] = {
      // Frames at the replay rate take over the seconds, but for 0 frames.
      {"##03TC50FRMS" + be32(100) + be32(0) + be32(250) + "TIME" + be16(7) + be16(8) + be16(9),
       "2000 8000 5000 "},
      // A table stops at the header's end or at the next tag: the sub-tunes
      // it misses get no time.
      {"##03TIME" + be16(4) + be16(5), "4000 5000 0 "},
      {"##03TIME" + be16(4) + "TC25FRMS" + be32(50) + "TITLx" + kZero, "2000 0 0 "},
  };
  for (const auto &[tags, times] : cases) {
    Disk68 *d = load(sndh(tags));
    ASSERT_NE(d, nullptr) << times;
    std::string got;
    for (int i = 0; i < d->track_count; ++i) got += std::to_string(d->tracks[i].time_ms) + " ";
    EXPECT_EQ(got, times);
  }
}

TEST_F(Sndh, NamesOutsideTheFileArePassedOver) {
  const std::string full = sndh("##03TITLTitle" + kZero + "!#SN" + be16(10) + be16(0xFFF0) +
                                be16(11) + "ab" + kZero + "TC50");
  Disk68 *d = load(full);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::string(d->tracks[0].name) + d->tracks[1].name + d->tracks[2].name, "ababb");
}

}  // namespace
