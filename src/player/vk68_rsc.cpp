// Resource paths, the default resource handler and the text services.
#include "player/vk68_rsc.h"

#include <cstdlib>
#include <cstring>

#include "player/builtin_replays.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

namespace {

char *g_share = nullptr;
char *g_user = nullptr;
VK68rsc_handler_t g_handler = VK68rsc_default_open;

// Subdirectory, name transform and extension of each resource type.
struct ResourceType {
  const char *subdir;
  bool lower_name;
  const char *ext;
};
constexpr ResourceType kTypes[] = {
    {"/Replay/", true, ".bin"},
    {"/", false, ".txt"},
    {"/Sample/", false, ""},
    {"/Dll/", false, ""},
};

constexpr size_t kPathBuffer = 1024;

// Copies before freeing: `path` may be the text the slot holds.
void replace(char *&slot, const char *path) {
  char *copy = vk68_strdup(path);
  vk68_free(slot);
  slot = copy;
}

const char *shown(const char *text) { return text ? text : "(null)"; }

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Tries one directory; null when the file does not open there. A failed
// path allocation sets `fatal`: the lookup ends there.
Stream68 *try_open(const char *dir, const ResourceType &t, const char *name, int type, int mode,
                   bool &fatal) {
  const size_t dl = std::strlen(dir), sl = std::strlen(t.subdir), nl = std::strlen(name),
               el = std::strlen(t.ext);
  const size_t need = dl + sl + nl + el + 1;
  char buffer[kPathBuffer];
  char *path = buffer;
  if (need > kPathBuffer) {
    path = static_cast<char *>(vk68_alloc(need));
    if (!path) {
      vk68_error_add("VK68rsc_open(%d,%s,%d) : path allocation failed", type, name, mode);
      fatal = true;
      return nullptr;
    }
  }
  char *p = path;
  std::memcpy(p, dir, dl), p += dl;
  std::memcpy(p, t.subdir, sl), p += sl;
  for (size_t i = 0; i < nl; ++i) *p++ = t.lower_name ? lower(name[i]) : name[i];
  std::memcpy(p, t.ext, el), p += el;
  *p = 0;
  vk68_debug("default_open() : path '%s'\n", path);

  // A resource written is replaced only once the new one is complete.
  Stream68 *stream =
      mode == STREAM68_WRITE ? stream68_file_replace(path) : stream68_file_create(path, mode);
  if (!stream) {
    vk68_debug("default_open() : istream create failed\n");
  } else if (stream68_open(stream) == 0) {
    vk68_debug("default_open() : ok for '%s'\n", path);
  } else {
    vk68_debug("default_open() : failed '%s'\n", path);
    stream68_destroy(stream);
    stream = nullptr;
  }
  if (path != buffer) vk68_free(path);
  return stream;
}

// The built-in replay of that name as an open memory stream, or null.
Stream68 *open_builtin_replay(const char *name) {
  for (const VK68builtinReplay *r = vk68_builtin_replays; r->name; ++r) {
    if (vk68_strcasecmp(r->name, name) != 0) continue;
    Stream68 *stream = stream68_mem_create(const_cast<unsigned char *>(r->bytes), int32_t(*r->size),
                                           STREAM68_READ);
    if (stream && stream68_open(stream) == 0) {
      vk68_debug("default_open() : built-in '%s'\n", r->name);
      return stream;
    }
    stream68_destroy(stream);
  }
  return nullptr;
}

}  // namespace

extern "C" char *vk68_strdup(const char *text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text) + 1;
  char *copy = static_cast<char *>(vk68_alloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

extern "C" char *vk68_strjoin(const char *a, const char *b) {
  if (!b) return vk68_strdup(a);
  if (!a) return vk68_strdup(b);
  size_t la = std::strlen(a), lb = std::strlen(b) + 1;
  char *joined = static_cast<char *>(vk68_alloc(la + lb));
  if (joined) {
    std::memcpy(joined, a, la);
    std::memcpy(joined + la, b, lb);
  }
  return joined;
}

extern "C" int vk68_strcasecmp(const char *a, const char *b) {
  if (a == b) return 0;
  if (!a) return -1;
  if (!b) return 1;
  unsigned char ca, cb;
  do {
    ca = static_cast<unsigned char>(upper(*a++));
    cb = static_cast<unsigned char>(upper(*b++));
  } while (ca && ca == cb);
  return ca - cb;
}

extern "C" void VK68rsc_set_share(const char *path) { replace(g_share, path); }
extern "C" void VK68rsc_set_user(const char *path) { replace(g_user, path); }
extern "C" const char *VK68rsc_get_share(void) { return g_share; }
extern "C" const char *VK68rsc_get_user(void) { return g_user; }

extern "C" void VK68rsc_set_default_share(void) {
  const char *data = std::getenv("VK68_DATA");
  VK68rsc_set_share(data ? data : "");
  vk68_debug("set_default_share() := [%s] \n", shown(g_share));
}

extern "C" void VK68rsc_set_default_user(void) {
  if (const char *home = std::getenv("VK68_HOME")) {
    VK68rsc_set_user(home);
  } else if (const char *home_dir = std::getenv("HOME"); home_dir && *home_dir) {
    char *path = vk68_strjoin(home_dir, "/.vk68");
    if (path) {
      vk68_free(g_user);
      g_user = path;
    }
  }
  vk68_debug("set_default_user() := [%s] \n", shown(g_user));
}

extern "C" void VK68rsc_set_defaults(const char **share, const char **user) {
  if (!g_share) VK68rsc_set_default_share();
  if (!g_user) VK68rsc_set_default_user();
  if (share) *share = g_share;
  if (user) *user = g_user;
}

extern "C" VK68rsc_handler_t VK68rsc_set_handler(VK68rsc_handler_t handler) {
  VK68rsc_handler_t previous = g_handler;
  if (handler) g_handler = handler;
  return previous;
}

extern "C" Stream68 *VK68rsc_share_path(int type, const char *name, int mode) {
  if (!name) {
    vk68_error_add("share_path() : NULL resource name");
    return nullptr;
  }
  if (mode != STREAM68_READ && mode != STREAM68_WRITE) {
    vk68_error_add("share_path(%s) : invalid open mode (%d)", name, mode);
    return nullptr;
  }
  if (!g_handler) {
    vk68_error_add("share_path(%s) : NULL resource handler", name);
    return nullptr;
  }
  VK68rsc_set_defaults(nullptr, nullptr);
  return g_handler(type, name, mode);
}

extern "C" Stream68 *VK68rsc_default_open(int type, const char *name, int mode) {
  vk68_debug("default_open(%d,%s,%d) : enter\n", type, shown(name), mode);
  if (!name) {
    vk68_error_add("default_open() : NULL resource name");
    return nullptr;
  }
  if (type < 0 || type >= int(sizeof kTypes / sizeof kTypes[0])) {
    vk68_error_add("VK68rsc_open(%d,%s,%d) : invalid resource type", type, name, mode);
    return nullptr;
  }
  if (type == VK68RSC_REPLAY && !VK68file_replay_name_ok(name)) {
    vk68_error_add("VK68rsc_open(%d,%s,%d) : invalid replay name", type, name, mode);
    return nullptr;
  }
  const ResourceType &t = kTypes[type];
  vk68_debug("default_open() : subdir = %s\n", t.subdir);

  // The user directory first; the shared one only for reading. An empty
  // directory (VK68_DATA unset, say) is none: resources are never looked up
  // at the root of the file system.
  const char *dirs[2] = {g_user, mode == STREAM68_READ ? g_share : nullptr};
  const int tries = mode == STREAM68_READ ? 2 : 1;
  for (int i = 0; i < tries; ++i) {
    vk68_debug("default_open() : trying '%s'\n", shown(dirs[i]));
    if (!dirs[i] || !*dirs[i]) continue;
    bool fatal = false;
    if (Stream68 *stream = try_open(dirs[i], t, name, type, mode, fatal)) return stream;
    if (fatal) return nullptr;
  }
  // Our own replays come with the engine: no file needed.
  if (type == VK68RSC_REPLAY && mode == STREAM68_READ) {
    if (Stream68 *stream = open_builtin_replay(name)) return stream;
  }
  vk68_error_add("VK68rsc_open(%d,%s,%d) : not found", type, name, mode);
  return nullptr;
}
