// Channel duplication and blending of output words.
#include "player/mixer.h"

void mixer_dup_left_to_right(uint32_t *dst, const uint32_t *src, int n, uint32_t sign) {
  for (int i = 0; i < n; ++i) dst[i] = ((src[i] & 0xFFFF) * 0x10001u) ^ sign;
}

void mixer_blend(uint32_t *dst, const uint32_t *src, int n, int factor, uint32_t sign_in,
                 uint32_t sign_out) {
  const int32_t f = factor < 0 ? 0 : factor > 65536 ? 65536 : factor;
  const int32_t keep = 65536 - f;
  for (int i = 0; i < n; ++i) {
    const uint32_t x = src[i] ^ sign_in;
    const int32_t l = int16_t(x & 0xFFFF), r = int16_t(x >> 16);
    // The weights add up to 65536, so neither sum leaves 32 bits; >> on a
    // negative value floors, as the blend asks.
    const int32_t nl = (l * keep + r * f) >> 16;
    const int32_t nr = (r * keep + l * f) >> 16;
    dst[i] = ((uint32_t(nl) & 0xFFFF) | (uint32_t(nr) << 16)) ^ sign_out;
  }
}
