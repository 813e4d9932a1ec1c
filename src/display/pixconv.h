/* Row converters from the intro's 32-bit 0x00RRGGBB frames to the pixel
 * layouts a display may use: 32, 24 or 16 bits, each channel order, and for
 * 16 bits both 5-6-5 and 5-5-5. One converter is chosen when the display
 * opens and then converts every row of every presented frame.
 */
#ifndef VARNKOL_DISPLAY_PIXCONV_H
#define VARNKOL_DISPLAY_PIXCONV_H

#include <cstddef>
#include <cstdint>

namespace pixconv {

/* Converts `width` source pixels into `width` destination pixels; writes
 * exactly width * bytes-per-pixel bytes at dst and nothing else. dst needs
 * no particular alignment. */
using RowConverter = void (*)(const uint32_t *src, void *dst, size_t width);

/* One destination layout: its storage bit count, its channel masks (as
 * values of a pixel read in the machine's byte order) and three
 * implementations that give identical bytes:
 *   per_pixel - the formula applied one pixel at a time,
 *   grouped   - plain 64-bit integer code handling several pixels per step,
 *   fastest   - the one used for presenting: SSE2 for the swapped 32-bit
 *               and the 16-bit layouts where the machine has it, the
 *               library block copy for the plain 32-bit layout, the grouped
 *               code otherwise. */
struct Layout {
  const char *name;
  int bits;
  uint32_t red_mask;
  uint32_t green_mask;
  uint32_t blue_mask;
  RowConverter per_pixel;
  RowConverter grouped;
  RowConverter fastest;
};

inline constexpr size_t layout_count = 8;

/* The eight supported layouts, in the order they are matched. */
const Layout *layouts();

/* The fastest converter for an exact match of bit count and masks, or
 * nullptr when the layout is not supported (8-bit palettised displays,
 * unknown masks). */
RowConverter choose_converter(int bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

/* The matching layout record, or nullptr. */
const Layout *find_layout(int bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

}  // namespace pixconv

#endif
