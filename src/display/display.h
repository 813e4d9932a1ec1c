/* The full-screen display of the intro: presents 32-bit 0x00RRGGBB frames
 * and queues the keys pressed in it. One display per process.
 *
 * The display takes the screen over at width x height (a real screen mode of
 * that size where there is one, else the desktop's mode with the frame
 * scaled to fit between black bars), hides the mouse pointer and keeps the
 * screen saver off while open; display_close gives all of it back. Any
 * screen depth works: formats without a converter of their own get the
 * frame as XRGB8888, converted by SDL. Frames are paced to 60 per second: by
 * the display's retrace on a 60 Hz screen, else by a frame timer;
 * VARNKOL_UNPACED=1 in the environment presents them as fast as they come
 * (while the window has the focus; without it they keep to 60 per second).
 * Where there is no display, opening fails ("no display available") rather
 * than run on SDL's off-screen or dummy video driver, unless SDL_VIDEODRIVER
 * names that driver.
 *
 * Key strings: "" (no key), one character for codes 1-255 (ESC is 27), or
 * the byte 255 followed by a scan byte for navigation and function keys:
 * Up "H", Down "P", Left "K", Right "M", Insert "R", Delete "S", Home "G",
 * End "O", Page Up "I", Page Down "Q", F1-F10 ";" to "D". The queue keeps
 * the newest 15 keys; keys pressed while the window lacks the focus are lost.
 * Requests to close the window are ignored.
 */
#ifndef VARNKOL_DISPLAY_DISPLAY_H
#define VARNKOL_DISPLAY_DISPLAY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the display is ready, 0 otherwise (also when one is already open);
 * display_error then says why. `title` names the window. */
int display_open(const char *title, int width, int height);
/* Pumps the window's events, then presents width x height pixels and waits
 * for the next frame's turn. Returns 1 when presented, or when skipped
 * because the window lacks the focus; 0 when the frame was lost, no display
 * is open or pixels is null. */
int display_update(const uint32_t *pixels);
/* Removes the oldest key; the returned string stays valid until the next
 * call. */
const char *display_read_key(void);
/* 1 when a key is waiting; removes nothing. */
int display_key_waiting(void);
/* Gives the screen back: screen mode, pointer, screen saver. Queued keys are
 * dropped. Does nothing when no display is open. */
void display_close(void);
/* Why the last display_open failed, one line without a newline; "" after a
 * success. */
const char *display_error(void);

#ifdef __cplusplus
}
#endif

#endif
