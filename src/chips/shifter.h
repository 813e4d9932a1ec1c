/* Atari ST video shifter: the two registers a replay routine may read, as an
 * I/O plug-in of the 68000 bus ("Shifter", 0xFF8200-0xFF82FF, page 0x82).
 * The sync mode answers as a 50 Hz machine; no video is emulated.
 */
#ifndef VK68_CHIPS_SHIFTER_H
#define VK68_CHIPS_SHIFTER_H

#include <stdint.h>

#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One shifter; its owner provides the storage. */
typedef struct {
  IoPlugin68 io; /* the bus record, plugged by the owner */
  uint8_t sync_mode;
  uint8_t resolution;
} Shifter;

/* Fills in the bus record and resets the chip. Returns 0. */
int shifter_init(Shifter *shifter);
/* Sync mode back to 0xFE (50 Hz), resolution to 0 (low). Returns 0. */
int shifter_reset(Shifter *shifter);

#ifdef __cplusplus
}
#endif

#endif
