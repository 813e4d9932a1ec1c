// ICE packer: produces the backwards bit stream that ice_depack decodes.
//
// The depacker writes its output from the last byte down to the first, so
// the packer works on the data reversed: in that order the format is plain
// LZ77 (literal runs and copies at a distance d >= 1 back). The packed
// stream is built in consumption order, i.e. in the order the depacker
// fetches bytes, and reversed at the end:
//   - the first byte holds up to 7 bits above its own marker bit;
//   - every later bit byte holds 8 bits and is fetched when its first bit is
//     needed, so it takes the next free slot at that moment;
//   - literal bytes take the next free slots as they are emitted.
// One decoding step is: literal flag [+ run length + bytes], then (unless the
// output is complete) one copy. A literal run is therefore at most 33037
// bytes and must be followed by a copy: data with a longer stretch in which
// no copy can start cannot be packed.
#include <cstring>

#include "file/ice68.h"
#include "vk68/vk68_msg.h"

namespace {

constexpr int kMaxCopy = 1033;          // longest copy (length class 1111)
constexpr int kMaxRun = 33037;          // longest literal run (last table row)
constexpr int kMaxShortDistance = 576;  // 2-byte copies: 9 bits + 63 + 2
constexpr int kMaxFarOffset = 4382;     // longer copies: 12 bits + 287
constexpr int kMaxDistance = kMaxCopy + kMaxFarOffset;
constexpr int kMaxHashBits = 16;
constexpr int kChainLimit = 96;
constexpr int kLazyLimit = 64;  // longer matches are taken without looking ahead

// Engine memory block released on scope exit.
template <class T>
struct Block {
  T *p = nullptr;
  explicit Block(size_t count) : p(static_cast<T *>(vk68_alloc(count * sizeof(T) + 1))) {}
  ~Block() { vk68_free(p); }
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
};

// Writes bits and literal bytes in consumption order.
struct BitWriter {
  uint8_t *out;
  size_t size = 0;  // slots used
  size_t slot = 0;  // current bit byte
  int used = 7;     // bits used in it (7 = full for the first, unopened state)
  int capacity = 7;
  int first_used = 0;
  bool opened = false;

  void bit(int b) {
    if (!opened || used == capacity) {
      if (opened) capacity = 8;
      opened = true;
      slot = size;
      out[size++] = 0;
      used = 0;
    }
    if (b) out[slot] |= uint8_t(0x80 >> used);
    ++used;
    if (slot == 0) first_used = used;
  }

  void bits(int value, int n) {
    while (n-- > 0) bit(value >> n & 1);
  }

  void byte(uint8_t value) { out[size++] = value; }

  // The depacker loads the first byte as is, so it carries its own marker.
  void finish() { out[0] |= uint8_t(0x80 >> first_used); }
};

struct Match {
  int length = 0;
  int distance = 0;
};

// Hash table size for n bytes: about two entries per byte, 256 to 65536.
int hash_bits(size_t n) {
  int bits = 8;
  while (bits < kMaxHashBits && (size_t(1) << bits) < 2 * n) ++bits;
  return bits;
}

// Match finder and token writer. Three-byte sequences are chained through
// `prev`; two-byte ones only remember their latest position (a collision
// merely loses a candidate, every candidate is verified).
class Packer {
 public:
  Packer(const uint8_t *r, int n, int bits, int32_t *prev, int32_t *head3, int32_t *head2,
         BitWriter &w)
      : r_(r), n_(n), shift_(32 - bits), prev_(prev), head3_(head3), head2_(head2), w_(w) {
    for (int i = 0; i < (1 << bits); ++i) head3_[i] = head2_[i] = -1;
  }

  bool run() {
    int i = 0, run_start = 0;
    while (i < n_) {
      Match m = find(i);
      if (m.length >= 2 && m.length < kLazyLimit && i - run_start < kMaxRun && i + 1 < n_) {
        Match next = find(i + 1);
        if (next.length > m.length + 1) m.length = 0;
      }
      if (m.length >= 2) {
        literals(run_start, i - run_start);
        copy(m);
        i += m.length;
        run_start = i;
      } else {
        if (i - run_start == kMaxRun) return false;
        ++i;
      }
    }
    literals(run_start, n_ - run_start);
    w_.bit(0);  // no picture pass
    return true;
  }

 private:
  unsigned hash3(const uint8_t *p) const {
    return (unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2]) * 2654435761u >> shift_;
  }
  unsigned hash2(const uint8_t *p) const {
    return (unsigned(p[0]) << 8 | p[1]) * 2654435761u >> shift_;
  }

  void insert_upto(int q) {
    for (; inserted_ < q; ++inserted_) {
      int j = inserted_;
      if (j + 2 < n_) {
        unsigned h = hash3(r_ + j);
        prev_[j] = head3_[h];
        head3_[h] = j;
      }
      if (j + 1 < n_) head2_[hash2(r_ + j)] = j;
    }
  }

  // Longest usable copy at q. A copy of L >= 3 bytes reaches distance 1 or
  // L..L+4382 (no overlap other than a repeated byte); a 2-byte copy reaches
  // 1..576.
  Match find(int q) {
    insert_upto(q);
    Match best;
    int limit = n_ - q < kMaxCopy ? n_ - q : kMaxCopy;
    if (limit < 2) return best;
    auto consider = [&](int j) {
      int d = q - j;
      int m = 0;
      while (m < limit && r_[j + m] == r_[q + m]) ++m;
      int len = (d == 1 || m <= d) ? m : d;
      if (len >= 3 && d != 1 && d > len + kMaxFarOffset) len = 0;
      if (len == 2 && d > kMaxShortDistance) len = 0;
      if (len > best.length || (len == best.length && len >= 2 && d < best.distance)) {
        best.length = len;
        best.distance = d;
      }
    };
    if (q >= 1) consider(q - 1);
    int j2 = head2_[hash2(r_ + q)];
    if (j2 >= 0 && q - j2 <= kMaxShortDistance) consider(j2);
    if (limit >= 3) {
      int chain = kChainLimit;
      for (int j = head3_[hash3(r_ + q)]; j >= 0 && q - j <= kMaxDistance && chain-- > 0;
           j = prev_[j]) {
        consider(j);
        if (best.length == limit) break;
      }
    }
    return best;
  }

  // One literal flag, and the run (n + 1 bytes) when there is one.
  void literals(int from, int count) {
    if (count == 0) {
      w_.bit(0);
      return;
    }
    w_.bit(1);
    int n = count - 1;
    if (n == 0) {
      w_.bit(0);
    } else {
      w_.bit(1);
      if (n < 4) {
        w_.bits(n - 1, 2);
      } else if (n < 7) {
        w_.bits(3, 2), w_.bits(n - 4, 2);
      } else if (n < 14) {
        w_.bits(3, 2), w_.bits(3, 2), w_.bits(n - 7, 3);
      } else if (n < 269) {
        w_.bits(3, 2), w_.bits(3, 2), w_.bits(7, 3), w_.bits(n - 14, 8);
      } else {
        w_.bits(3, 2), w_.bits(3, 2), w_.bits(7, 3), w_.bits(255, 8), w_.bits(n - 269, 15);
      }
    }
    for (int k = 0; k < count; ++k) w_.byte(r_[from + k]);
  }

  void copy(const Match &m) {
    int l = m.length - 2, d = m.distance;
    if (l == 0) {
      w_.bit(0);
      if (d <= 64) {
        w_.bit(0), w_.bits(d - 1, 6);
      } else {
        w_.bit(1), w_.bits(d - 65, 9);
      }
      return;
    }
    if (l == 1) {
      w_.bits(0b10, 2);
    } else if (l < 4) {
      w_.bits(0b110, 3), w_.bits(l - 2, 1);
    } else if (l < 8) {
      w_.bits(0b1110, 4), w_.bits(l - 4, 2);
    } else {
      w_.bits(0b1111, 4), w_.bits(l - 8, 10);
    }
    int o = d - l - 2;
    if (d == 1) {
      w_.bits(0b10, 2), w_.bits(0, 5);
    } else if (o <= 30) {
      w_.bits(0b10, 2), w_.bits(o + 1, 5);
    } else if (o <= 286) {
      w_.bit(0), w_.bits(o - 31, 8);
    } else {
      w_.bits(0b11, 2), w_.bits(o - 287, 12);
    }
  }

  const uint8_t *r_;
  int n_;
  int shift_;
  int32_t *prev_, *head3_, *head2_;
  BitWriter &w_;
  int inserted_ = 0;
};

void write_be32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

}  // namespace

extern "C" void *ice_pack(const void *data, int32_t size, int32_t *packed_size) {
  if (packed_size) *packed_size = 0;
  if (size < 0 || (!data && size)) {
    vk68_error_add("cannot pack with ICE: no data given");
    return nullptr;
  }
  // Worst case: literal bytes with their run headers and the copies between
  // them stay below 10 bits per data byte.
  const size_t n = size_t(size);
  const size_t capacity = n + n / 4 + 16;
  if (capacity > size_t(INT32_MAX) - 12) {
    vk68_error_add("cannot pack with ICE: too much data");
    return nullptr;
  }
  Block<uint8_t> reversed(n), stream(capacity);
  const int bits = hash_bits(n);
  Block<int32_t> prev(n), head3(size_t(1) << bits), head2(size_t(1) << bits);
  if (!reversed.p || !stream.p || !prev.p || !head3.p || !head2.p) {
    vk68_error_add("cannot pack with ICE: out of memory");
    return nullptr;
  }
  const uint8_t *src = static_cast<const uint8_t *>(data);
  for (size_t i = 0; i < n; ++i) reversed.p[i] = src[n - 1 - i];

  BitWriter writer{stream.p};
  Packer packer(reversed.p, size, bits, prev.p, head3.p, head2.p, writer);
  if (!packer.run()) {
    vk68_error_add("cannot pack with ICE: more than %d bytes without a repeat", kMaxRun);
    return nullptr;
  }
  writer.finish();

  const size_t total = writer.size + 12;
  uint8_t *out = static_cast<uint8_t *>(vk68_alloc(total));
  if (!out) {
    vk68_error_add("cannot pack with ICE: out of memory");
    return nullptr;
  }
  write_be32(out, 0x49434521);  // "ICE!"
  write_be32(out + 4, uint32_t(total));
  write_be32(out + 8, uint32_t(size));
  for (size_t i = 0; i < writer.size; ++i) out[12 + i] = stream.p[writer.size - 1 - i];
  if (packed_size) *packed_size = int32_t(total);
  return out;
}
