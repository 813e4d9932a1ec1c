| An MFP timer interrupt toggles YM channel A between volume 0 and 15 (tone
| and noise off, so the channel outputs its volume): a square wave at half
| the interrupt rate. D0 (1-5) picks a row of the table.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     timers-12(pc),a1
        mulu    #12,d0
        adda.w  d0,a1
        lea     0xffff8800.w,a0
        move.l  #0x07003f00,(a0)
        lea     tick(pc),a2
        move.w  (a1)+,a0                | vector
        move.l  a2,(a0)
        move.w  (a1)+,a0                | data register
        move.b  (a1)+,(a0)
        move.b  (a1)+,d0                | control value
        move.w  (a1)+,a0                | control register
        move.b  d0,(a0)
        move.w  (a1)+,a0                | enable register (IMR is 12 above)
        move.b  (a1)+,d0
        or.b    d0,(a0)
        or.b    d0,12(a0)
done:   rts
tick:   movem.l d0/a0,-(sp)
        lea     level(pc),a0
        eori.b  #15,(a0)
        move.b  (a0),d0
        lea     0xffff8800.w,a0
        move.b  #8,(a0)
        move.b  d0,2(a0)
        movem.l (sp)+,d0/a0
        rte
| vector, data register, data, control, control register, enable register
| and bit (as a mask), one pad byte.
timers: .word   0x134, 0xfa1f
        .byte   246, 1                  | A: 2457600 / 4 / 246
        .word   0xfa19, 0xfa07
        .byte   0x20, 0
        .word   0x120, 0xfa21
        .byte   100, 3                  | B: 2457600 / 16 / 100
        .word   0xfa1b, 0xfa07
        .byte   0x01, 0
        .word   0x114, 0xfa23
        .byte   96, 0x50                | C: 2457600 / 64 / 96
        .word   0xfa1d, 0xfa09
        .byte   0x20, 0
        .word   0x110, 0xfa25
        .byte   30, 7                   | D: 2457600 / 200 / 30
        .word   0xfa1d, 0xfa09
        .byte   0x10, 0
        .word   0x114, 0xfa23
        .byte   192, 0x50               | C: 2457600 / 64 / 192 = 200 Hz
        .word   0xfa1d, 0xfa09
        .byte   0x20, 0
level:  .byte   0
