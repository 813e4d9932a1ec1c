/* Row converters from 0x00RRGGBB pixels to the display's pixel layout.
 *
 * Each 16-bit and swapped 32-bit layout is described once, as a formula over
 * a "lane" type: a plain 32-bit pixel, a 64-bit word holding two pixels, or
 * an SSE2 register holding four. The formulas only shift within a 32-bit
 * lane and mask with per-lane constants, so bits that a shift carries across
 * a lane boundary always land outside the mask and the wide versions give
 * exactly the per-pixel result.
 */
#include "display/pixconv.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pixconv {
namespace {

// The grouped paths assemble destination bytes in 64-bit words.
static_assert(std::endian::native == std::endian::little,
              "the grouped converters assume a little-endian machine");

// ---- Lane types ------------------------------------------------------------

template <class T>
T splat(uint32_t m) {
  return T(m * 0x0000000100000001ull);
}

#if defined(__SSE2__)
struct Sse {
  __m128i v;
};
inline Sse operator&(Sse a, Sse b) { return {_mm_and_si128(a.v, b.v)}; }
inline Sse operator|(Sse a, Sse b) { return {_mm_or_si128(a.v, b.v)}; }
inline Sse operator>>(Sse a, int n) { return {_mm_srli_epi32(a.v, n)}; }
inline Sse operator<<(Sse a, int n) { return {_mm_slli_epi32(a.v, n)}; }
template <>
Sse splat<Sse>(uint32_t m) {
  return {_mm_set1_epi32(int(m))};
}
#endif

// ---- Formulas --------------------------------------------------------------
// R, G, B are bits 16-23, 8-15 and 0-7 of the source; the low bits of each
// channel are dropped without rounding.

// B*65536 + G*256 + R.
struct SwapRB {
  template <class T>
  static T apply(T p) {
    return ((p & splat<T>(0xFF)) << 16) | (p & splat<T>(0xFF00)) | ((p >> 16) & splat<T>(0xFF));
  }
};

// (R>>3)<<11 | (G>>2)<<5 | B>>3
struct Rgb565 {
  static constexpr bool above_15_bits = true;
  template <class T>
  static T apply(T p) {
    return ((p >> 8) & splat<T>(0xF800)) | ((p >> 5) & splat<T>(0x07E0)) |
           ((p >> 3) & splat<T>(0x001F));
  }
};

// (B>>3)<<11 | (G>>2)<<5 | R>>3
struct Bgr565 {
  static constexpr bool above_15_bits = true;
  template <class T>
  static T apply(T p) {
    return ((p << 8) & splat<T>(0xF800)) | ((p >> 5) & splat<T>(0x07E0)) |
           ((p >> 19) & splat<T>(0x001F));
  }
};

// (R>>3)<<10 | (G>>3)<<5 | B>>3, bit 15 clear
struct Rgb555 {
  static constexpr bool above_15_bits = false;
  template <class T>
  static T apply(T p) {
    return ((p >> 9) & splat<T>(0x7C00)) | ((p >> 6) & splat<T>(0x03E0)) |
           ((p >> 3) & splat<T>(0x001F));
  }
};

// (B>>3)<<10 | (G>>3)<<5 | R>>3, bit 15 clear
struct Bgr555 {
  static constexpr bool above_15_bits = false;
  template <class T>
  static T apply(T p) {
    return ((p << 7) & splat<T>(0x7C00)) | ((p >> 6) & splat<T>(0x03E0)) |
           ((p >> 19) & splat<T>(0x001F));
  }
};

// Leaves the pixel as it is: the 24-bit layout whose bytes are the source's
// low three bytes.
struct Keep {
  template <class T>
  static T apply(T p) {
    return p;
  }
};

// ---- Memory access ---------------------------------------------------------

inline uint64_t load2(const uint32_t *s) {
  uint64_t v;
  std::memcpy(&v, s, 8);
  return v;
}
template <class T>
inline void store(uint8_t *d, T v) {
  std::memcpy(d, &v, sizeof v);
}

// The two 16-bit results in the low halves of a 64-bit word's lanes, side by
// side in 32 bits.
inline uint32_t join16(uint64_t v) { return uint32_t((v & 0xFFFF) | ((v >> 16) & 0xFFFF0000)); }

// ---- 32 bits -----------------------------------------------------------------

void copy32_per_pixel(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < width; ++i) store(d + 4 * i, src[i]);
}

// The library copy moves whole cache lines with the widest stores the
// machine has. An empty row may come with null pointers, which memcpy must
// not see.
void copy32_block(const uint32_t *src, void *dst, size_t width) {
  if (width) std::memcpy(dst, src, width * 4);
}

void swap32_per_pixel(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < width; ++i) store(d + 4 * i, SwapRB::apply(src[i]));
}

void swap32_grouped(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  size_t i = 0;
  for (; i + 4 <= width; i += 4) {
    store(d + 4 * i, SwapRB::apply(load2(src + i)));
    store(d + 4 * i + 8, SwapRB::apply(load2(src + i + 2)));
  }
  for (; i < width; ++i) store(d + 4 * i, SwapRB::apply(src[i]));
}

#if defined(__SSE2__)
void swap32_sse2(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  size_t i = 0;
  for (; i + 8 <= width; i += 8) {
    Sse a{_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i))};
    Sse b{_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 4))};
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 4 * i), SwapRB::apply(a).v);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 4 * i + 16), SwapRB::apply(b).v);
  }
  for (; i < width; ++i) store(d + 4 * i, SwapRB::apply(src[i]));
}
#endif

// ---- 24 bits -----------------------------------------------------------------
// Order::apply gives a pixel whose low three bytes, lowest first, are the
// destination bytes.

template <class Order>
void pack24_per_pixel(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < width; ++i) {
    uint32_t p = Order::apply(src[i]);
    d[3 * i] = uint8_t(p);
    d[3 * i + 1] = uint8_t(p >> 8);
    d[3 * i + 2] = uint8_t(p >> 16);
  }
}

// Four pixels become twelve bytes: one 64-bit and one 32-bit store.
template <class Order>
void pack24_grouped(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  size_t i = 0;
  for (; i + 4 <= width; i += 4) {
    uint64_t a = Order::apply(load2(src + i)) & 0x00FFFFFF00FFFFFFull;
    uint64_t b = Order::apply(load2(src + i + 2)) & 0x00FFFFFF00FFFFFFull;
    // a = p1:p0, b = p3:p2 with 24 significant bits per lane.
    uint64_t lo = (a & 0xFFFFFF) | ((a >> 32) << 24) | (b << 48);
    uint32_t hi = uint32_t((b >> 16) & 0xFF) | uint32_t((b >> 32) << 8);
    store(d + 3 * i, lo);
    store(d + 3 * i + 8, hi);
  }
  pack24_per_pixel<Order>(src + i, d + 3 * i, width - i);
}

// ---- 16 bits -----------------------------------------------------------------

template <class F>
void pack16_per_pixel(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < width; ++i) store(d + 2 * i, uint16_t(F::apply(src[i])));
}

// Four pixels per step: two 64-bit words in, one out.
template <class F>
void pack16_grouped(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  size_t i = 0;
  for (; i + 4 <= width; i += 4) {
    uint64_t a = join16(F::apply(load2(src + i)));
    uint64_t b = join16(F::apply(load2(src + i + 2)));
    store(d + 2 * i, a | (b << 32));
  }
  pack16_per_pixel<F>(src + i, d + 2 * i, width - i);
}

#if defined(__SSE2__)
// Eight pixels per step. The pack instruction saturates signed 32-bit lanes,
// so 16-bit results that use bit 15 are sign-extended first, which makes the
// pack keep their bit pattern.
template <class F>
void pack16_sse2(const uint32_t *src, void *dst, size_t width) {
  auto *d = static_cast<uint8_t *>(dst);
  size_t i = 0;
  for (; i + 8 <= width; i += 8) {
    __m128i a = F::apply(Sse{_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i))}).v;
    __m128i b = F::apply(Sse{_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 4))}).v;
    if constexpr (F::above_15_bits) {
      a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
      b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 2 * i), _mm_packs_epi32(a, b));
  }
  pack16_per_pixel<F>(src + i, d + 2 * i, width - i);
}

constexpr RowConverter swap32_fastest = swap32_sse2;
template <class F>
constexpr RowConverter pack16_fastest = pack16_sse2<F>;
#else
constexpr RowConverter swap32_fastest = swap32_grouped;
template <class F>
constexpr RowConverter pack16_fastest = pack16_grouped<F>;
#endif

const Layout table[layout_count] = {
    {"32 XRGB", 32, 0xFF0000, 0xFF00, 0xFF, copy32_per_pixel, copy32_block, copy32_block},
    {"32 XBGR", 32, 0xFF, 0xFF00, 0xFF0000, swap32_per_pixel, swap32_grouped, swap32_fastest},
    {"24 BGR bytes", 24, 0xFF0000, 0xFF00, 0xFF, pack24_per_pixel<Keep>, pack24_grouped<Keep>,
     pack24_grouped<Keep>},
    {"24 RGB bytes", 24, 0xFF, 0xFF00, 0xFF0000, pack24_per_pixel<SwapRB>, pack24_grouped<SwapRB>,
     pack24_grouped<SwapRB>},
    {"16 RGB565", 16, 0xF800, 0x07E0, 0x1F, pack16_per_pixel<Rgb565>, pack16_grouped<Rgb565>,
     pack16_fastest<Rgb565>},
    {"16 BGR565", 16, 0x1F, 0x07E0, 0xF800, pack16_per_pixel<Bgr565>, pack16_grouped<Bgr565>,
     pack16_fastest<Bgr565>},
    {"16 RGB555", 16, 0x7C00, 0x03E0, 0x1F, pack16_per_pixel<Rgb555>, pack16_grouped<Rgb555>,
     pack16_fastest<Rgb555>},
    {"16 BGR555", 16, 0x1F, 0x03E0, 0x7C00, pack16_per_pixel<Bgr555>, pack16_grouped<Bgr555>,
     pack16_fastest<Bgr555>},
};

}  // namespace

const Layout *layouts() { return table; }

const Layout *find_layout(int bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  for (const Layout &l : table)
    if (l.bits == bits && l.red_mask == red_mask && l.green_mask == green_mask &&
        l.blue_mask == blue_mask)
      return &l;
  return nullptr;
}

RowConverter choose_converter(int bits, uint32_t red_mask, uint32_t green_mask,
                              uint32_t blue_mask) {
  const Layout *l = find_layout(bits, red_mask, green_mask, blue_mask);
  return l ? l->fastest : nullptr;
}

}  // namespace pixconv
