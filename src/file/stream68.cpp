// Stream68: generic operations and the two stream kinds, file and memory.
#include "vk68/stream68.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vk68/vk68_msg.h"

namespace {

constexpr int kModeMask = STREAM68_READ | STREAM68_WRITE;

// ---- File streams ---------------------------------------------------------

struct FileStream {
  Stream68 base;
  std::FILE *file;
  int mode;
  bool replace;  // written beside the file, renamed over it on a good close
  char *target;  // while a replacement is open: "<file>\0<temporary file>"
  char name[1];  // the path, stored inline; the record is allocated to fit it
};

FileStream *as_file(Stream68 *s) { return reinterpret_cast<FileStream *>(s); }

const char *file_name(Stream68 *s) {
  FileStream *f = as_file(s);
  return f->name[0] ? f->name : nullptr;
}

// Positions and lengths are signed 32-bit: a regular file that reads beyond
// that is refused when it is opened rather than shown cut to 32 bits.
bool fits_stream(FileStream *f) {
  struct stat st;
  if (!(f->mode & STREAM68_READ) || fstat(fileno(f->file), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size <= INT32_MAX)
    return true;
  vk68_error_add("%s: file too large (%lld bytes, at most %d)", f->name,
                 static_cast<long long>(st.st_size), INT32_MAX);
  return false;
}

// A replacement of the file, when it is a regular file or does not exist
// yet, is written to a new file beside it (beside the file a link points
// to). Other files, devices for instance, are written in place.
std::FILE *open_replacement(FileStream *f) {
  char path[PATH_MAX];
  if (!realpath(f->name, path)) {
    if (std::strlen(f->name) >= sizeof path) return nullptr;
    std::strcpy(path, f->name);
  }
  struct stat st;
  const bool exists = stat(path, &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return std::fopen(path, "wb");

  const size_t length = std::strlen(path);
  constexpr size_t kSuffix = 32;  // ".new-<pid>-<try>" and its terminator
  // The path and its terminator, then the new file's name.
  f->target = static_cast<char *>(vk68_alloc(length + 1 + length + kSuffix));
  if (!f->target) return nullptr;
  char *temp = f->target + length + 1;
  std::memcpy(f->target, path, length + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::snprintf(temp, length + kSuffix, "%s.new-%d-%d", path, int(getpid()), attempt);
    const int fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    if (exists) fchmod(fd, st.st_mode & 07777);
    if (std::FILE *file = fdopen(fd, "wb")) return file;
    ::close(fd);
    unlink(temp);
    break;
  }
  vk68_free(f->target);
  f->target = nullptr;
  return nullptr;
}

int file_open(Stream68 *s) {
  FileStream *f = as_file(s);
  const char *how = nullptr;
  switch (f->mode) {
    case STREAM68_READ: how = "rb"; break;
    case STREAM68_WRITE: how = "wb"; break;
    case STREAM68_READ | STREAM68_WRITE: how = "r+b"; break;
    default: return -1;
  }
  if (f->file) stream68_close(s);  // reopening replaces the old handle
  f->file = f->replace ? open_replacement(f) : std::fopen(f->name, how);
  if (f->file && !fits_stream(f)) stream68_close(s);
  return f->file ? 0 : -1;
}

// A replacement goes into place only when every byte reached the disk;
// otherwise the new file is removed and the old one stays as it was. On a
// failure errno tells the first thing that failed.
int file_close(Stream68 *s) {
  FileStream *f = as_file(s);
  if (!f->file) return -1;
  int result = 0, error = 0;
  auto fail = [&] {
    if (result == 0) error = errno;
    result = -1;
  };
  if ((f->mode & STREAM68_WRITE) && (std::fflush(f->file) != 0 || std::ferror(f->file))) fail();
  if (f->target && result == 0 && fsync(fileno(f->file)) != 0) fail();
  if (std::fclose(f->file) != 0) fail();
  f->file = nullptr;
  if (f->target) {
    const char *temp = f->target + std::strlen(f->target) + 1;
    if (result == 0 && std::rename(temp, f->target) != 0) fail();
    if (result != 0) unlink(temp);
    vk68_free(f->target);
    f->target = nullptr;
  }
  if (result != 0) errno = error;
  return result;
}

int32_t file_read(Stream68 *s, void *buffer, int32_t count) {
  FileStream *f = as_file(s);
  if (!f->file || count < 0) return -1;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), f->file));
}

int32_t file_write(Stream68 *s, const void *buffer, int32_t count) {
  FileStream *f = as_file(s);
  if (!f->file || count < 0) return -1;
  return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), f->file));
}

// A position the stream cannot express is -1.
int32_t position_of(long position) {
  return position >= 0 && position <= INT32_MAX ? static_cast<int32_t>(position) : -1;
}

int32_t file_length(Stream68 *s) {
  FileStream *f = as_file(s);
  if (!f->file) return -1;
  long here = std::ftell(f->file);
  if (here == -1) return -1;
  if (std::fseek(f->file, 0, SEEK_END) == -1) return -1;
  long length = std::ftell(f->file);
  std::fseek(f->file, here, SEEK_SET);
  return position_of(length);
}

int32_t file_tell(Stream68 *s) {
  FileStream *f = as_file(s);
  if (!f->file) return -1;
  return position_of(std::ftell(f->file));
}

int file_seek(Stream68 *s, int32_t offset) {
  FileStream *f = as_file(s);
  if (!f->file) return -1;
  return std::fseek(f->file, offset, SEEK_CUR) == 0 ? 0 : -1;
}

void file_destroy(Stream68 *s) { vk68_free(s); }

constexpr Stream68Ops kFileOps = {file_name,   file_open, file_close, file_read, file_write,
                                  file_length, file_tell, file_seek,  file_seek, file_destroy};

// ---- Memory streams -------------------------------------------------------

struct MemStream {
  Stream68 base;
  unsigned char *data;
  int32_t size;
  int32_t position;
  int mode;
  int open_mode;
  char name[64];
};

MemStream *as_mem(Stream68 *s) { return reinterpret_cast<MemStream *>(s); }

const char *mem_name(Stream68 *s) {
  MemStream *m = as_mem(s);
  return m->name[0] ? m->name : nullptr;
}

int mem_open(Stream68 *s) {
  MemStream *m = as_mem(s);
  if (m->mode == 0 || m->open_mode != 0) return -1;
  m->open_mode = m->mode;
  m->position = 0;
  return 0;
}

int mem_close(Stream68 *s) {
  MemStream *m = as_mem(s);
  if (m->open_mode == 0) return -1;
  m->open_mode = 0;
  return 0;
}

// Shared by read and write; `direction` is STREAM68_READ or STREAM68_WRITE.
int32_t mem_transfer(MemStream *m, void *buffer, int32_t count, int direction) {
  if (!(m->open_mode & direction) || count < 0) return -1;
  if (count == 0) return 0;
  if (count > m->size - m->position) count = m->size - m->position;
  if (count > 0) {
    if (direction == STREAM68_READ) {
      std::memcpy(buffer, m->data + m->position, static_cast<size_t>(count));
    } else {
      std::memcpy(m->data + m->position, buffer, static_cast<size_t>(count));
    }
  }
  m->position += count;
  return count;
}

int32_t mem_read(Stream68 *s, void *buffer, int32_t count) {
  return mem_transfer(as_mem(s), buffer, count, STREAM68_READ);
}

int32_t mem_write(Stream68 *s, const void *buffer, int32_t count) {
  return mem_transfer(as_mem(s), const_cast<void *>(buffer), count, STREAM68_WRITE);
}

int32_t mem_length(Stream68 *s) {
  MemStream *m = as_mem(s);
  return m->open_mode ? m->size : -1;
}

int32_t mem_tell(Stream68 *s) {
  MemStream *m = as_mem(s);
  return m->open_mode ? m->position : -1;
}

int mem_seek(Stream68 *s, int32_t offset) {
  MemStream *m = as_mem(s);
  if (!m->open_mode) return -1;
  int64_t n = static_cast<int64_t>(m->position) + offset;
  if (n < 0 || n > m->size) return -1;
  m->position = static_cast<int32_t>(n);
  return 0;
}

void mem_destroy(Stream68 *s) { vk68_free(s); }

constexpr Stream68Ops kMemOps = {mem_name,   mem_open, mem_close, mem_read, mem_write,
                                 mem_length, mem_tell, mem_seek,  mem_seek, mem_destroy};

}  // namespace

extern "C" Stream68 *stream68_file_create(const char *path, int mode) {
  if (!path || !*path) return nullptr;
  size_t length = std::strlen(path);
  auto *f = static_cast<FileStream *>(vk68_alloc(sizeof(FileStream) + length));
  if (!f) return nullptr;
  f->base.ops = kFileOps;
  f->file = nullptr;
  f->mode = mode & kModeMask;
  f->replace = false;
  f->target = nullptr;
  std::memcpy(f->name, path, length + 1);
  return &f->base;
}

extern "C" Stream68 *stream68_file_replace(const char *path) {
  Stream68 *s = stream68_file_create(path, STREAM68_WRITE);
  if (s) as_file(s)->replace = true;
  return s;
}

extern "C" Stream68 *stream68_mem_create(void *data, int32_t size, int mode) {
  if (size < 0 || (!data && size != 0)) return nullptr;
  auto *m = static_cast<MemStream *>(vk68_alloc(sizeof(MemStream)));
  if (!m) return nullptr;
  m->base.ops = kMemOps;
  m->data = static_cast<unsigned char *>(data);
  m->size = size;
  m->position = 0;
  m->mode = mode & kModeMask;
  m->open_mode = 0;
  auto start = reinterpret_cast<uintptr_t>(data);
  std::snprintf(m->name, sizeof m->name, "mem://%p:%p", data,
                reinterpret_cast<void *>(start + static_cast<uintptr_t>(size)));
  return &m->base;
}

extern "C" const char *stream68_name(Stream68 *s) {
  return s && s->ops.name ? s->ops.name(s) : nullptr;
}

extern "C" int stream68_open(Stream68 *s) { return s && s->ops.open ? s->ops.open(s) : -1; }

extern "C" int stream68_close(Stream68 *s) { return s && s->ops.close ? s->ops.close(s) : -1; }

extern "C" int32_t stream68_read(Stream68 *s, void *buffer, int32_t count) {
  return s && s->ops.read ? s->ops.read(s, buffer, count) : -1;
}

extern "C" int32_t stream68_write(Stream68 *s, const void *buffer, int32_t count) {
  return s && s->ops.write ? s->ops.write(s, buffer, count) : -1;
}

extern "C" int32_t stream68_length(Stream68 *s) {
  return s && s->ops.length ? s->ops.length(s) : -1;
}

extern "C" int32_t stream68_tell(Stream68 *s) { return s && s->ops.tell ? s->ops.tell(s) : -1; }

// Moves from `here` to `target` (64-bit, so no sum can overflow); a target
// outside 0..INT32_MAX fails without moving.
int32_t seek_from(Stream68 *s, int32_t here, int64_t target) {
  if (here == -1 || target < 0 || target > INT32_MAX) return -1;
  const int32_t offset = static_cast<int32_t>(target - here);
  if (offset == 0) return here;
  auto move = offset > 0 ? s->ops.seek_forward : s->ops.seek_back;
  if (!move || move(s, offset) == -1) return -1;
  return static_cast<int32_t>(target);
}

extern "C" int32_t stream68_seek(Stream68 *s, int32_t offset) {
  const int32_t here = stream68_tell(s);
  return seek_from(s, here, int64_t{here} + offset);
}

extern "C" int32_t stream68_seek_to(Stream68 *s, int32_t position) {
  return seek_from(s, stream68_tell(s), position);
}

extern "C" void stream68_destroy(Stream68 *s) {
  if (!s) return;
  if (s->ops.close) s->ops.close(s);
  if (s->ops.destroy) s->ops.destroy(s);
}

extern "C" int32_t stream68_read_line(Stream68 *s, char *buffer, int32_t size) {
  if (!s || !s->ops.read || !buffer || size <= 0) return -1;
  int32_t stored = 0;
  while (stored < size - 1) {
    char c;
    int32_t got = s->ops.read(s, &c, 1);
    if (got == -1) return -1;
    if (got != 1) break;
    buffer[stored++] = c;
    if (c == '\n') break;
  }
  buffer[stored] = 0;
  return stored;
}
