| An MFP timer interrupt toggles YM channel A between volume 0 and 15 (tone
| and noise off: the channel outputs its volume), a square wave at half the
| interrupt rate. D0 = 1-4: timer A-D, a row of the table.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     timers-12(pc),a1
        mulu    #12,d0
        adda.w  d0,a1
        move.l  #0x07003f00,0xffff8800.w
        lea     tick(pc),a2
        movea.w (a1)+,a0                | vector
        move.l  a2,(a0)
        movea.w (a1)+,a0                | data register
        move.b  (a1)+,(a0)
        move.b  (a1)+,d0                | control value, register
        movea.w (a1)+,a0
        move.b  d0,(a0)
        movea.w (a1)+,a0                | enable register (the mask one is 12 above)
        move.b  (a1)+,d0
        or.b    d0,(a0)
        or.b    d0,12(a0)
done:   rts
tick:   move.l  a0,-(sp)
        lea     level(pc),a0
        eori.b  #15,(a0)
        move.b  #8,0xffff8800.w
        move.b  (a0),0xffff8802.w
        move.l  (sp)+,a0
        rte
| Vector, data register, data, control, control register, enable register
| and bit. Prescalers: A 4, B 16, C 64, D 200.
timers: .word 0x134,0xfa1f; .byte 246,1;   .word 0xfa19,0xfa07; .byte 0x20,0
        .word 0x120,0xfa21; .byte 100,3;   .word 0xfa1b,0xfa07; .byte 0x01,0
        .word 0x114,0xfa23; .byte 96,0x50; .word 0xfa1d,0xfa09; .byte 0x20,0
        .word 0x110,0xfa25; .byte 30,7;    .word 0xfa1d,0xfa09; .byte 0x10,0
level:  .byte   0
