/* libvk68: the whole public API of the chip-music engine in one header:
 * songs (song.h: a music file behind one handle, the simplest way in), the
 * player (player.h), music files (vk68file.h), streams (stream68.h),
 * messages, hooks and time texts (vk68_msg.h), and the version (version.h).
 */
#ifndef VK68_VK68_H
#define VK68_VK68_H

#include "vk68/player.h"
#include "vk68/song.h"
#include "vk68/stream68.h"
#include "vk68/version.h"
#include "vk68/vk68_msg.h"
#include "vk68/vk68file.h"

#endif
