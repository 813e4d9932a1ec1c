/* The display's key queue and the key codes it holds.
 *
 * Codes 1-255 are characters; 256 and above are navigation and function
 * keys, read back as the byte 255 followed by a scan letter.
 */
#ifndef VARNKOL_DISPLAY_KEY_QUEUE_H
#define VARNKOL_DISPLAY_KEY_QUEUE_H

#include <cstdint>

namespace keys {

inline constexpr uint16_t code_escape = 27;
inline constexpr uint16_t code_up = 257;
inline constexpr uint16_t code_down = 258;
inline constexpr uint16_t code_left = 259;
inline constexpr uint16_t code_right = 260;
inline constexpr uint16_t code_insert = 261;
inline constexpr uint16_t code_delete = 262;
inline constexpr uint16_t code_home = 263;
inline constexpr uint16_t code_end = 264;
inline constexpr uint16_t code_page_up = 265;
inline constexpr uint16_t code_page_down = 266;
inline constexpr uint16_t code_f1 = 267;  // F1-F10 are 267-276 in order

/* A ring of 16 slots; equal indices mean empty, so it holds at most 15 keys
 * and a push into a full ring drops the oldest key. Zero-initialised is
 * empty. */
struct KeyQueue {
  static constexpr unsigned slots = 16;
  uint16_t code[slots];
  unsigned write;
  unsigned read;
};

void push(KeyQueue &q, uint16_t code);
/* The oldest key, or 0 when the queue is empty. */
uint16_t pop(KeyQueue &q);
bool waiting(const KeyQueue &q);
void clear(KeyQueue &q);

/* Writes the key string of `code` into out and returns out: "" for 0, one
 * byte for 1-255, and for 256 and above the byte 255 followed by the letter
 * at min(code - 256, 20) of "XHPKMRSGOIQ;<=>?@ABCD". */
const char *key_string(uint16_t code, char out[3]);

}  // namespace keys

#endif
