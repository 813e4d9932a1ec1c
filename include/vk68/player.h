/* The music player: one handle (Player68) that runs a loaded disk's replay
 * code on the emulated 68000 and its sound chips and turns the current
 * track into 16-bit stereo samples.
 *
 * Life of a player:
 *   vk68_init                      creates the one player (a second fails)
 *   vk68_load_buffer/_path/...     attaches a disk and asks for its first
 *                                  track (the configured force_track)
 *   vk68_play / vk68_seek /        ask for a track change; it is carried
 *   vk68_restart / vk68_stop       out by the next vk68_process call
 *   vk68_process                   fills the caller's buffer
 *   vk68_close                     detaches and frees the disk
 *   vk68_shutdown                  frees everything (the configuration is
 *                                  saved only by vk68_config_save)
 *
 * Error rule (every operation here): a failure pushes a message on the
 * engine's message stack (vk68_error_get pops it, newest first) and returns
 * -1 (or null for a pointer result). Operations on a null player fail
 * without a message; on a pointer that is no live player (one shut down
 * already) they fail with a message and touch nothing. A failed operation
 * leaves the player usable.
 *
 * Output samples are 32-bit words: bits 0-15 the left channel, bits 16-31
 * the right, each signed 16-bit (in memory on a little-endian host:
 * interleaved left/right 16-bit PCM).
 *
 * Threads: a player is used by one thread at a time (calls on one player
 * must not overlap); different players may run on different threads at
 * once, each with its own 68000 and chips. Messages are per thread (see
 * vk68/vk68_msg.h): a failure is reported to the thread whose call failed.
 */
#ifndef VK68_PLAYER_H
#define VK68_PLAYER_H

#include <stdint.h>

#include "vk68/reg68.h"
#include "vk68/stream68.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Values the player keeps from the configuration store. */
enum { VK68_CONFIG_SLOTS = 8 };

/* The player handle. Read-only for the caller. */
typedef struct {
  int32_t version;      /* configuration "version" */
  Reg68 reg;            /* registers kept between the init and play runs */
  uint8_t *memory;      /* the 68000 memory (memory_size + 3 bytes) */
  uint32_t memory_size; /* 512 KiB */
  Disk68 *disk;         /* attached disk, or null */
  const Track68 *track; /* track being played, or null */
  int32_t track_number; /* 1-based; 0 when none */
  int32_t pending;      /* 0 none, -1 stop, n >= 1 start track n */
  int32_t force_track;  /* track started when a disk is attached */
  uint32_t load_address;
  int32_t config[VK68_CONFIG_SLOTS]; /* the configuration values */
  uint32_t default_time_ms;          /* for tracks of unknown length */
  uint32_t sampling_rate;            /* Hz */
  const uint32_t *mix_position;      /* next sample of the last frame */
  uint32_t mix_remaining;            /* samples of it not yet delivered */
  uint32_t samples_per_frame;
  uint32_t cycles_per_frame;
  int32_t amiga_blend; /* 0 (hard left/right) .. 65536 (swapped) */
  uint32_t samples_played;
  uint32_t frames_played;
  uint32_t frames_to_play;
  struct Machine68 *machine; /* the emulated machine; private to the engine */
} Player68;

/* What vk68_init needs. Only the two memory hooks are required. */
typedef struct {
  uint32_t sampling_rate; /* in: Hz, 0 = configured; out: the rate set */
  vk68_alloc_t alloc;
  vk68_free_t free;
  const char *user_path;   /* user resource directory, or null: default */
  const char *shared_path; /* shared resource directory, or null: default */
  vk68_debug_t debug;      /* trace hook, or null */
  void *debug_cookie;
} VK68init;

/* vk68_process status bits (or -1). */
enum {
  VK68_PROCESS_IDLE = 0x02,    /* every sample came from the previous frame */
  VK68_PROCESS_CHANGE = 0x04,  /* a track was started in this call */
  VK68_PROCESS_END = 0x10,     /* the track ended; the next one (or a stop)
                                  has been asked for */
  VK68_PROCESS_STOPPED = 0x24, /* a stop was applied: no current track */
};

Player68 *vk68_init(VK68init *init);
void vk68_shutdown(Player68 *player);
/* rate != 0 sets the output rate (the YM's limits apply) and returns it;
 * 0 returns the current one. */
int vk68_sampling_rate(Player68 *player, int rate);

/* Attach a disk: 0 or -1. The disk passes to the player, which frees it
 * on failure too. Only one disk at a time ("disk is already loaded"). */
int vk68_load_disk(Player68 *player, Disk68 *disk);
int vk68_load_stream(Player68 *player, Stream68 *stream);
int vk68_load_path(Player68 *player, const char *path);
int vk68_load_buffer(Player68 *player, const void *bytes, int32_t size);
void vk68_close(Player68 *player);

/* Asks for track n (1-based; 0 the disk's default): 0 or -1. n = -1 asks
 * nothing and returns the current track number. */
int vk68_play(Player68 *player, int track);
int vk68_stop(Player68 *player);
/* Track 1 from its start. */
void vk68_restart(Player68 *player);
/* Asks for the track that holds `ms` (time from the start of the disk) and
 * returns the track's start in ms; the track plays from its beginning.
 * ms = -1 returns the position in the disk. -1 when outside the disk or
 * already in that track. */
int vk68_seek(Player68 *player, int ms);
int vk68_track_count(const Player68 *player);

typedef struct {
  int32_t track;  /* described track; 0 = the whole disk */
  int32_t tracks; /* track count */
  const char *name;
  const char *author;
  const char *composer;
  const char *replay;   /* "built-in" when the data carries its own */
  const char *hardware; /* hardware text */
  char time[12];        /* "NN MM:SS" */
  uint32_t hardware_flags;
  uint32_t time_ms;
  uint32_t start_ms;
  uint32_t frequency;
  uint32_t load_address;
} VK68trackInfo;

/* Describes track n of `disk`, or of the player's disk when disk is null:
 * 0 or -1. n = 0 describes the whole disk; n = -1 the current track (or the
 * default track of a disk given directly). */
int vk68_track_info(const Player68 *player, const Disk68 *disk, VK68trackInfo *info, int track);

/* Fills buffer with up to n samples and returns VK68_PROCESS_* bits, or -1
 * (no player, n < 0, no buffer, no disk or track, or the replay code
 * failed: a frame that runs more instructions than its cycles allow stops
 * the track). Every sample of a frame is delivered before a requested
 * change (a track's end, vk68_play, vk68_stop, ...) takes effect; when a
 * track starts or stops inside the call, the call returns at once with the
 * rest of the buffer unwritten, with the bits of the frames it ran (a
 * track's end among them). A track starts with a replay rate of 1 to
 * 50,000 Hz. */
int vk68_process(Player68 *player, uint32_t *buffer, int n);

/* Pass-throughs to the file layer (see vk68file.h). */
int vk68_probe_stream(Stream68 *stream);
int vk68_probe_path(const char *path);
int vk68_probe_buffer(const void *bytes, int32_t size);
Disk68 *vk68_disk_load_stream(Stream68 *stream);
Disk68 *vk68_disk_load_path(const char *path);
Disk68 *vk68_disk_load_buffer(const void *bytes, int32_t size);

/* The configuration: keys by name ("sampling_rate", "amiga_blend",
 * "force_track", "default_time", "clock", ...). vk68_config_load reads the
 * file into the player's values, vk68_config_apply limits them and takes
 * them into the player's fields (the clock from the next track start),
 * vk68_config_save writes them. Values n are 0..7. */
int vk68_config_load(Player68 *player);
int vk68_config_save(Player68 *player);
int vk68_config_apply(Player68 *player);
int vk68_config_id(const char *key);
int vk68_config_get(const Player68 *player, int n, int32_t *value);
int vk68_config_set(Player68 *player, int n, int32_t value);

/* The resource directories (null forgets them). */
void vk68_set_share(const char *path);
void vk68_set_user(const char *path);

#ifdef __cplusplus
}
#endif

#endif
