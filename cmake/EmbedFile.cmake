# Script mode: writes the bytes of IN as a C array named SYMBOL into OUT.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" len)
math(EXPR size "${len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" body "${body}")
file(WRITE ${OUT} "/* Generated from ${IN}; do not edit. */\n"
  "const unsigned char ${SYMBOL}[${size} + 1] = {\n${body}0};\n"
  "const unsigned long ${SYMBOL}_size = ${size};\n")
