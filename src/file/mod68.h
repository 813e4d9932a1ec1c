/* Amiga modules: four-channel ProTracker modules (31 sample slots with an
 * "M.K.", "M!K!", "M&K!", "4CHN" or "FLT4" signature, or the original
 * 15-slot layout) checked, measured by a walk through the song, and packed into a
 * VK68 disk whose tracks play them with our own 68000 replay on the Paula.
 *
 * Errors follow the engine's rule: a message on the engine's stack and a
 * failure value (-1 or null).
 */
#ifndef VK68_FILE_MOD68_H
#define VK68_FILE_MOD68_H

#include <stdint.h>

#include "vk68/vk68file.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Play calls per second of a module's track: the unit of its length. (The
 * replay's ticks run on the CIA's timer, at their own exact times.) */
enum { MOD68_CALL_RATE = 500 };

/* Bytes of a 31-slot module's header: title, 31 sample records, song
 * length, restart byte, 128 positions and the signature. */
enum { MOD68_HEADER_SIZE = 20 + 31 * 30 + 2 + 128 + 4 };

/* What mod68_check found. */
typedef struct {
  int32_t slots;       /* 31 or 15 */
  int32_t channels;    /* 1-4 in the file's patterns; fewer than 4 play as 4 */
  int32_t song_length; /* song positions, 1-128 */
  int32_t patterns;    /* patterns stored */
  int32_t size;        /* bytes of the module as it plays: header, patterns of four
                          channels and samples unpacked */
  int32_t missing;     /* sample bytes missing at the end of the file */
  int32_t packed;      /* nonzero: samples packed as ModPlug ADPCM, unpacked to play */
  char title[21];      /* without trailing blanks */
} Mod68Info;

/* Checks `size` bytes of a module. Refuses (-1 and a message, its cause
 * first) anything that is not a module, a module cut short in its header,
 * position list or patterns, a module of more than four channels (also one
 * of eight marked "M.K.", known by its size) and one too large for the
 * 68000's memory together with the replay. Sample data cut short at the
 * end is accepted: info->missing counts the bytes that will play as
 * silence. */
int mod68_check(const uint8_t *bytes, int32_t size, Mod68Info *info);

/* Replay frames (at MOD68_CALL_RATE) from song position `start` until the
 * song comes back to a row it has played with the same pattern loops
 * running (a jump back, or the wrap after the last position), following
 * jumps, breaks, pattern loops and delays, speed and tempo: the play call
 * nearest to the exact time of that row's tick, from the ticks' lengths on
 * the CIA timer as the replay sets them. Songs that never come back stop
 * after two hours. `bytes` (the file's) must have passed mod68_check. */
uint32_t mod68_frames(const uint8_t *bytes, const Mod68Info *info, int32_t start);

/* A track of a disk made by mod68_disk. */
typedef struct {
  int32_t start;    /* song position the track starts at */
  const char *name; /* null: the module's title */
} Mod68Track;

/* A VK68 disk (one block from the allocation hook, as VK68file_load makes
 * them) with one track per entry of `tracks`, all sharing one copy of the
 * replay and the module: hardware flags 4, MOD68_CALL_RATE, the exact
 * length in frames. Missing sample bytes are silence; loops that run past
 * their sample are cut to it. `name` (null: the title) names the disk,
 * `author` (may be null) is every track's author. Null after a message when
 * the module fails mod68_check. */
Disk68 *mod68_disk(const uint8_t *bytes, int32_t size, const char *name, const char *author,
                   const Mod68Track *tracks, int count);

#ifdef __cplusplus
}
#endif

#endif
