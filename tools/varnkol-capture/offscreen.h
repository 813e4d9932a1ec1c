// An off-screen stand-in for the display and the clock, so that the intro's
// driver can run headless: display_* keep the last frame in memory and feed
// keys from a schedule, and the host clock is virtual (a sleep takes no real
// time, it only advances a counter). Used by varnkol-capture and the tests.
#pragma once

#include <cstdint>
#include <functional>

namespace offscreen {

// Called with the number (0 = the first presented frame, the title) and the
// pixels of every presented frame.
using FrameHook = std::function<void(uint64_t frame, const uint32_t *pixels)>;
// Called once `limit` frames have been presented, from inside that frame's
// display_update; it is not expected to return (it ends the run).
using LimitHook = std::function<void()>;

// Back to a closed display, an empty key queue and schedule, clock 0, no
// hooks, no limit, display_open succeeding, no console key.
void reset();

// Key `code` (a display key code: 1..255, 257.. for navigation and function
// keys) enters the key queue while frame `frame` is presented.
void schedule_key(uint64_t frame, uint16_t code);
void set_frame_hook(FrameHook hook);
void set_frame_limit(uint64_t limit, LimitHook on_limit);
void set_open_result(bool ok);
// A console key becomes available once the virtual clock reaches `ms`.
void set_console_key_at(uint64_t ms);

uint64_t frames_presented();
uint64_t clock_ms();
bool is_open();
int open_width();
int open_height();
const char *open_title();

}  // namespace offscreen
