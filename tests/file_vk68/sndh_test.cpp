// SNDH files through the loader: tags, rates, times, names, hostile headers.
#include <gtest/gtest.h>

#include "disk_test.h"

using namespace musictest;

namespace {

using Sndh = DiskTest;

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
