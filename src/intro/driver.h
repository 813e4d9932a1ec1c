// The intro's control flow: title, scene loop, closing loop.
#pragma once

// Fills intro_text with the intro's lines; every other entry is emptied.
void fill_intro_text();

// Draws one frame of the scene into the frame buffer: horizon, discs and
// one step of the text pages.
void draw_scene_frame();

// Runs the whole intro against whichever display, music and host are linked
// in, starting from the start-of-run state, and closes the display at the
// end. A request to end (host_stop_requested) ends the loops early. Returns
// the exit status: 0 after the closing loop (or such a request), -1 when the
// music or the display cannot be started.
int intro_run();
