/* Choosing the screen mode and the pixel layout of the display. */
#ifndef VARNKOL_DISPLAY_SCREEN_MODE_H
#define VARNKOL_DISPLAY_SCREEN_MODE_H

#include <SDL.h>

#include "display/pixconv.h"

namespace screen_mode {

/* The converter layout for an SDL pixel format, or nullptr. The bit count
 * compared is the storage size (bytes per pixel times 8), so a 15-bit
 * 5-5-5 format counts as the 16-bit layout it is stored in. */
const pixconv::Layout *layout_for_format(Uint32 format);

/* Among `count` display modes, the index of the one to take the screen over
 * with at width x height, or -1 when there is none: only modes of exactly
 * that size count, and no palettised ones. Formats with a converter of 32
 * bits are preferred to 24, 24 to 16, 16 to those without a converter (SDL
 * converts to them), then the refresh rate nearest 60 Hz. */
int choose_mode(const SDL_DisplayMode *modes, int count, int width, int height);

/* True for refresh rates that pace frames at 60 per second (SDL rounds
 * 59.94 Hz to 59 or 60). */
bool is_60_hz(int refresh_rate);

}  // namespace screen_mode

#endif
