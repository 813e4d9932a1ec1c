/* The replay routines built into the engine (our own 68000 code, assembled
 * at build time): the resource handler serves them when no Replay/<name>.bin
 * file is found. The table ends with a null name.
 */
#ifndef VK68_PLAYER_BUILTIN_REPLAYS_H
#define VK68_PLAYER_BUILTIN_REPLAYS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  const char *name; /* lower case, as looked up */
  const unsigned char *bytes;
  const unsigned long *size;
} VK68builtinReplay;

extern const VK68builtinReplay vk68_builtin_replays[];

/* The low memory every track starts with (src/replay/system.s, linked at
 * address 0): exception vectors, system variables, the XBIOS routine. */
extern const unsigned char vk68_system_memory[];
extern const unsigned long vk68_system_memory_size;

#ifdef __cplusplus
}
#endif

#endif
