// gzip loader: inflating from memory and file streams, damaged and
// truncated data, and the size limit.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

#include "file/ice68.h"
#include "ice_stream.h"
#include "vk68/vk68_msg.h"
#include "support/engine_fixture.h"

namespace {

using icetest::Bytes;

class Gzip : public enginetest::EngineTest {
 protected:
  // Loads from a memory stream; returns the data (or nothing) and the name.
  static bool load(Bytes packed, Bytes &out, std::string &name) {
    Stream68 *s = stream68_mem_create(packed.data(), int32_t(packed.size()), STREAM68_READ);
    EXPECT_EQ(stream68_open(s), 0);
    name = stream68_name(s);
    int32_t size = -1;
    uint8_t *data = static_cast<uint8_t *>(gzip_load(s, &size));
    stream68_destroy(s);
    if (!data) {
      EXPECT_EQ(size, 0);
      return false;
    }
    out.assign(data, data + size);
    vk68_free(data);
    return true;
  }

  static std::string pop() {
    const char *m = vk68_error_get();
    return m ? m : "(none)";
  }
};

Bytes gzip(const Bytes &data, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, uLong(data.size())));
  z.next_in = const_cast<Bytef *>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(Gzip, InflatesWhatZlibPacked) {
  std::mt19937 rng(5);
  for (size_t n : {size_t(0), size_t(1), size_t(1000), size_t(70000), size_t(300000)}) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = uint8_t(rng() % 3 ? i / 7 : rng());
    Bytes out;
    std::string name;
    ASSERT_TRUE(load(gzip(data), out, name)) << n << ": " << pop();
    EXPECT_TRUE(out == data) << n;
  }
}

TEST_F(Gzip, DamagedAndTruncatedDataFail) {
  Bytes data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
  Bytes packed = gzip(data);
  Bytes out;
  std::string name;

  EXPECT_FALSE(load(Bytes(packed.begin(), packed.end() - 10), out, name));
  EXPECT_EQ(pop(), "gzip_load(" + name + ") : truncated data");

  Bytes crc(packed);
  crc[crc.size() - 6] ^= 1;  // trailer CRC
  EXPECT_FALSE(load(crc, out, name));
  EXPECT_EQ(pop(), "gzip_load(" + name + ") : incorrect data check");

  Bytes magic(packed);
  magic[1] = 0;
  EXPECT_FALSE(load(magic, out, name));
  EXPECT_EQ(pop(), "gzip_load(" + name + ") : incorrect header check");

  EXPECT_FALSE(load(Bytes(), out, name));
  EXPECT_EQ(pop(), "gzip_load(" + name + ") : truncated data");
}

TEST_F(Gzip, RefusesMoreThan64MiB) {
  Bytes limit(size_t(64) << 20, 0);
  Bytes out;
  std::string name;
  ASSERT_TRUE(load(gzip(limit, Z_RLE), out, name)) << pop();
  EXPECT_EQ(out.size(), limit.size());

  limit.push_back(0);
  EXPECT_FALSE(load(gzip(limit, Z_RLE), out, name));
  EXPECT_EQ(pop(), "gzip_load(" + name + ") : inflated data too large");
}

}  // namespace
