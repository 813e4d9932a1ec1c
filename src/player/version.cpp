// The library's release number as a text, from the generated vk68/version.h.
#include "vk68/version.h"

#define VK68_TEXT(x) #x
#define VK68_NUMBER(x) VK68_TEXT(x)

extern "C" const char *vk68_version(void) {
  return VK68_NUMBER(VK68_VERSION_MAJOR) "." VK68_NUMBER(VK68_VERSION_MINOR) "." VK68_NUMBER(
      VK68_VERSION_PATCH);
}
