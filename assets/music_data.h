/* The intro's music: one VK68 file (two Amiga tracks played by our own
 * ProTracker replay), built at build time from assets/music/tune.txt. */
#ifndef VARNKOL_ASSETS_MUSIC_DATA_H
#define VARNKOL_ASSETS_MUSIC_DATA_H

#ifdef __cplusplus
extern "C" {
#endif

extern const unsigned char asset_music[];
extern const unsigned long asset_music_size;

#ifdef __cplusplus
}
#endif

#endif
