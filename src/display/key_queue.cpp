/* The display's key queue: a 16-slot ring that keeps the newest 15 keys. */
#include "display/key_queue.h"

#include <algorithm>

namespace keys {

void push(KeyQueue &q, uint16_t code) {
  q.code[q.write] = code;
  q.write = (q.write + 1) % KeyQueue::slots;
  if (q.write == q.read) q.read = (q.read + 1) % KeyQueue::slots;
}

uint16_t pop(KeyQueue &q) {
  if (q.read == q.write) return 0;
  uint16_t code = q.code[q.read];
  q.read = (q.read + 1) % KeyQueue::slots;
  return code;
}

bool waiting(const KeyQueue &q) { return q.read != q.write; }

void clear(KeyQueue &q) { q = KeyQueue{}; }

const char *key_string(uint16_t code, char out[3]) {
  // Scan letters of Up, Down, Left, Right, Insert, Delete, Home, End,
  // Page Up, Page Down and F1-F10, after a placeholder for code 256.
  static constexpr char scan[] = "XHPKMRSGOIQ;<=>?@ABCD";
  if (code == 0) {
    out[0] = 0;
  } else if (code < 256) {
    out[0] = char(code);
    out[1] = 0;
  } else {
    out[0] = char(255);
    out[1] = scan[std::min<unsigned>(code - 256u, sizeof scan - 2)];
    out[2] = 0;
  }
  return out;
}

}  // namespace keys
