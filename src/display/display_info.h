/* What the open display settled on; for diagnostics and tests. */
#ifndef VARNKOL_DISPLAY_DISPLAY_INFO_H
#define VARNKOL_DISPLAY_DISPLAY_INFO_H

#include <cstdint>

#include "display/frame_pacer.h"
#include "display/pixconv.h"

struct DisplayInfo {
  bool open;
  bool exact_mode;        // a real width x height screen mode, else scaled to the desktop
  uint32_t pixel_format;  // SDL pixel format of the back buffer
  const pixconv::Layout *layout;
  pacing::Mode pacing;
  bool active;         // the window has the keyboard focus
  uint32_t window_id;  // SDL window id, 0 when closed
};

DisplayInfo display_info();

#endif
