/* Engine-wide services: the message stack, the debug hook, the allocation
 * hooks and the time-text formatters.
 *
 * Error rule for the whole engine: an operation that fails reports a
 * formatted message with vk68_error_add (which returns -1) and returns its
 * failure value (a negative number or null). The host pops the messages,
 * newest first, with vk68_error_get. The stack keeps the 8 newest messages
 * of up to 255 characters; a ninth push drops the oldest.
 *
 * Threads: messages are per thread. Each thread has a message stack of its
 * own (and its own buffers for the time texts below), so a thread pops
 * only the messages of the calls it made. The debug and allocation hooks are
 * process-wide: set them before any thread uses the engine; the hooks
 * themselves must allow calls from several threads at once when several
 * players run at once.
 */
#ifndef VK68_VK68_MSG_H
#define VK68_VK68_MSG_H

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VK68_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VK68_PRINTF(f, a)
#endif

typedef void *(*vk68_alloc_t)(size_t size);
typedef void (*vk68_free_t)(void *block);
typedef int (*vk68_debug_t)(void *cookie, const char *format, va_list args);

/* Pushes a message; always returns -1. */
int vk68_error_add(const char *format, ...) VK68_PRINTF(1, 2);
/* Pops the newest message, or null when the stack is empty. The text stays
 * valid until the next push. */
const char *vk68_error_get(void);

/* Sends a trace line to the debug hook; returns the hook's result, or 0. */
int vk68_debug(const char *format, ...) VK68_PRINTF(1, 2);

/* Every block of engine memory comes from these two. vk68_alloc reports and
 * returns null without a hook or when the hook fails; vk68_free(null) is 0. */
void *vk68_alloc(size_t size);
int vk68_free(void *block);

/* Each setter returns the previous value. A null allocation or free hook
 * leaves the hook unchanged; the debug hook and cookie store null too. */
vk68_alloc_t vk68_set_alloc(vk68_alloc_t hook);
vk68_free_t vk68_set_free(vk68_free_t hook);
vk68_debug_t vk68_set_debug(vk68_debug_t hook);
void *vk68_set_cookie(void *cookie);

/* "NN MM:SS" (8 characters and the terminator) for a track number and a
 * time in seconds; "--" / "--:--" for track <= 0 / seconds < 0. With a null
 * buffer the thread's own buffer (initially "-- --:--") is used. */
char *vk68_time_str(char *buffer, int track, int seconds);
/* A long duration ("none", "MM' SS\"", "Hh, MM' SS\"", "D day(s), ...") into a
 * buffer of at least 32 characters, or the thread's own buffer when null. */
char *vk68_long_time_str(char *buffer, int seconds);

#ifdef __cplusplus
}
#endif

#endif
