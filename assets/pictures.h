/* The intro's built-in pictures: one palette index per byte, rows padded to
 * a multiple of 4 bytes, each with a 256-entry palette of red, green, blue
 * bytes. Generated at build time from the sources in assets/. */
#ifndef VARNKOL_ASSETS_PICTURES_H
#define VARNKOL_ASSETS_PICTURES_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
  kFontWidth = 360,
  kFontHeight = 51, /* stride 360 */
  kTitleWidth = 800,
  kTitleHeight = 600, /* stride 800 */
  kLogoWidth = 779,
  kLogoHeight = 75 /* stride 780 */
};

extern const unsigned char asset_font_pixels[];
extern const unsigned char asset_font_palette[];
extern const unsigned char asset_title_pixels[];
extern const unsigned char asset_title_palette[];
extern const unsigned char asset_logo_pixels[];
extern const unsigned char asset_logo_palette[];

#ifdef __cplusplus
}
#endif

#endif
