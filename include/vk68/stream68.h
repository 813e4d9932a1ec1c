/* Stream68: the byte stream through which every reader and writer of the
 * engine moves data. A stream record begins with a table of ten operations;
 * two kinds exist, a file on the host's file system and a memory buffer
 * owned by the caller.
 *
 * Life of a stream: create, open, any number of read/write/length/tell/seek,
 * close, destroy (destroy closes first). No operation reports a message:
 * failures are -1 (or null for name and create); callers word the message.
 * Counts, lengths, positions and offsets are signed 32-bit.
 */
#ifndef VK68_STREAM68_H
#define VK68_STREAM68_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { STREAM68_READ = 1, STREAM68_WRITE = 2 };

typedef struct Stream68 Stream68;

/* The operation table; any entry may be null, which makes the matching
 * generic operation fail. Both seek slots take the signed offset as is. */
typedef struct {
  const char *(*name)(Stream68 *);
  int (*open)(Stream68 *);
  int (*close)(Stream68 *);
  int32_t (*read)(Stream68 *, void *, int32_t);
  int32_t (*write)(Stream68 *, const void *, int32_t);
  int32_t (*length)(Stream68 *);
  int32_t (*tell)(Stream68 *);
  int (*seek_forward)(Stream68 *, int32_t);
  int (*seek_back)(Stream68 *, int32_t);
  void (*destroy)(Stream68 *);
} Stream68Ops;

struct Stream68 {
  Stream68Ops ops;
};

/* A stream on a file; does not touch the file system. Null for a missing or
 * empty path. Opening for reading refuses (with a message) a file longer
 * than INT32_MAX bytes. */
Stream68 *stream68_file_create(const char *path, int mode);
/* A write-only file stream that replaces the file as a whole: it writes a
 * new file beside it (beside the file a link points to) and renames it into
 * place when the stream closes after every write went through. A failed
 * write or close removes the new file; the old one stays as it was, and
 * close returns -1 with errno telling why. A file that is not a regular
 * file (a device) is written in place. */
Stream68 *stream68_file_replace(const char *path);
/* A stream on a caller-owned buffer named "mem://<start>:<end>". Null when
 * size is negative or data is null with a non-zero size. A write never
 * grows the buffer. */
Stream68 *stream68_mem_create(void *data, int32_t size, int mode);

const char *stream68_name(Stream68 *s);
int stream68_open(Stream68 *s);
int stream68_close(Stream68 *s);
int32_t stream68_read(Stream68 *s, void *buffer, int32_t count);
int32_t stream68_write(Stream68 *s, const void *buffer, int32_t count);
int32_t stream68_length(Stream68 *s);
int32_t stream68_tell(Stream68 *s);
/* Relative and absolute seeks; both return the new position, or -1 when it
 * would be outside 0..INT32_MAX or the stream refuses to move. */
int32_t stream68_seek(Stream68 *s, int32_t offset);
int32_t stream68_seek_to(Stream68 *s, int32_t position);
void stream68_destroy(Stream68 *s);
/* Reads one line (up to and including '\n', at most size - 1 bytes) into
 * buffer and terminates it; returns the byte count, 0 at the end, -1 on a
 * read error or bad arguments. */
int32_t stream68_read_line(Stream68 *s, char *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
