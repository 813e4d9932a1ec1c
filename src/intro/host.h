// The clock, the console and requests to end, as the intro sees them. Chosen
// at link time: the real program links host_posix.cpp (wall clock, terminal
// on stdin, signals); the capture tool links a virtual clock without a
// console.
#pragma once

#include <cstdint>

// One uninterrupted wait of `ms` milliseconds.
void host_wait_ms(uint32_t ms);
// True when a key pressed in the console (terminal) is waiting. Keys pressed
// in the display window never count here.
bool host_console_key();
// True once the program was asked to end from outside (Ctrl+C, kill, the
// terminal closing): the driver then winds down as after the last ESC.
bool host_stop_requested();
