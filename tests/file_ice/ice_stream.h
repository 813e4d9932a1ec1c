// Test-side tools for ICE streams, written independently of the library:
// a builder that lays out hand-chosen bits and literal bytes the way the
// depacker fetches them, a tracing decoder that records which token classes
// a packed file uses.
#ifndef TESTS_FILE_ICE_ICE_STREAM_H
#define TESTS_FILE_ICE_ICE_STREAM_H

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace icetest {

using Bytes = std::vector<uint8_t>;

// Bytes are collected in fetch order (first fetched first) and reversed by
// file(). The first byte holds at most 7 bits above a marker bit; a later
// bit byte takes the next slot when its first bit is written.
class Builder {
 public:
  Builder &bit(int b) {
    if (fetch_.empty() || used_ == (cur_ == 0 ? 7 : 8)) {
      cur_ = fetch_.size();
      fetch_.push_back(0);
      used_ = 0;
    }
    if (b) fetch_[cur_] |= uint8_t(0x80 >> used_);
    ++used_;
    if (cur_ == 0) first_used_ = used_;
    return *this;
  }
  Builder &bits(unsigned value, int n) {
    for (int i = n - 1; i >= 0; --i) bit(int(value >> i & 1));
    return *this;
  }
  Builder &byte(uint8_t b) {
    fetch_.push_back(b);
    return *this;
  }
  // A whole packed file with header; `unpacked` is the U field.
  Bytes file(uint32_t unpacked) const {
    Bytes f(fetch_.rbegin(), fetch_.rend());
    if (!f.empty()) f.back() |= uint8_t(0x80 >> first_used_);
    Bytes h = {'I', 'C', 'E', '!'};
    uint32_t p = uint32_t(f.size() + 12);
    for (uint32_t v : {p, unpacked})
      for (int s = 24; s >= 0; s -= 8) h.push_back(uint8_t(v >> s));
    h.insert(h.end(), f.begin(), f.end());
    return h;
  }

 private:
  Bytes fetch_;
  size_t cur_ = 0;
  int used_ = 0;
  int first_used_ = 0;
};

// Counts of every token class seen while decoding.
struct Trace {
  std::array<int, 6> literal_rows{};  // [0]: single byte, [1..5]: table rows
  std::array<int, 5> length_classes{};
  std::array<int, 3> offset_classes{};  // prefixes 0, 10, 11
  int offset_minus_one = 0;             // longer copies repeating one byte
  std::array<int, 2> short_offsets{};   // 2-byte copies: 6-bit, 9-bit
  int short_minus_one = 0;
  int picture = 0;
};

// A straightforward decoder (no bounds checks beyond what a valid stream
// needs; it refuses anything out of range) used to cross-check the library.
inline std::optional<Bytes> trace_decode(const Bytes &file, Trace &t) {
  if (file.size() < 13) return std::nullopt;
  auto be32 = [&](size_t o) {
    return uint32_t(file[o]) << 24 | uint32_t(file[o + 1]) << 16 | uint32_t(file[o + 2]) << 8 |
           file[o + 3];
  };
  if (be32(4) != file.size()) return std::nullopt;
  size_t u = be32(8);
  Bytes out(u);
  long pos = long(file.size()) - 1;  // next byte to fetch is pos - 1
  unsigned buf = file[size_t(pos)];
  bool bad = false;
  auto fetch = [&]() -> unsigned {
    if (pos <= 12) {
      bad = true;
      return 0;
    }
    return file[size_t(--pos)];
  };
  auto bit = [&]() -> unsigned {
    buf <<= 1;
    if ((buf & 0xFF) == 0) buf = fetch() << 1 | (buf >> 8);
    unsigned b = buf >> 8 & 1;
    buf &= 0xFF;
    return b;
  };
  auto bits = [&](int n) {
    unsigned v = 0;
    while (n--) v = v << 1 | bit();
    return v;
  };
  size_t w = u;  // bytes below w are still to be written
  for (;;) {
    if (bit()) {
      unsigned n = 0;
      int row = 0;
      if (bit()) {
        static const unsigned rows[5][3] = {
            {2, 3, 1}, {2, 3, 4}, {3, 7, 7}, {8, 255, 14}, {15, 32767, 269}};
        for (row = 1; row <= 5; ++row) {
          unsigned v = bits(int(rows[row - 1][0]));
          n = v + rows[row - 1][2];
          if (v != rows[row - 1][1] || row == 5) break;
        }
      }
      ++t.literal_rows[size_t(row)];
      if (n + 1 > w) return std::nullopt;
      for (unsigned k = 0; k <= n; ++k) out[--w] = uint8_t(fetch());
    }
    if (bad) return std::nullopt;
    if (w == 0) break;
    int cls = 0;
    while (cls < 4 && bit()) ++cls;
    static const int extra[5] = {0, 0, 1, 2, 10}, base[5] = {0, 1, 2, 4, 8};
    ++t.length_classes[size_t(cls)];
    long l = base[cls] + long(bits(extra[cls]));
    long o;
    if (l > 0) {
      int oc = bit() ? (bit() ? 2 : 1) : 0;
      static const int obits[3] = {8, 5, 12}, obase[3] = {31, -1, 287};
      ++t.offset_classes[size_t(oc)];
      o = obase[oc] + long(bits(obits[oc]));
      if (o < 0) {
        o -= l;
        ++t.offset_minus_one;
      }
    } else {
      int big = int(bit());
      ++t.short_offsets[size_t(big)];
      o = big ? 63 + long(bits(9)) : long(bits(6)) - 1;
      if (o < 0) ++t.short_minus_one;
    }
    long src = long(w) + l + o + 1;  // index of the first source byte
    if (bad || size_t(l + 2) > w || src >= long(u)) return std::nullopt;
    for (long k = 0; k <= l + 1; ++k) out[w - 1 - size_t(k)] = out[size_t(src - k)];
    w -= size_t(l + 2);
  }
  if (bit()) ++t.picture;
  if (bad) return std::nullopt;
  return out;
}

}  // namespace icetest

#endif
