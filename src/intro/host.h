// The clock and the console, as the intro sees them. Chosen at link time:
// the real program links host_posix.cpp (wall clock, terminal on stdin); the
// capture tool links a virtual clock without a console.
#pragma once

#include <cstdint>

// One uninterrupted wait of `ms` milliseconds.
void host_wait_ms(uint32_t ms);
// True when a key pressed in the console (terminal) is waiting. Keys pressed
// in the display window never count here.
bool host_console_key();
