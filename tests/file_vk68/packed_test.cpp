// ICE- and gzip-packed files through the loader and the probe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "builders.h"
#include "disk_fixture.h"
#include "file/ice68.h"
#include "vk68/vk68file.h"

using namespace vk68test;
using enginetest::install_counting_hooks;
using enginetest::messages;
using ::testing::HasSubstr;

namespace {

using Packed = DiskTest;

Bytes vk68_sample() {
  VkBuilder b;
  b.text("FN", "Packed disk").mark("MU").text("AN", "Ann");
  std::string code;
  for (int i = 0; i < 600; ++i) code += char('A' + i % 7);
  b.data(code).mark("MU").text("MN", "Two");
  return b.file();
}

Bytes sndh_sample() {
  return sndh_file(cat({tag("TITL"), tag("Gz", true), tag("##03"), tag("TC60")}));
}

Bytes ice(const Bytes &in) {
  int32_t size = 0;
  void *p = ice_pack(in.data(), int32_t(in.size()), &size);
  EXPECT_NE(p, nullptr);
  Bytes out(static_cast<uint8_t *>(p), static_cast<uint8_t *>(p) + size);
  vk68_free(p);
  return out;
}

TEST_F(Packed, IceOfVk68) {
  const Bytes packed = ice(vk68_sample());
  ASSERT_EQ(std::memcmp(packed.data(), "ICE!", 4), 0);
  VK68fileKind kind{-1, -1};
  Disk68 *d = load(packed, &kind);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->name, "Packed disk");
  EXPECT_EQ(d->track_count, 2);
  EXPECT_EQ(d->tracks[0].data_size, 600u);
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_VK68);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_ICE);
  EXPECT_EQ(VK68file_probe_buffer(packed.data(), int32_t(packed.size())), 0);
}

TEST_F(Packed, GzipOfVk68AndOfSndh) {
  VK68fileKind kind{-1, -1};
  const Bytes gz = gzip(vk68_sample());
  Disk68 *d = load(gz, &kind);
  ASSERT_NE(d, nullptr) << messages()[0];
  EXPECT_STREQ(d->tracks[1].name, "Two");
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_VK68);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_GZIP);
  EXPECT_EQ(VK68file_probe_buffer(gz.data(), int32_t(gz.size())), 0);

  const Bytes gs = gzip(sndh_sample());
  d = load(gs, &kind);
  ASSERT_NE(d, nullptr) << messages()[0];
  EXPECT_STREQ(d->name, "Gz");
  EXPECT_EQ(d->track_count, 3);
  EXPECT_EQ(d->tracks[2].frequency, 60u);
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_SNDH);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_GZIP);
}

TEST_F(Packed, NestedPackingReportsTheOutermost) {
  VK68fileKind kind{-1, -1};
  Disk68 *d = load(gzip(ice(sndh_sample())), &kind);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(kind.format, VK68FILE_FORMAT_SNDH);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_GZIP);
  d = load(ice(gzip(vk68_sample())), &kind);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(kind.packing, VK68FILE_PACKING_ICE);
}

TEST_F(Packed, GzipFromAFile) {
  const auto path = testing::TempDir() + "packed_test.gz";
  const Bytes gz = gzip(vk68_sample());
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(gz.data(), 1, gz.size(), f);
  std::fclose(f);
  disk_ = VK68file_load_path(path.c_str());
  ASSERT_NE(disk_, nullptr);
  EXPECT_EQ(disk_->track_count, 2);
  EXPECT_EQ(VK68file_probe_path(path.c_str()), 0);
  std::remove(path.c_str());
}

TEST_F(Packed, DeepNestingIsRefused) {
  Bytes b = vk68_sample();
  for (int i = 0; i < 12; ++i) b = gzip(b);
  EXPECT_EQ(load(b), nullptr);
  EXPECT_EQ(VK68file_probe_buffer(b.data(), int32_t(b.size())), -1);
  const auto m = messages();
  ASSERT_FALSE(m.empty());
  EXPECT_THAT(m[0], HasSubstr("(read header)"));
}

TEST_F(Packed, DamagedIceFailsCleanly) {
  const Bytes good = ice(vk68_sample());
  // Truncated packed data: the header promises more than the stream holds.
  Bytes cut(good.begin(), good.begin() + long(good.size() / 2));
  EXPECT_EQ(load(cut), nullptr);
  EXPECT_THAT(messages().front(), HasSubstr("(read header)"));
  EXPECT_EQ(VK68file_probe_buffer(cut.data(), int32_t(cut.size())), -1);
  messages();
  // Flipped bytes all over the packed stream: never a crash or a leak (the
  // sanitizer build checks the bounds); what loads must still be sane.
  for (size_t at = 12; at < good.size(); at += 3) {
    Bytes bad = good;
    bad[at] ^= 0x5A;
    Disk68 *d = load(bad);
    if (d) {
      EXPECT_GE(d->track_count, 1);
      EXPECT_LE(d->track_count, 99);
    }
    messages();
  }
  // A wrong unpacked size in the header.
  Bytes big = good;
  big[8] = 0x7F;
  EXPECT_EQ(load(big), nullptr);
  messages();
}

TEST_F(Packed, DamagedGzipFailsCleanly) {
  Bytes gz = gzip(vk68_sample());
  gz[gz.size() / 2] ^= 0xFF;
  EXPECT_EQ(load(gz), nullptr);
  EXPECT_THAT(messages().front(), HasSubstr("(read header)"));
  EXPECT_EQ(VK68file_probe_buffer(gz.data(), int32_t(gz.size())), -1);
  messages();
}

std::vector<std::string> g_trace;
int trace_hook(void *, const char *format, va_list) {
  g_trace.emplace_back(format);
  return 0;
}

TEST_F(Packed, TraceLines) {
  using ::testing::Contains;
  const Bytes packed = ice(sndh_sample());
  g_trace.clear();
  vk68_set_debug(trace_hook);
  Disk68 *d = load(packed);
  const int probed = VK68file_probe_buffer(packed.data(), int32_t(packed.size()));
  vk68_set_debug(nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(probed, 0);
  EXPECT_THAT(g_trace, Contains("ICE LOAD [%s]!\n"));
  EXPECT_THAT(g_trace, Contains("SNDH dans la place\n"));
  EXPECT_THAT(g_trace, Contains("%s depack %c%c%c%c\n"));
  EXPECT_THAT(g_trace, Contains("ICE VERIFY [%s]!\n"));
  EXPECT_THAT(g_trace, Contains("SNDH OK!\n"));
  EXPECT_THAT(g_trace, Contains("-> %d %p %d\n"));
}

}  // namespace
