// Channel operations on frames of output words (left in bits 0-15, right in
// bits 16-31, each signed 16-bit). `sign` patterns are XORed into the words
// (0 for signed samples).
#ifndef VK68_PLAYER_MIXER_H
#define VK68_PLAYER_MIXER_H

#include <cstdint>

// The low 16 bits of each word into both channels (no clipping).
void mixer_dup_left_to_right(uint32_t *dst, const uint32_t *src, int n, uint32_t sign);

// Cross-fades the channels by factor/65536 (clamped to 0..65536): 0 keeps
// them, 32768 makes both the average, 65536 swaps them. dst may be src.
void mixer_blend(uint32_t *dst, const uint32_t *src, int n, int factor, uint32_t sign_in,
                 uint32_t sign_out);

#endif
