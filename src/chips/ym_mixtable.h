/* The YM-2149's 16x16x16 mixing table: the 16-bit output level for every
 * combination of the three channel levels.
 *
 * Index: (levelA << 8) | (levelB << 4) | levelC, each level 0-15. The table is
 * symmetric in the three levels and grows with each of them.
 */
#ifndef VK68_CHIPS_YM_MIXTABLE_H
#define VK68_CHIPS_YM_MIXTABLE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define YM_MIX_TABLE_SIZE 4096

/* Fills `table` with the unscaled levels (0 to 65535). */
void ym_mix_table_build(uint16_t table[YM_MIX_TABLE_SIZE]);

#ifdef __cplusplus
}
#endif

#endif
