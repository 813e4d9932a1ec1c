/* A song: one music file, ready to play, behind a single handle. The file
 * (VK68, SNDH, ICE- or gzip-packed, or a four-channel Amiga module) is
 * loaded from memory; a track of it is rendered as interleaved 16-bit
 * stereo; the song knows its tracks' lengths, its position, and can seek.
 * Each song has a player of its own (68000, chips, memory): any number of
 * songs may exist at once, e.g. the next one prepared while this one plays.
 *
 *   vk68_song *song = vk68_song_open(bytes, size, NULL, why, sizeof why);
 *   while ((n = vk68_song_render(song, buffer, 1024)) > 0) use(buffer, n);
 *   vk68_song_close(song);
 *
 * Threads: one song is used by one thread at a time (calls on the same song
 * must not overlap); different songs may be used on different threads at
 * once. The engine's messages (vk68/vk68_msg.h) are per thread; the song
 * functions leave the calling thread's messages as they found them and
 * keep their own failures in the song (vk68_song_error) or in the `error`
 * text of vk68_song_open.
 *
 * Memory comes from the engine's allocation hooks (vk68/vk68_msg.h); when
 * none is set, the first vk68_song_open sets the C library's malloc and
 * free. The configuration file (config.txt in $VK68_HOME, else ~/.vk68)
 * gives the defaults of the options and the time of tracks of unknown
 * length ("default_time", 180 s unless it says otherwise); a song never
 * writes it.
 */
#ifndef VK68_SONG_H
#define VK68_SONG_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct vk68_song vk68_song;

/* An option field with this value takes its default. */
#define VK68_SONG_DEFAULT (-1)

/* The machine's clocks. */
enum {
  VK68_SONG_CLOCK_NOMINAL = 0, /* a 68000 at 8 MHz, the YM at 2 MHz */
  VK68_SONG_CLOCK_PAL = 1      /* a real PAL STE's (and a PAL Amiga's) */
};

/* How a song plays. vk68_song_options_init sets every field to
 * VK68_SONG_DEFAULT; a null options pointer means the same. A zeroed
 * struct is valid too: the configured rate, hard left/right Amiga voices,
 * nominal clocks, no loop. */
typedef struct {
  int rate;        /* output rate, 6000 to 50000 Hz; 0 or default: the
                      configured rate (44100 unless configured otherwise) */
  int amiga_blend; /* Amiga voices: 0 hard left/right, 32768 mono, 65536
                      swapped; default: configured (20480 unless configured
                      otherwise) */
  int clock;       /* VK68_SONG_CLOCK_*; default: configured (nominal unless
                      configured otherwise) */
  int loops;       /* times a track plays again after its end; 0 or
                      default: once */
} vk68_song_options;

void vk68_song_options_init(vk68_song_options *options);

/* Loads `size` bytes of a music file (copied: the caller may free them at
 * once) and makes the file's default track current, at its start. Null on
 * failure, with a one-line reason (the cause first) in `error` when given
 * (error_size bytes, always terminated). */
vk68_song *vk68_song_open(const void *bytes, size_t size, const vk68_song_options *options,
                          char *error, size_t error_size);
/* Frees the song (null: nothing). */
void vk68_song_close(vk68_song *song);

/* The output rate in Hz (samples a second of each channel). */
int vk68_song_rate(const vk68_song *song);
/* The number of tracks (1 to 99), and the current track (1-based). */
int vk68_song_track_count(const vk68_song *song);
int vk68_song_current_track(const vk68_song *song);
/* Makes track n (1-based) current, at its start: 0, or -1 when there is no
 * track n or its replay code fails to start (vk68_song_error says why; the
 * song then has no current track and renders nothing). */
int vk68_song_select_track(vk68_song *song, int track);

/* Renders up to `frames` stereo frames (left, right: 2 x frames samples) of
 * the current track and returns how many it wrote. Fewer than asked only at
 * the end of the track (after its loops), and 0 from then on: every frame
 * before the returned count is fresh audio. A loop continues in the same
 * call, with no gap: the samples after the loop point are the track's
 * start. When the replay code fails (the track ends there), the count is
 * short and vk68_song_error says why. */
size_t vk68_song_render(vk68_song *song, int16_t *stereo, size_t frames);

/* The time in seconds the song plays track n (1-based), loops included:
 * the track's length times (loops + 1), exact to the output sample. 0 when
 * the file gives no length (such a track plays for the configured default
 * time) or there is no track n. */
double vk68_song_duration(const vk68_song *song, int track);
/* Seconds rendered since the current track's start (loops included). */
double vk68_song_position(const vk68_song *song);
/* Moves inside the current track to `seconds` from its start (loops
 * included), to the nearest output sample: what renders next is what an
 * uninterrupted render would give from there. Forwards it renders and
 * drops the samples up to there; backwards it starts the track again and
 * does the same, so a seek takes the time of rendering that stretch. 0, or
 * -1 when seconds is negative or not a number (nothing changes), or lies
 * past the end of the track or the replay fails on the way (the song then
 * stands at the end). */
int vk68_song_seek(vk68_song *song, double seconds);

/* A text about track n (1-based), or about the file as a whole for 0;
 * null when the file does not give it or the key is unknown. The texts
 * live as long as the song. Keys:
 *   "title"     the track's name (the file's title for 0, and for tracks
 *               without a name of their own)
 *   "artist"    its author
 *   "composer"  its composer, when the file names one apart from the author
 *   "year"      the year the file gives (SNDH)
 *   "replay"    the replay routine: "built-in" when the file carries its
 *               own, else its name (e.g. "sndh_ice")
 *   "hardware"  the sound chips it drives (e.g. "Amiga/Paula")
 *   "format"    "vk68", "sndh" or "mod", with the packing after a '+'
 *               (e.g. "sndh+ice", "mod+gzip") */
const char *vk68_song_meta(const vk68_song *song, int track, const char *key);

/* Why the song's latest failure happened (one line, the cause first), or
 * null when nothing has failed on it. */
const char *vk68_song_error(const vk68_song *song);

#ifdef __cplusplus
}
#endif

#endif
