/* ICE-packed data ("ICE!" files) and gzip-packed data.
 *
 * Packed layout: "ICE!", packed size P (whole file, header included),
 * unpacked size U, all big-endian, then the packed bit stream, which is read
 * from its last byte backwards. Buffers returned here come from the engine's
 * allocation hook; the caller releases them with vk68_free.
 */
#ifndef VK68_FILE_ICE68_H
#define VK68_FILE_ICE68_H

#include <stdint.h>

#include "vk68/stream68.h"
#include "vk68/vk68file.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Header test on the 12 header bytes. Returns U, or a negative value: -1 for
 * a wrong magic (or an expected size of 1 to 11), -2 when P is below 12.
 * When `packed_size` is given, it holds on entry the expected packed-data
 * size E (0: any) and receives P - 12; a P that differs from E + 12 then
 * gives ~U. */
int32_t ice_depacked_size(const void *header, int32_t *packed_size);

/* How the `size` bytes at `bytes` are packed (VK68FILE_PACKING_*): gzip
 * when they start with its magic and the deflate method, ICE when they
 * start with a header ice_depacked_size accepts, else none. */
int packing_of(const void *bytes, int32_t size);

/* Depacks the packed file `packed` (P bytes, header included) into `out`
 * (U bytes; may be null when U is 0). Returns 0, or -1 for a wrong magic,
 * P <= 12, a negative U or damaged data; damaged data never makes it read
 * or write outside the two buffers. A picture post-pass flag in the stream
 * converts 8-byte groups from the end: 4000 groups, or 1 + the 16-bit
 * count that follows a further 1 bit, never past the output's start. */
int ice_depack(void *out, const void *packed);

/* Reads a packed file from an open stream positioned at its start and
 * returns the depacked bytes (their count in *out_size), or null with a
 * message "<stream name>: <why>" and *out_size = 0. Headers whose U could
 * not come from P bytes (more than 512 * (P - 12) + 64 KiB) are refused as
 * damaged; when the stream knows its length, a P beyond it fails before any
 * allocation. */
void *ice_load(Stream68 *stream, int32_t *out_size);
void *ice_load_file(const char *path, int32_t *out_size);

/* Packs `size` bytes into a new ICE file (header included) that ice_depack
 * turns back into the same bytes; its size goes to *packed_size. Fails
 * (null, message, size 0) only on allocation failure or when the data has
 * a stretch of more than 33037 bytes in which no copy can start: the format
 * cannot put two literal runs side by side. */
void *ice_pack(const void *data, int32_t size, int32_t *packed_size);

/* Reads gzip-packed data from an open stream positioned at its start and
 * returns the inflated bytes (their count in *out_size), or null with a
 * "<stream name>: <why>" message. Only the first gzip member is read;
 * results above 64 MiB are refused. */
void *gzip_load(Stream68 *stream, int32_t *out_size);

#ifdef __cplusplus
}
#endif

#endif
