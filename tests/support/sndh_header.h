// The start of an SNDH file: branches to the init, exit and play entries of
// the code that follows (+0, +4, +8), then "SNDH", the tags and "HDNS".
#ifndef TESTS_SUPPORT_SNDH_HEADER_H
#define TESTS_SUPPORT_SNDH_HEADER_H

#include <string>

inline std::string sndh_header(const std::string &tags) {
  std::string h = std::string("\x60\0\0\0\x60\0\0\0\x60\0\0\0SNDH", 16) + tags + "HDNS";
  if (h.size() % 2) h += '\0';
  for (int i = 0; i < 3; ++i) {  // bra.w from 4i + 2 to the end + 4i
    h[4 * i + 2] = char((h.size() - 2) >> 8);
    h[4 * i + 3] = char(h.size() - 2);
  }
  return h;
}

#endif
