// Silent music: stands in for the player until the embedded music exists.
// Starting always succeeds; there is no device to resume or stop.
#include "audio/music.h"

int music_start(const void *, size_t) { return 1; }
void music_resume(void) {}
void music_stop(void) {}
