/* The intro's music: started paused on the embedded music file, made
 * audible by music_resume, ended by music_stop. */
#ifndef VARNKOL_AUDIO_MUSIC_H
#define VARNKOL_AUDIO_MUSIC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 once the music is loaded and track 1 selected (a missing sound device
 * does not make it fail), 0 otherwise. */
int music_start(const void *file, size_t size);
void music_resume(void);
void music_stop(void);

#ifdef __cplusplus
}
#endif

#endif
