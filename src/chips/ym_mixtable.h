/* The YM-2149's 32x32x32 mixing table: the 16-bit output level for every
 * combination of the three channels' 5-bit DAC levels.
 *
 * Index: (levelA << 10) | (levelB << 5) | levelC, each level 0-31. A fixed
 * 4-bit volume L sounds at level 2L + 1; the envelope uses all 32. The table
 * is symmetric in the three levels and grows with each of them (levels 0 and
 * 1 are both silent).
 */
#ifndef VK68_CHIPS_YM_MIXTABLE_H
#define VK68_CHIPS_YM_MIXTABLE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Levels of a channel, bits per channel in an index, and entries. */
#define YM_MIX_LEVELS 32
#define YM_MIX_LEVEL_BITS 5
#define YM_MIX_TABLE_SIZE (YM_MIX_LEVELS * YM_MIX_LEVELS * YM_MIX_LEVELS)

/* Fills `table` with the unscaled levels (0 to 65535). */
void ym_mix_table_build(uint16_t table[YM_MIX_TABLE_SIZE]);

#ifdef __cplusplus
}
#endif

#endif
