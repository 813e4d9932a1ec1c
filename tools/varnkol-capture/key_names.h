// Key names of the capture tool's --keys option, as display key codes.
#pragma once

#include <cstdint>
#include <string_view>

// Code of `name` (esc, enter, space, tab, backspace, up, down, left, right,
// insert, delete, home, end, pageup, pagedown, f1..f10 in any case, or one
// character, which stands for itself: "A" is 'A', "a" is 'a'); 0 for an
// unknown name.
uint16_t key_code_from_name(std::string_view name);
