/* SNDH files: an Atari ST music program that starts with branches to its
 * entry points, followed by a header of tags beginning with "SNDH" and ending
 * with "HDNS". The VK68 loader reads the whole file into a disk's data area
 * and lets this reader fill the disk and its tracks from the tags; every
 * track is then played by the external replay "sndh_ice", which drives the
 * file's own code (init with the sub-tune number in D0), on the YM and the
 * STE's DMA sound.
 */
#ifndef VK68_FILE_SNDH_H
#define VK68_FILE_SNDH_H

#include <stdint.h>

#include "vk68/vk68file.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills `disk` (zeroed by the caller) from the `length` bytes at `data`,
 * which must be followed by at least 4 zero bytes (they end texts that run
 * to the end of the file). Sets the track count from "##" (at most 99);
 * defaults are left to the loader's consistency pass. Every read stays
 * inside the file. Returns 0, or -1 when there is no "SNDH" signature. */
int sndh_read(Disk68 *disk, const uint8_t *data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
