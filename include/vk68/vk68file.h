/* VK68 music files: the loaded disk (Disk68 with its Track68 table), the
 * loader (which also takes SNDH files and ICE- or gzip-packed files), the
 * writer and the probe.
 *
 * File layout (numbers 32-bit little-endian): the 56-byte magic, the base
 * chunk header "VK68" + size (8 + length of all following chunks), then
 * chunks "VK" + two code characters + payload size + payload, up to the end
 * given by the base size or an "EF" chunk. Track chunks apply to the most
 * recent "MU".
 *
 * A loaded disk is ONE block from the engine's allocation hook: the Disk68
 * record followed by the file's bytes. Every text and data pointer points
 * into that block or at a fixed engine text, so vk68_free(disk) frees all.
 */
#ifndef VK68_VK68FILE_H
#define VK68_VK68FILE_H

#include <stdint.h>

#include "vk68/stream68.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { DISK68_MAX_TRACKS = 99 };

/* Hardware flags of a track. */
enum {
  VK68_HW_YM = 1,    /* YM-2149 (with the MFP and the shifter) */
  VK68_HW_STE = 2,   /* STE MicroWire / DMA sound */
  VK68_HW_AMIGA = 4, /* Amiga Paula */
};

typedef struct {
  uint32_t d0;           /* D0 given to the init routine */
  uint32_t load_address; /* 68000 address of the data (default 0x8000) */
  uint32_t frequency;    /* replay calls per second (default 50) */
  uint32_t start_ms;     /* start of this track within the disk */
  uint32_t time_ms;      /* length in ms (0: the player's default time) */
  uint32_t frames;       /* length in replay frames */
  uint32_t hardware;     /* VK68_HW_* flags (default YM) */
  const char *name;
  const char *author;
  const char *composer;
  const char *replay; /* external replay routine, or null: built in */
  uint32_t data_size;
  const uint8_t *data;
} Track68;

typedef struct {
  int32_t default_track; /* index from 0 */
  int32_t track_count;   /* 1 to 99 once loaded */
  uint32_t total_ms;     /* sum of all track times */
  uint32_t hardware;     /* OR of all tracks' flags */
  const char *name;
  const char *year; /* the year the file gives (SNDH "YEAR"), or null */
  Track68 tracks[DISK68_MAX_TRACKS];
} Disk68;

/* What a load found: the innermost format and the outermost packing. */
enum { VK68FILE_FORMAT_VK68 = 0, VK68FILE_FORMAT_SNDH = 1 };
enum { VK68FILE_PACKING_NONE = 0, VK68FILE_PACKING_ICE = 1, VK68FILE_PACKING_GZIP = 2 };
typedef struct {
  int format;
  int packing;
} VK68fileKind;

/* Loaders. The stream form takes a created, not yet opened stream: it opens
 * it, closes it on failure and leaves it open on success; the caller
 * destroys it either way. Failures report "<stream name>: <why>" (why the
 * file does not load, in words for its user; a packed file's content that
 * does not load reports its own failure first) and return null. */
Disk68 *VK68file_load(Stream68 *stream);
Disk68 *VK68file_load_path(const char *path);
Disk68 *VK68file_load_buffer(const void *bytes, int32_t size);
/* VK68file_load that also tells what it found; kind may be null. */
Disk68 *VK68file_load_kind(Stream68 *stream, VK68fileKind *kind);

/* Writers: 0, or a negative value after reporting "<stream name>: cannot
 * write the VK68 file (<why>)". The stream form takes a created stream in
 * write mode and opens and closes it. A memory target is never grown. */
int VK68file_save(Stream68 *stream, const Disk68 *disk);
int VK68file_save_path(const char *path, const Disk68 *disk);
int VK68file_save_buffer(void *bytes, int32_t size, const Disk68 *disk);

/* 0 when the stream holds a loadable file (VK68, SNDH, or ICE/gzip-packed
 * bytes that probe as loadable), -1 otherwise. The stream form opens the
 * stream and leaves closing to the caller's destroy. */
int VK68file_probe(Stream68 *stream);
int VK68file_probe_path(const char *path);
int VK68file_probe_buffer(const void *bytes, int32_t size);

/* 1 when `name` may name an external replay routine: letters, digits, '_',
 * '-' and '.', not empty and not starting with '.', so that it can only name
 * a file inside the replay directory; 0 otherwise. The loader refuses files
 * whose "RE" chunk breaks this rule. */
int VK68file_replay_name_ok(const char *name);

/* The text for a set of hardware flags (only the three low bits count). */
const char *VK68file_hardware_text(uint32_t hardware);

#ifdef __cplusplus
}
#endif

#endif
