// Key names of the capture tool (see key_names.h).
#include "key_names.h"

#include <cctype>

namespace {

struct KeyName {
  std::string_view name;
  uint16_t code;
};

// Ordinary keys carry their character; navigation keys count from Up = 257,
// F1..F10 are 267..276.
constexpr KeyName kKeyNames[] = {
    {"esc", 27},     {"enter", 13}, {"space", 32}, {"tab", 9},      {"backspace", 8},
    {"up", 257},     {"down", 258}, {"left", 259}, {"right", 260},  {"insert", 261},
    {"delete", 262}, {"home", 263}, {"end", 264},  {"pageup", 265}, {"pagedown", 266},
    {"f1", 267},     {"f2", 268},   {"f3", 269},   {"f4", 270},     {"f5", 271},
    {"f6", 272},     {"f7", 273},   {"f8", 274},   {"f9", 275},     {"f10", 276},
};

// Names compare without regard to case (ESC, Esc, esc); lone characters do
// not go through here, they stand for themselves.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

}  // namespace

uint16_t key_code_from_name(std::string_view name) {
  for (const KeyName &k : kKeyNames)
    if (same_name(name, k.name)) return k.code;
  if (name.size() == 1 && static_cast<unsigned char>(name[0]) > 32 &&
      static_cast<unsigned char>(name[0]) < 127)
    return static_cast<unsigned char>(name[0]);
  return 0;
}
