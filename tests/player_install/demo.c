/* A library user's program: plays the first second of a music file and
 * fails unless something was heard. */
#include <stdio.h>
#include <stdlib.h>
#include <vk68/vk68.h>

int main(int argc, char **argv) {
  static uint32_t samples[44100];
  VK68init init = {0};
  Player68 *player;
  int status, i, peak = 0;
  init.alloc = malloc;
  init.free = free;
  player = vk68_init(&init);
  if (!player || argc != 2 || vk68_load_path(player, argv[1]) != 0) return 1;
  status = vk68_process(player, samples, 44100);
  for (i = 0; i < 44100; ++i) {
    int left = (int16_t)(samples[i] & 0xFFFF);
    if (abs(left) > peak) peak = abs(left);
  }
  printf("status %d, peak %d\n", status, peak);
  vk68_shutdown(player);
  return status >= 0 && peak > 0 ? 0 : 1;
}
