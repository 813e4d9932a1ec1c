/* Resources: files the player finds outside the music file (external replay
 * routines, the configuration file, samples, libraries).
 *
 * A resource type and a name become a path under the user directory or the
 * shared directory; the first that opens is returned as an open Stream68.
 *   type 0 replay   <dir>/Replay/<name lower-cased>.bin
 *   type 1 config   <dir>/<name>.txt
 *   type 2 sample   <dir>/Sample/<name>
 *   type 3 library  <dir>/Dll/<name>
 * Reads try the user directory, then the shared one; writes only the user
 * directory, and replace the file only once the new one is complete
 * (stream68_file_replace). Replay names must pass VK68file_replay_name_ok.
 * Defaults come from VK68_DATA (shared, else "") and VK68_HOME (user, else
 * $HOME/.vk68 when HOME is set and not empty); an empty directory is passed
 * over, so nothing is looked up at the root of the file system. Failures
 * are reported on the message stack.
 *
 * Also here: the small text services (copy, join, case-blind compare) that
 * allocate through the engine's hooks.
 */
#ifndef VK68_PLAYER_VK68_RSC_H
#define VK68_PLAYER_VK68_RSC_H

#include "vk68/stream68.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VK68RSC_REPLAY = 0,
  VK68RSC_CONFIG = 1,
  VK68RSC_SAMPLE = 2,
  VK68RSC_DLL = 3,
};

/* A resource handler: (type, name, mode) -> open stream or null. */
typedef Stream68 *(*VK68rsc_handler_t)(int type, const char *name, int mode);

/* Opens a resource through the installed handler after filling in default
 * paths that are still unset. Mode is STREAM68_READ or STREAM68_WRITE. */
Stream68 *VK68rsc_share_path(int type, const char *name, int mode);
/* The handler installed at start: the directory lookup described above. */
Stream68 *VK68rsc_default_open(int type, const char *name, int mode);
/* Installs a handler and returns the previous one; null changes nothing. */
VK68rsc_handler_t VK68rsc_set_handler(VK68rsc_handler_t handler);

/* Replace the stored paths with copies of `path` (null forgets them). */
void VK68rsc_set_share(const char *path);
void VK68rsc_set_user(const char *path);
const char *VK68rsc_get_share(void);
const char *VK68rsc_get_user(void);

/* Set the paths from the environment (see above). */
void VK68rsc_set_default_share(void);
void VK68rsc_set_default_user(void);
/* Fills in defaults for unset paths, then hands the stored paths out
 * through the fields that are given (either may be null). */
void VK68rsc_set_defaults(const char **share, const char **user);

/* Text services; results come from vk68_alloc and are freed with vk68_free.
 * vk68_strdup(null) is null. vk68_strjoin joins two texts; a missing one
 * counts as empty (both missing: null). vk68_strcasecmp compares the ASCII
 * upper-case forms; null sorts before any text. */
char *vk68_strdup(const char *text);
char *vk68_strjoin(const char *a, const char *b);
int vk68_strcasecmp(const char *a, const char *b);

#ifdef __cplusplus
}
#endif

#endif
