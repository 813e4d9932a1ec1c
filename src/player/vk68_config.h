/* Configuration store: eight integer settings kept in the user's resource
 * directory as config.txt (the "config" resource, type 1), a commented text
 * file of "key = value" lines.
 *
 * The caller owns the value array (at least VK68CONFIG_COUNT values) and
 * indexes it with the VK68CONFIG_ constants. Every value except total_time
 * is kept within its key's [min, max] range. Failures are reported on the
 * message stack.
 */
#ifndef VK68_PLAYER_VK68_CONFIG_H
#define VK68_PLAYER_VK68_CONFIG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VK68CONFIG_VERSION = 0,
  VK68CONFIG_SAMPLING_RATE = 1,
  VK68CONFIG_AMIGA_BLEND = 2,
  VK68CONFIG_FORCE_TRACK = 3,
  VK68CONFIG_SKIP_TIME = 4,
  VK68CONFIG_DEFAULT_TIME = 5,
  VK68CONFIG_TOTAL_TIME = 6,
  VK68CONFIG_CLOCK = 7,
  VK68CONFIG_COUNT = 8,
};

/* One row of the key table. min == max == 0 means "not limited". */
typedef struct {
  const char *name;
  const char *description;
  int32_t min, max, def;
} VK68configKey;

/* The key table row for an index, or null. */
const VK68configKey *VK68config_key(int id);

/* Defaults first, then the file (user directory, else shared); 0 or -1.
 * The array holds usable, limited values even when the file is missing. */
int VK68config_load(int32_t *values);
/* Limits the values, then writes the file to the user directory; 0, or -1
 * with a message. A failed save leaves the previous file as it was. */
int VK68config_save(int32_t *values);

/* 0, or -1 with a message for a null array. */
int VK68config_check(const int32_t *values);
/* Sets the defaults (and limits them); 0 or -1. */
int VK68config_default(int32_t *values);
/* Applies the range rule; 0 or -1. */
int VK68config_valid(int32_t *values);

/* Index of a key, compared without regard to the case of A-Z; -1 with a
 * message when unknown or null. */
int VK68config_get_id(const char *name);

/* Reads an integer like C source: optional blanks (newline, space, tab), a
 * sign, and with base 0 a 0x (hex) or 0 (octal) prefix; base 16 skips a 0x
 * prefix. Digits are 0-9 and letters a-z/A-Z below the base. Values beyond
 * the 32-bit range saturate. The end of the number goes to *end if given. */
int32_t VK68config_strtol(const char *text, int base, const char **end);

#ifdef __cplusplus
}
#endif

#endif
