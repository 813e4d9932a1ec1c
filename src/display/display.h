/* The full-screen display of the intro: presents 32-bit 0x00RRGGBB frames
 * and queues the keys pressed in it.
 *
 * Key strings: "" (no key), one character for codes 1-255 (ESC is 27), or
 * the byte 255 followed by a scan byte for navigation and function keys.
 */
#ifndef VARNKOL_DISPLAY_DISPLAY_H
#define VARNKOL_DISPLAY_DISPLAY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the display is ready, 0 otherwise. */
int display_open(const char *title, int width, int height);
/* Pumps the window's events, then presents width x height pixels. Returns 1
 * when presented (or skipped while the window is inactive), 0 when the
 * frame was lost. */
int display_update(const uint32_t *pixels);
/* Removes the oldest key; the returned string stays valid until the next
 * call. */
const char *display_read_key(void);
int display_key_waiting(void);
void display_close(void);

#ifdef __cplusplus
}
#endif

#endif
