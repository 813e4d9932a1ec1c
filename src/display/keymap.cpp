/* Keyboard events to key codes. */
#include "display/keymap.h"

#include "display/key_queue.h"

namespace keys {
namespace {

// The single character of a UTF-8 text when it has exactly one code point in
// 1-255, else 0.
uint16_t single_latin1(const char *text) {
  const auto *s = reinterpret_cast<const unsigned char *>(text);
  uint16_t c;
  size_t len;
  if (s[0] == 0) return 0;
  if (s[0] < 0x80) {
    c = s[0];
    len = 1;
  } else if ((s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80) {
    c = uint16_t(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
    len = 2;
    if (c < 0x80 || c > 0xFF)  // overlong, or beyond Latin-1
      return 0;
  } else {
    return 0;
  }
  return s[len] == 0 ? c : 0;
}

uint16_t navigation_code(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_UP: return code_up;
    case SDLK_DOWN: return code_down;
    case SDLK_LEFT: return code_left;
    case SDLK_RIGHT: return code_right;
    case SDLK_INSERT: return code_insert;
    case SDLK_DELETE: return code_delete;
    case SDLK_HOME: return code_home;
    case SDLK_END: return code_end;
    case SDLK_PAGEUP: return code_page_up;
    case SDLK_PAGEDOWN: return code_page_down;
    default: break;
  }
  if (sym >= SDLK_F1 && sym <= SDLK_F10) return uint16_t(code_f1 + (sym - SDLK_F1));
  return 0;
}

// The keypad's second meaning, used while Num Lock is off.
uint16_t keypad_navigation_code(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_KP_8: return code_up;
    case SDLK_KP_2: return code_down;
    case SDLK_KP_4: return code_left;
    case SDLK_KP_6: return code_right;
    case SDLK_KP_0: return code_insert;
    case SDLK_KP_PERIOD: return code_delete;
    case SDLK_KP_7: return code_home;
    case SDLK_KP_1: return code_end;
    case SDLK_KP_9: return code_page_up;
    case SDLK_KP_3: return code_page_down;
    default: return 0;
  }
}

uint16_t key_down_code(const SDL_Keysym &key) {
  if (uint16_t nav = navigation_code(key.sym)) return nav;
  if (!(key.mod & KMOD_NUM))
    if (uint16_t nav = keypad_navigation_code(key.sym)) return nav;
  switch (key.sym) {
    case SDLK_ESCAPE: return code_escape;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return '\r';
    case SDLK_BACKSPACE: return '\b';
    case SDLK_TAB: return '\t';
    default: break;
  }
  // Ctrl with a letter types a control character and no text; with Alt as
  // well it is AltGr on many layouts, whose character comes as text.
  if ((key.mod & KMOD_CTRL) && !(key.mod & KMOD_ALT) && key.sym >= SDLK_a && key.sym <= SDLK_z)
    return uint16_t(key.sym - SDLK_a + 1);
  return 0;
}

}  // namespace

uint16_t key_code_for_event(const SDL_Event &event) {
  switch (event.type) {
    case SDL_KEYDOWN: return key_down_code(event.key.keysym);
    case SDL_TEXTINPUT: return single_latin1(event.text.text);
    default: return 0;
  }
}

}  // namespace keys
