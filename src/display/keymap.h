/* Turns the window's keyboard events into key codes for the key queue. */
#ifndef VARNKOL_DISPLAY_KEYMAP_H
#define VARNKOL_DISPLAY_KEYMAP_H

#include <SDL.h>
#include <cstdint>

namespace keys {

/* The key code an event stands for, or 0 for none.
 *
 * Characters arrive as text input, so they follow the keyboard layout,
 * dead keys and modifiers; a text of exactly one character 1-255 (Latin-1)
 * gives that character, anything else gives nothing. Key-down events give
 * the navigation and function keys (the keypad's too while Num Lock is off)
 * and the keys that type control characters, which produce no text: ESC 27,
 * Enter 13, Backspace 8, Tab 9, Ctrl+A to Ctrl+Z 1-26. Repeats count as
 * presses. */
uint16_t key_code_for_event(const SDL_Event &event);

}  // namespace keys

#endif
