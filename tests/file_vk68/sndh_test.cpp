// SNDH files through the loader: tags, rates, times, names, hostile headers.
#include "file/sndh.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "disk_fixture.h"
#include "vk68/vk68file.h"

using namespace vk68test;
using enginetest::install_counting_hooks;
using enginetest::messages;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Sndh = DiskTest;

TEST_F(Sndh, TitleAuthorCountAndRate) {
  const Bytes f = sndh_file(cat(
      {tag("TITL"), tag("Song", true), tag("COMM"), tag("Me", true), tag("##02"), tag("TC200")}));
  Disk68 *d = load(f);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->name, "Song");
  ASSERT_EQ(d->track_count, 2);
  for (int i = 0; i < 2; ++i) {
    const Track68 &t = d->tracks[i];
    EXPECT_EQ(t.frequency, 200u);
    EXPECT_STREQ(t.replay, "sndh_ice");
    EXPECT_STREQ(t.author, "Me");
    EXPECT_STREQ(t.name, "Song");
    EXPECT_EQ(t.d0, uint32_t(i + 1));
    EXPECT_EQ(t.data_size, f.size());
    EXPECT_EQ(std::memcmp(t.data, f.data(), f.size()), 0);
    EXPECT_EQ(t.load_address, 0x8000u);
    EXPECT_EQ(t.hardware, 1u);
    EXPECT_EQ(t.time_ms, 0u);
  }
  EXPECT_EQ(d->tracks[1].data, d->tracks[0].data);
  VK68fileKind kind{-1, -1};
  Stream68 *s =
      stream68_mem_create(const_cast<uint8_t *>(f.data()), int32_t(f.size()), STREAM68_READ);
  Disk68 *again = VK68file_load_kind(s, &kind);
  stream68_destroy(s);
  ASSERT_NE(again, nullptr);
  vk68_free(again);
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_SNDH);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_NONE);
}

TEST_F(Sndh, RateTags) {
  struct Case {
    Bytes tags;
    uint32_t hz;
  };
  const Case cases[] = {
      {cat({tag("##01"), tag("!V50")}), 50},
      {cat({tag("##01"), tag("!V60"), tag("TC200")}), 200},
      {cat({tag("##01"), tag("TC200"), tag("!V60")}), 200},
      {cat({tag("##01"), tag("TA100")}), 100},
      {cat({tag("##01"), tag("TB75")}), 75},
      {cat({tag("##01"), tag("TD123")}), 123},
      {cat({tag("##01")}), 50},
  };
  for (const Case &c : cases) {
    Disk68 *d = load(sndh_file(c.tags));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->tracks[0].frequency, c.hz);
  }
}

TEST_F(Sndh, CountIsCappedAndRequired) {
  Disk68 *d = load(sndh_file(cat({tag("##150")})));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 99);
  EXPECT_EQ(d->tracks[98].d0, 99u);
  EXPECT_EQ(load(sndh_file(cat({tag("TITL"), tag("x", true)}))), nullptr);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(validation test)"), "No music defined"));
}

TEST_F(Sndh, TimeTableAndNames) {
  // "!#SN": offsets from the tag start to the names, which follow the table.
  const Bytes names = cat({tag("!#SN"), be16(10), be16(14), be16(18), tag("One", true),
                           tag("Two", true), tag("Thr", true)});
  const Bytes f = sndh_file(cat({tag("##03"), tag("TC50"), tag("TIME"), be16(90), be16(0), be16(3),
                                 names, tag("TITL"), tag("Late", true)}));
  Disk68 *d = load(f);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->track_count, 3);
  EXPECT_EQ(d->tracks[0].time_ms, 90000u);
  EXPECT_EQ(d->tracks[0].frames, 4500u);
  EXPECT_EQ(d->tracks[1].time_ms, 0u);  // default time
  EXPECT_EQ(d->tracks[2].time_ms, 3000u);
  EXPECT_EQ(d->tracks[2].start_ms, 90000u);
  EXPECT_EQ(d->total_ms, 93000u);
  EXPECT_STREQ(d->tracks[0].name, "One");
  EXPECT_STREQ(d->tracks[1].name, "Two");
  EXPECT_STREQ(d->tracks[2].name, "Thr");
  // The scan went on past the names.
  EXPECT_STREQ(d->name, "Late");
}

TEST_F(Sndh, TimeBeforeCountIsReadAfterTheScan) {
  Disk68 *d = load(sndh_file(cat({tag("TIME"), be16(0x3031), be16(12), tag("##02")})));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->track_count, 2);
  EXPECT_EQ(d->tracks[0].time_ms, 0x3031u * 1000);
  EXPECT_EQ(d->tracks[1].time_ms, 12000u);
}

TEST_F(Sndh, HdnsStopsTheScan) {
  const Bytes f = sndh_file(cat({tag("##01"), tag("HDNS"), tag("TITL"), tag("After", true)}));
  Disk68 *d = load(f);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->name, "???");
}

TEST_F(Sndh, EightUnknownBytesEndTheScan) {
  Disk68 *d = load(
      sndh_file(cat({tag("##02"), tag("zzzzzzz"), tag("TC100"), tag("zzzzzzzz"), tag("TC200")})));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 2);
  EXPECT_EQ(d->tracks[0].frequency, 100u);
}

TEST_F(Sndh, SkippedTags) {
  Disk68 *d =
      load(sndh_file(cat({tag("RIPP"), tag("someone", true), tag("CONV"), tag("x", true),
                          tag("YEAR"), tag("1990", true), tag("MuMo"), tag("**ab"), tag("##04")})));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 4);
}

TEST_F(Sndh, NoSignatureFails) {
  Bytes f = sndh_file(cat({tag("##01")}));
  f[12] = 'X';
  EXPECT_EQ(load(f), nullptr);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(read header)"), "Not VK68 file : Missing ID"));

  // The reader on its own: a signature before offset 6 does not count, and
  // the trace says why.
  static std::vector<std::string> trace;
  trace.clear();
  vk68_set_debug([](void *, const char *format, va_list) -> int {
    trace.emplace_back(format);
    return 0;
  });
  Bytes direct = {'S', 'N', 'D', 'H', '#', '#', '0', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Disk68 blank{};
  EXPECT_EQ(sndh_read(&blank, direct.data(), int32_t(direct.size()) - 4), -1);
  EXPECT_THAT(trace, ElementsAre("SNDH_INFO\n", "NO MAGIC ! What the heck\n"));
}

TEST_F(Sndh, ShortFileIsReadHeader) {
  Bytes f = sndh_file(cat({tag("##01")}));
  f.resize(32);
  EXPECT_EQ(load(f), nullptr);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(read header)")));
}

// Hostile headers: every tag cut at the end of the file. The loader must
// stay inside the file (checked by the sanitizer build) and never fail
// worse than a clean refusal.
TEST_F(Sndh, TruncatedTagsStayInside) {
  const Bytes full = sndh_file(
      cat({tag("##03"), tag("TITL"), tag("Title", true), tag("TIME"), be16(1), be16(2), be16(3),
           tag("!#SN"), be16(10), be16(0xFFF0), be16(11), tag("ab", true), tag("TC50")}),
      false);
  for (size_t n = 33; n <= full.size(); ++n) {
    Bytes cut(full.begin(), full.begin() + long(n));
    // A copy on the heap of exactly n bytes, so reads past it are caught.
    std::vector<uint8_t> exact(cut);
    Disk68 *d = load(exact);
    if (d) {
      EXPECT_LE(d->track_count, 3);
      for (int i = 0; i < d->track_count; ++i) {
        const char *name = d->tracks[i].name;
        ASSERT_NE(name, nullptr);
        EXPECT_LT(std::strlen(name), 64u);
      }
    }
    messages();
  }
  // Names pointing outside the file are ignored.
  Disk68 *d = load(full);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->tracks[0].name, "ab");
  EXPECT_STREQ(d->tracks[1].name, "ab");  // inherited: offset beyond the file
  EXPECT_STREQ(d->tracks[2].name, "b");
}

TEST_F(Sndh, TextRunningToTheEnd) {
  Bytes f = sndh_file(cat({tag("##01"), tag("TITL"), tag("Unterminated")}), false);
  while (f.back() == 0) f.pop_back();
  f.resize(std::max<size_t>(f.size(), 33), 'x');
  Disk68 *d = load(f);
  ASSERT_NE(d, nullptr);
  const size_t len = std::strlen(d->name);
  EXPECT_GE(len, 12u);
  EXPECT_LE(len, f.size());
}

TEST_F(Sndh, SavedAsVk68KeepsEverything) {
  const Bytes names = cat({tag("!#SN"), be16(8), be16(12), tag("One", true), tag("Two", true)});
  const Bytes f = sndh_file(cat({tag("TITL"), tag("Song", true), tag("COMM"), tag("Me", true),
                                 tag("##02"), tag("TC100"), tag("TIME"), be16(5), be16(6), names}));
  Disk68 *d = load(f);
  ASSERT_NE(d, nullptr);
  Bytes out(4096);
  ASSERT_EQ(VK68file_save_buffer(out.data(), int32_t(out.size()), d), 0);
  Disk68 *back = VK68file_load_buffer(out.data(), int32_t(out.size()));
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(back->name, "Song");
  ASSERT_EQ(back->track_count, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ(back->tracks[i].name, d->tracks[i].name);
    EXPECT_STREQ(back->tracks[i].author, "Me");
    EXPECT_STREQ(back->tracks[i].replay, "sndh_ice");
    EXPECT_EQ(back->tracks[i].d0, uint32_t(i + 1));
    EXPECT_EQ(back->tracks[i].frequency, 100u);
    EXPECT_EQ(back->tracks[i].time_ms, d->tracks[i].time_ms);
    EXPECT_EQ(back->tracks[i].data_size, f.size());
  }
  EXPECT_EQ(back->tracks[1].data, back->tracks[0].data);
  vk68_free(back);
}

}  // namespace
