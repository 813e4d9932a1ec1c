// VK68 loader, consistency pass, writer and probe on files built in memory.
#include "vk68/vk68file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "builders.h"
#include "disk_fixture.h"

using namespace vk68test;
using enginetest::install_counting_hooks;
using enginetest::messages;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class Vk68File : public DiskTest {
 protected:
  // Loads a file that must fail; returns the reason of the final message
  // and the messages under it.
  std::vector<std::string> failure(const Bytes &f) {
    EXPECT_EQ(load(f), nullptr);
    return messages();
  }
};

std::string reason_of(const std::string &message) {
  const auto open = message.rfind("(");
  return message.substr(open + 1, message.size() - open - 2);
}

VkBuilder one_track() { return std::move(VkBuilder().text("FN", "Disk").mark("MU").data("CODE")); }

TEST_F(Vk68File, WrongMagicIsMissingId) {
  Bytes f = one_track().file();
  f[3] = 'X';
  const auto m = failure(f);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_THAT(m[0], StartsWith("VK68file_load(mem://"));
  EXPECT_EQ(reason_of(m[0]), "read header");
  EXPECT_EQ(m[1], "Not VK68 file : Missing ID");
  // Shorter than the magic.
  EXPECT_EQ(reason_of(failure(Bytes(f.begin(), f.begin() + 20))[0]), "read header");
}

TEST_F(Vk68File, BaseChunkFaults) {
  Bytes f = one_track().file();
  f[56] = 'S';
  EXPECT_THAT(failure(f),
              ElementsAre(HasSubstr("(read header)"), "Not VK68 file : Missing BASE Chunk"));
  EXPECT_THAT(failure(one_track().file_with_base(8)),
              ElementsAre(HasSubstr("(read header)"), "Not VK68 file : Weird BASE Chunk size"));
  // The file ends inside the base size.
  Bytes cut = one_track().file();
  cut.resize(62);
  EXPECT_THAT(failure(cut),
              ElementsAre(HasSubstr("(read header)"), "Not VK68 file : Weird BASE Chunk size"));
}

TEST_F(Vk68File, BaseSizeBeyondTheFileIsReadData) {
  const Bytes f = one_track().file_with_base(uint32_t(one_track().chunks.size() + 9));
  EXPECT_EQ(reason_of(failure(f)[0]), "read data");
  // A hostile size near 2 GB is refused before any allocation is tried.
  const auto m = failure(one_track().file_with_base(0x7FFFFFF0u));
  EXPECT_EQ(reason_of(m[0]), "read data");
  EXPECT_EQ(m.size(), 1u);
  const auto weird = failure(one_track().file_with_base(0xFFFFFFF0u));
  EXPECT_EQ(weird[1], "Not VK68 file : Weird BASE Chunk size");
}

TEST_F(Vk68File, OneTrackTakesTheDefaults) {
  Disk68 *d = load(VkBuilder().mark("MU").data("CODE").file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 1);
  EXPECT_EQ(d->default_track, 0);
  EXPECT_STREQ(d->name, "???");
  const Track68 &t = d->tracks[0];
  EXPECT_EQ(t.load_address, 0x8000u);
  EXPECT_EQ(t.frequency, 50u);
  EXPECT_EQ(t.hardware, 1u);
  EXPECT_EQ(d->hardware, 1u);
  EXPECT_STREQ(t.name, "???");
  EXPECT_STREQ(t.author, "???");
  EXPECT_STREQ(t.composer, "???");
  EXPECT_EQ(t.replay, nullptr);
  EXPECT_EQ(t.data_size, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.data), 4), "CODE");
  // The data lies inside the disk's own block.
  const auto *base = reinterpret_cast<const uint8_t *>(d);
  EXPECT_GT(t.data, base);
  EXPECT_LT(t.data, base + sizeof(Disk68) + 64);

  d = load(one_track().file());
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->tracks[0].name, "Disk");
}

TEST_F(Vk68File, FramesWinOverTime) {
  Disk68 *d = load(VkBuilder()
                       .mark("MU")
                       .number("FR", 500)
                       .number("FQ", 50)
                       .number("TI", 99)
                       .data("A")
                       .mark("MU")
                       .number("TI", 10)
                       .mark("MU")
                       .number("TI", 7)
                       .number("FQ", 60)
                       .mark("MU")
                       .number("FR", 1)
                       .number("FQ", 3)
                       .file());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->track_count, 4);
  EXPECT_EQ(d->tracks[0].time_ms, 10000u);
  EXPECT_EQ(d->tracks[1].frames, 500u);
  EXPECT_EQ(d->tracks[1].time_ms, 10000u);
  EXPECT_EQ(d->tracks[2].frames, 420u);
  EXPECT_EQ(d->tracks[3].time_ms, 333u);  // 1000 / 3, truncated
  EXPECT_EQ(d->tracks[1].start_ms, 10000u);
  EXPECT_EQ(d->tracks[2].start_ms, 20000u);
  EXPECT_EQ(d->tracks[3].start_ms, 27000u);
  EXPECT_EQ(d->total_ms, 27333u);
}

TEST_F(Vk68File, HugeTimesSaturate) {
  Disk68 *d = load(VkBuilder()
                       .mark("MU")
                       .number("FR", 0xFFFFFFFFu)
                       .number("FQ", 1)
                       .data("A")
                       .mark("MU")
                       .number("TI", 0xFFFFFFFFu)
                       .file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->tracks[0].time_ms, 0xFFFFFFFFu);
  EXPECT_EQ(d->tracks[1].time_ms, 0xFFFFFFFFu);
  EXPECT_EQ(d->total_ms, 0xFFFFFFFFu);
}

TEST_F(Vk68File, InheritanceAndData) {
  Disk68 *d = load(VkBuilder()
                       .text("FN", "Disk")
                       .number("DF", 1)
                       .mark("MU")
                       .text("AN", "Ann")
                       .number("TY", 4)
                       .data("ONE")
                       .mark("MU")
                       .text("MN", "Second")
                       .text("CN", "Carl")
                       .number("AT", 0x10000)
                       .mark("MU")
                       .text("AN", "Bob")
                       .data("THREE")
                       .text("RE", "rep")
                       .file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->default_track, 1);
  EXPECT_EQ(d->hardware, 5u);
  const Track68 *t = d->tracks;
  EXPECT_STREQ(t[0].name, "Disk");
  EXPECT_STREQ(t[0].author, "Ann");
  EXPECT_STREQ(t[0].composer, "Ann");  // no previous composer: the author
  EXPECT_STREQ(t[1].name, "Second");
  EXPECT_STREQ(t[1].author, "Ann");
  EXPECT_STREQ(t[1].composer, "Carl");
  EXPECT_EQ(t[1].load_address, 0x10000u);
  EXPECT_EQ(t[1].data, t[0].data);
  EXPECT_EQ(t[1].data_size, 3u);
  EXPECT_EQ(t[1].hardware, 1u);
  EXPECT_STREQ(t[2].name, "Second");
  EXPECT_STREQ(t[2].author, "Bob");
  EXPECT_STREQ(t[2].composer, "Carl");
  EXPECT_STREQ(t[2].replay, "rep");
  EXPECT_EQ(t[2].data_size, 5u);
}

TEST_F(Vk68File, ConsistencyFailures) {
  EXPECT_THAT(failure(VkBuilder().text("FN", "x").file()),
              ElementsAre(HasSubstr("(validation test)"), "No music defined"));
  EXPECT_THAT(failure(VkBuilder().mark("MU").mark("MU").data("A").file()),
              ElementsAre(HasSubstr("(validation test)"), "music #0 as no data"));
  Disk68 *d = load(VkBuilder().number("DF", 5).mark("MU").data("A").mark("MU").mark("MU").file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->default_track, 0);
}

TEST_F(Vk68File, TrackChunkBeforeMuNamesTheChunk) {
  const auto m = failure(VkBuilder().text("MN", "early").mark("MU").data("A").file());
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(reason_of(m[0]), "MN");
  EXPECT_EQ(reason_of(failure(VkBuilder().number("TY", 2).mark("MU").data("A").file())[0]), "TY");
}

TEST_F(Vk68File, TruncationAndEndOfFile) {
  // Chunk data that ends in the middle of a chunk header.
  VkBuilder b = one_track();
  b.chunks.insert(b.chunks.end(), {'S', 'C', 'M'});
  EXPECT_EQ(reason_of(failure(b.file())[0]), "prematured end of file");
  // A chunk whose payload runs past the end.
  VkBuilder over = VkBuilder().mark("MU");
  over.chunks.insert(over.chunks.end(), {'S', 'C', 'D', 'A', 0xFF, 0xFF, 0xFF, 0x7F, 'x'});
  EXPECT_EQ(reason_of(failure(over.file())[0]), "prematured end of file");
  // Bytes that are not a chunk.
  EXPECT_EQ(reason_of(failure(one_track().raw({'X', 'Y', 'Z', 'W', 0, 0, 0, 0}).file())[0]),
            "prematured end of file");
  // "EF" ends the walk even when bytes follow.
  Disk68 *d = load(one_track().mark("EF").raw({'j', 'u', 'n', 'k'}).mark("MU").file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 1);
  // Unknown chunks and inner "68" chunks are skipped by their size.
  d = load(one_track().text("ZZ", "skip me").chunk("68", "abcd", 4).text("MN", "Named").file());
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->tracks[0].name, "Named");
}

TEST_F(Vk68File, HostilePayloadsStayInside) {
  // A text without terminator is cut at the end of its payload; short
  // numbers take only their own bytes; empty texts count as missing.
  VkBuilder b = VkBuilder()
                    .text("FN", "Disk")
                    .mark("MU")
                    .chunk("MN", "abc", 3)
                    .chunk("FQ", "\x3c", 1)
                    .chunk("AN", nullptr, 0)
                    .text("CN", "")
                    .data("A");
  Disk68 *d = load(b.file());
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->tracks[0].name, "ab");
  EXPECT_EQ(d->tracks[0].frequency, 60u);
  EXPECT_STREQ(d->tracks[0].author, "???");
  EXPECT_STREQ(d->tracks[0].composer, "???");
}

TEST_F(Vk68File, HundredthTrackEndsTheWalk) {
  VkBuilder b = VkBuilder().mark("MU").data("A");
  for (int i = 1; i < 99; ++i) b.mark("MU").number("D0", uint32_t(i));
  b.mark("MU").text("MN", "one too many");
  b.raw({'n', 'o', 't', ' ', 'r', 'e', 'a', 'd'});
  Disk68 *d = load(b.file());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->track_count, 99);
  EXPECT_EQ(d->tracks[98].d0, 98u);
  EXPECT_STREQ(d->tracks[98].name, "???");
}

TEST_F(Vk68File, HardwareTexts) {
  EXPECT_STREQ(VK68file_hardware_text(0), "none");
  EXPECT_STREQ(VK68file_hardware_text(1), "Yamaha-2149");
  EXPECT_STREQ(VK68file_hardware_text(3), "Yamaha-2149 & MicroWire (STE)");
  EXPECT_STREQ(VK68file_hardware_text(5), "Yamaha-2149  & Amiga/Paula");
  EXPECT_STREQ(VK68file_hardware_text(6), "MicroWire (STE) & Amiga/Paula");
  EXPECT_STREQ(VK68file_hardware_text(7), "Yamaha-2149 & MicroWire (STE) & Amiga/Paula");
  EXPECT_STREQ(VK68file_hardware_text(12), "Amiga/Paula");
}

// ------------------------------------------------------------ writer

void expect_same_disk(const Disk68 *a, const Disk68 *b) {
  EXPECT_EQ(a->track_count, b->track_count);
  EXPECT_EQ(a->default_track, b->default_track);
  EXPECT_EQ(a->total_ms, b->total_ms);
  EXPECT_EQ(a->hardware, b->hardware);
  EXPECT_STREQ(a->name, b->name);
  auto same_text = [](const char *x, const char *y) {
    if (!x || !y) {
      EXPECT_EQ(x, y);
    } else {
      EXPECT_STREQ(x, y);
    }
  };
  for (int i = 0; i < a->track_count && i < b->track_count; ++i) {
    SCOPED_TRACE("track " + std::to_string(i));
    const Track68 &x = a->tracks[i];
    const Track68 &y = b->tracks[i];
    EXPECT_EQ(x.d0, y.d0);
    EXPECT_EQ(x.load_address, y.load_address);
    EXPECT_EQ(x.frequency, y.frequency);
    EXPECT_EQ(x.start_ms, y.start_ms);
    EXPECT_EQ(x.time_ms, y.time_ms);
    EXPECT_EQ(x.frames, y.frames);
    EXPECT_EQ(x.hardware, y.hardware);
    same_text(x.name, y.name);
    same_text(x.author, y.author);
    same_text(x.composer, y.composer);
    same_text(x.replay, y.replay);
    ASSERT_EQ(x.data_size, y.data_size);
    EXPECT_EQ(0, std::memcmp(x.data, y.data, x.data_size));
    if (i > 0) {
      EXPECT_EQ(x.data == a->tracks[i - 1].data, y.data == b->tracks[i - 1].data);
    }
  }
}

Bytes save(const Disk68 *d) {
  Bytes out(1 << 16);
  EXPECT_EQ(VK68file_save_buffer(out.data(), int32_t(out.size()), d), 0);
  out.resize(56 + get_le32(out.data() + 60));
  return out;
}

TEST_F(Vk68File, SaveThenLoadGivesTheSameDisk) {
  const std::vector<Bytes> files = {
      VkBuilder().mark("MU").data("X").file(),
      VkBuilder()
          .text("FN", "Disk")
          .number("DF", 2)
          .mark("MU")
          .text("AN", "Ann")
          .number("TY", 4)
          .number("FQ", 60)
          .number("TI", 7)
          .data("ONE")
          .mark("MU")
          .text("MN", "Second")
          .text("CN", "Carl")
          .number("AT", 0x10000)
          .number("D0", 3)
          .mark("MU")
          .text("AN", "Bob")
          .data("THREE")
          .text("RE", "rep")
          .number("FR", 1)
          .number("FQ", 3)
          .mark("MU")
          .text("AN", "Ann")
          .text("CN", "Carl")
          .data("ONE")
          .file(),
      VkBuilder()
          .text("FN", "Same")
          .mark("MU")
          .text("MN", "Same")
          .text("AN", "???")
          .data("")
          .file(),
  };
  for (const Bytes &f : files) {
    Disk68 *first = VK68file_load_buffer(f.data(), int32_t(f.size()));
    ASSERT_NE(first, nullptr);
    const Bytes saved = save(first);
    Disk68 *second = VK68file_load_buffer(saved.data(), int32_t(saved.size()));
    ASSERT_NE(second, nullptr) << messages()[0];
    expect_same_disk(first, second);
    // Saving again gives the same bytes.
    EXPECT_EQ(save(second), saved);
    vk68_free(first);
    vk68_free(second);
  }
}

TEST_F(Vk68File, WriterSkipsDefaultsAndRepeats) {
  Disk68 *d = load(VkBuilder()
                       .text("FN", "Disk")
                       .mark("MU")
                       .number("AT", 0x8000)
                       .number("FQ", 50)
                       .text("MN", "Disk")
                       .data("AB")
                       .mark("MU")
                       .text("MN", "Disk")
                       .file());
  ASSERT_NE(d, nullptr);
  const Bytes saved = save(d);
  // The exact expected chunk sequence after the base header.
  const Bytes expected = VkBuilder()
                             .text("FN", "Disk")
                             .mark("MU")
                             .text("AN", "???")
                             .text("CN", "???")
                             .number("TY", 1)
                             .data("AB")
                             .mark("MU")
                             .number("TY", 1)
                             .mark("EF")
                             .file();
  EXPECT_EQ(saved, expected);
}

TEST_F(Vk68File, WriterFailures) {
  Disk68 *d = load(one_track().file());
  ASSERT_NE(d, nullptr);
  Bytes small(70);
  EXPECT_LT(VK68file_save_buffer(small.data(), int32_t(small.size()), d), 0);
  EXPECT_THAT(messages(), ElementsAre(AllOf(StartsWith("VK68file_save(mem://"),
                                            HasSubstr("(chunk write error)"))));
  Bytes tiny(20);
  EXPECT_LT(VK68file_save_buffer(tiny.data(), int32_t(tiny.size()), d), 0);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(header write error)")));

  d->track_count = 0;
  Bytes big(4096);
  EXPECT_LT(VK68file_save_buffer(big.data(), int32_t(big.size()), d), 0);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(bad number of track)")));
  d->track_count = 1;
  EXPECT_LT(VK68file_save(nullptr, d), 0);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("NULL pointer(s)")));
}

TEST_F(Vk68File, PathsAndProbe) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("vk68file_test_" + std::to_string(getpid()) + ".vk68");
  Disk68 *d = load(one_track().file());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(VK68file_save_path(path.c_str(), d), 0);
  EXPECT_EQ(VK68file_probe_path(path.c_str()), 0);
  Disk68 *again = VK68file_load_path(path.c_str());
  ASSERT_NE(again, nullptr);
  expect_same_disk(d, again);
  vk68_free(again);
  std::filesystem::remove(path);
  EXPECT_EQ(VK68file_load_path(path.c_str()), nullptr);
  EXPECT_THAT(messages(), ElementsAre(HasSubstr("(open failure)")));
  EXPECT_EQ(VK68file_probe_path(path.c_str()), -1);

  const Bytes good = one_track().file();
  EXPECT_EQ(VK68file_probe_buffer(good.data(), int32_t(good.size())), 0);
  const Bytes sndh = sndh_file(cat({tag("##01")}));
  EXPECT_EQ(VK68file_probe_buffer(sndh.data(), int32_t(sndh.size())), 0);
  const Bytes junk(100, 'j');
  EXPECT_EQ(VK68file_probe_buffer(junk.data(), int32_t(junk.size())), -1);
  Bytes no_base = good;
  no_base[57] = 'Q';
  EXPECT_EQ(VK68file_probe_buffer(no_base.data(), int32_t(no_base.size())), -1);
  messages();
}

TEST_F(Vk68File, LoadKindTellsTheFormat) {
  const Bytes f = one_track().file();
  Stream68 *s =
      stream68_mem_create(const_cast<uint8_t *>(f.data()), int32_t(f.size()), STREAM68_READ);
  VK68fileKind kind{-1, -1};
  disk_ = VK68file_load_kind(s, &kind);
  stream68_destroy(s);
  ASSERT_NE(disk_, nullptr);
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_VK68);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_NONE);
}

TEST_F(Vk68File, NoAllocatorFailsCleanly) {
  const Bytes f = one_track().file();
  vk68_set_alloc([](size_t) -> void * { return nullptr; });
  EXPECT_EQ(load(f), nullptr);
  install_counting_hooks();
  const auto m = messages();
  ASSERT_FALSE(m.empty());
  // Without a stream record the load reports an open failure; with one, the
  // disk allocation fails.
  EXPECT_THAT(m[0], AnyOf(HasSubstr("(open failure)"), HasSubstr("(memory allocation)")));
}

}  // namespace
