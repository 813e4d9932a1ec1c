/* Reg68: the 68000 register record through which the player loads and saves
 * the emulated CPU's registers (and which it keeps in its handle between the
 * replay's init and play runs). Nineteen 32-bit words: D0-D7, A0-A7, USP, PC,
 * SR (low 16 bits used).
 */
#ifndef VK68_REG68_H
#define VK68_REG68_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  uint32_t d[8];
  uint32_t a[8];
  uint32_t usp;
  uint32_t pc;
  uint32_t sr;
} Reg68;

#ifdef __cplusplus
}
#endif

#endif
